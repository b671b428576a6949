// The DLL as a COM host uses it: created through the registry, then driving
// tag sessions on real files.
#include <objbase.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "WineChecks.h"

namespace zm::winecheck {
namespace {

constexpr IID kIDispatch = {0x00020400, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
constexpr char kNoLanguage[4] = {};

bool SameGuid(const GUID& a, const GUID& b) { return std::memcmp(&a, &b, sizeof(GUID)) == 0; }

IzmTagIO* Create(const CLSID& clsid, comcheck::Report& report, const std::string& how) {
    void* object = nullptr;
    report.CheckHr(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IzmTagIO, &object), S_OK,
                   "CoCreateInstance " + how);
    return static_cast<IzmTagIO*>(object);
}

void CheckProgId(const wchar_t* progId, comcheck::Report& report, const std::string& name) {
    CLSID clsid{};
    report.CheckHr(CLSIDFromProgID(progId, &clsid), S_OK, "CLSIDFromProgID " + name);
    report.Check(SameGuid(clsid, CLSID_zmTagIO), name + " names the class");
    if (IzmTagIO* tag = Create(clsid, report, "by program id " + name)) tag->Release();
}

comcheck::Exports LoadedModule(const std::string& modulePath, comcheck::Report& report) {
    HMODULE module = GetModuleHandleA("zmTagIO.DLL");
    char loaded[MAX_PATH] = {};
    if (module != nullptr) GetModuleFileNameA(module, loaded, MAX_PATH);
    report.Check(lstrcmpiA(loaded, modulePath.c_str()) == 0,
                 std::string("COM loaded \"") + loaded + "\", expected \"" + modulePath + "\"");
    return {ModuleExport<comcheck::GetClassObjectFn>("DllGetClassObject"),
            ModuleExport<comcheck::CanUnloadNowFn>("DllCanUnloadNow")};
}

// Bytes as they can be printed: other than printable ASCII as \xNN.
std::string Printable(const std::string& bytes) {
    std::string out;
    for (unsigned char c : bytes) {
        if (c >= 0x20 && c < 0x7F) {
            out += char(c);
        } else {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02X", c);
            out += escaped;
        }
    }
    return out;
}

// A field's bytes as text.
std::string Text(const MDRecord& record, int id) {
    const MDField& field = record.fields[id];
    return field.size > 0 && field.data != nullptr
               ? std::string(reinterpret_cast<const char*>(field.data), size_t(field.size))
               : std::string();
}

// A staged ID3v2 value must stay valid until MDUpdate, and MDEditField may
// rewrite it: each edit gets bytes of its own that outlive the session.
struct Value {
    explicit Value(const std::string& text) : bytes(text) {
        field.size = int32_t(bytes.size());
        field.data = reinterpret_cast<uint8_t*>(bytes.data());
    }
    std::string bytes;
    MDField field{};
};

// One session on a file, from creation to release; checks are labelled with
// the file's kind.
class Session {
public:
    Session(const std::string& kind, comcheck::Report& report)
        : kind_(kind), report_(report), tag_(Create(CLSID_zmTagIO, report, kind)) {}
    ~Session() {
        if (tag_ != nullptr) {
            tag_->MDUninit();
            tag_->Release();
        }
    }
    bool ok() const { return tag_ != nullptr; }
    const MDRecord* Init(const std::string& path, HRESULT want) {
        MDRecord* record = nullptr;
        report_.CheckHr(tag_->MDInit(0, path.c_str(), &record, kNoLanguage, 0), want, kind_ + ": MDInit");
        report_.Check(record != nullptr, kind_ + ": MDInit gives the record");
        return record;
    }
    void Edit(int id, Value& value, int tagKind) {
        report_.CheckHr(tag_->MDEditField(id, &value.field, tagKind, kNoLanguage, 0, 0), S_OK,
                        kind_ + ": MDEditField " + std::to_string(tagKind) + "/" + std::to_string(id));
    }
    void Update() { report_.CheckHr(tag_->MDUpdate(0), S_OK, kind_ + ": MDUpdate"); }
    void Expect(const MDRecord* record, int id, const std::string& want, const std::string& when) {
        if (record == nullptr) return;
        std::string got = Text(*record, id);
        report_.Check(got == want, kind_ + ": field " + std::to_string(id) + " " + when + " is \"" +
                                       Printable(got) + "\", expected \"" + Printable(want) + "\"");
    }
    void ExpectFlag(uint32_t flag, const std::string& name) {
        report_.Check(flag == 1, kind_ + ": " + name + " is set");
    }

private:
    std::string kind_;
    comcheck::Report& report_;
    IzmTagIO* tag_;
};

// ID3v1 text fields are 30 bytes padded with zeros.
std::string Padded(const char* text, size_t width) {
    std::string padded(text);
    padded.resize(width, '\0');
    return padded;
}

}  // namespace

void CheckCreation(const std::string& modulePath, comcheck::Report& report) {
    CheckProgId(L"TagIO.zmTagIO", report, "TagIO.zmTagIO");
    CheckProgId(L"TagIO.zmTagIO.1", report, "TagIO.zmTagIO.1");
    if (IzmTagIO* tag = Create(CLSID_zmTagIO, report, "by class id")) {
        void* dispatch = tag;
        report.CheckHr(tag->QueryInterface(kIDispatch, &dispatch), E_NOINTERFACE, "QueryInterface for IDispatch");
        report.Check(dispatch == nullptr, "a refused IDispatch clears the out pointer");
        tag->Release();
    }
    comcheck::Exports module = LoadedModule(modulePath, report);
    if (module.getClassObject == nullptr || module.canUnloadNow == nullptr) {
        report.Check(false, "the DLL exports DllGetClassObject and DllCanUnloadNow");
        return;
    }
    comcheck::CheckClassObject(module, report);
    comcheck::CheckLocks(module, report);
    comcheck::CheckObject(module, report);
    comcheck::CheckAggregation(module, report);

    // With no object and no lock left, only the cached factory remains: COM
    // may unload the DLL, and loads it again for the next object.
    CoFreeUnusedLibrariesEx(0, 0);
    report.Check(GetModuleHandleA("zmTagIO.DLL") == nullptr, "COM unloads the DLL once nothing holds it");
    if (IzmTagIO* tag = Create(CLSID_zmTagIO, report, "after the DLL was unloaded")) tag->Release();
}

namespace {
// ID3v2 text in the internal form: the encoding byte, then UTF-8. The
// ISO-8859-1 text frames that ffmpeg and the component write end in a zero
// byte, which the reader keeps like any other.
std::string ID3V2Text(const char* text) { return std::string(1, '\0') + text + '\0'; }
}  // namespace

// The title in ID3v2 and in ID3v1; the ID3v2 title and the ID3v1 artist are
// changed.
void CheckMp3Session(const std::string& path, comcheck::Report& report) {
    Value title(std::string(1, '\0') + kEditedTitle);
    Value artist(kEditedArtist);
    {
        Session session("mp3", report);
        if (!session.ok()) return;
        const MDRecord* record = session.Init(path, S_OK);
        if (record == nullptr) return;
        session.ExpectFlag(record->hasID3v1, "hasID3v1");
        session.ExpectFlag(record->hasID3v2, "hasID3v2");
        session.Expect(record, MD_ID3V2_TIT2, ID3V2Text(kOriginalTitle), "as read");
        session.Expect(record, MD_ID3V1_TITLE, Padded(kOriginalTitle, 30), "as read");
        session.Edit(MD_ID3V2_TIT2, title, MD_KIND_ID3V2);
        session.Edit(MD_ID3V1_ARTIST, artist, MD_KIND_ID3V1);
        session.Update();
    }
    Session session("mp3", report);
    if (!session.ok()) return;
    const MDRecord* record = session.Init(path, S_OK);
    session.Expect(record, MD_ID3V2_TIT2, ID3V2Text(kEditedTitle), "after the update");
    session.Expect(record, MD_ID3V1_ARTIST, Padded(kEditedArtist, 30), "after the update");
    session.Expect(record, MD_ID3V1_TITLE, Padded(kOriginalTitle, 30), "after the update");
}

void CheckOggSession(const std::string& path, comcheck::Report& report) {
    Value title(kEditedTitle);
    {
        Session session("ogg", report);
        if (!session.ok()) return;
        const MDRecord* record = session.Init(path, S_OK);
        if (record == nullptr) return;
        session.ExpectFlag(record->isOgg, "isOgg");
        session.Expect(record, MD_OGG_TITLE, kOriginalTitle, "as read");
        session.Edit(MD_OGG_TITLE, title, MD_KIND_OGG);
        session.Update();
    }
    Session session("ogg", report);
    if (!session.ok()) return;
    session.Expect(session.Init(path, S_OK), MD_OGG_TITLE, kEditedTitle, "after the update");
}

// Windows Media values are zero-terminated, the terminator counted; an edit
// reaches the file at once.
void CheckWmaSession(const std::string& path, comcheck::Report& report) {
    Value title(std::string(kEditedTitle) + '\0');
    {
        Session session("wma", report);
        if (!session.ok()) return;
        const MDRecord* record = session.Init(path, S_FALSE);
        if (record == nullptr) return;
        session.ExpectFlag(record->isASF, "isASF");
        session.Expect(record, MD_WM_TITLE, std::string(kOriginalTitle) + '\0', "as read");
        session.Edit(MD_WM_TITLE, title, MD_KIND_WM);
    }
    Session session("wma", report);
    if (!session.ok()) return;
    session.Expect(session.Init(path, S_FALSE), MD_WM_TITLE, std::string(kEditedTitle) + '\0',
                   "after the edit");
}

}  // namespace zm::winecheck
