// Sets the title of an MP3 or Ogg Vorbis file through the zmTagIO component.
//   set_title FILE TITLE
// One source file of a host defines the component's identifiers.
#define ZMTAGIO_DEFINE_GUIDS
#include <zmTagIO.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace {

IzmTagIO* CreateTagIO() {
    IClassFactory* factory = nullptr;
    if (DllGetClassObject(CLSID_zmTagIO, IID_IClassFactory, reinterpret_cast<void**>(&factory)) < 0)
        return nullptr;
    IzmTagIO* tagio = nullptr;
    factory->CreateInstance(nullptr, IID_IzmTagIO, reinterpret_cast<void**>(&tagio));
    factory->Release();
    return tagio;
}

HRESULT SetTitle(IzmTagIO& tagio, const char* path, const std::string& title) {
    static const char language[4] = "eng";
    MDRecord* record = nullptr;
    HRESULT hr = tagio.MDInit(0, path, &record, language, 0);
    if (hr < 0) return hr;
    if (record->isASF) return ZMTAGIO_E_INVALIDARG;  // Windows Media titles are written at once; not shown here
    // Ogg takes the UTF-8 bytes; ID3v2 an encoding byte first (1: UTF-16 in the file).
    bool ogg = record->isOgg != 0;
    std::vector<uint8_t> value;
    if (!ogg) value.push_back(1);
    value.insert(value.end(), title.begin(), title.end());
    MDField field{};
    field.size = int32_t(value.size());
    field.data = value.data();
    hr = tagio.MDEditField(ogg ? MD_OGG_TITLE : MD_ID3V2_TIT2, &field, ogg ? MD_KIND_OGG : MD_KIND_ID3V2,
                           language, 0, 0);
    // The call has copied the bytes; after MDUpdate the record holds the file as saved.
    return hr < 0 ? hr : tagio.MDUpdate(0);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: set_title FILE TITLE\n");
        return 2;
    }
    IzmTagIO* tagio = CreateTagIO();
    if (tagio == nullptr) return 1;
    HRESULT hr = SetTitle(*tagio, argv[1], argv[2]);
    tagio->MDUninit();
    tagio->Release();
    if (hr < 0) std::fprintf(stderr, "%s: the title could not be set (0x%08X)\n", argv[1], unsigned(hr));
    return hr < 0 ? 1 : 0;
}
