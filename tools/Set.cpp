#include <cstdio>

#include "Commands.h"
#include "Plan.h"
#include "ReadBack.h"
#include "Report.h"
#include "Safety.h"

namespace zmtagio {
namespace {

// MP3 and Ogg edits are staged and written together by MDUpdate. Windows
// Media edits are written at once by MDEditField; MDUpdate is not called for
// them, since it would write every field back as text.
bool Apply(TagSession& session, TagFamily family, std::vector<Edit>& edits, const Language& language,
           const std::string& path) {
    static uint8_t noBytes = 0;
    size_t written = 0;
    for (Edit& edit : edits) {
        MDField value{};
        value.size = int32_t(edit.value.size());
        value.data = edit.value.empty() ? &noBytes : edit.value.data();
        HRESULT hr = session.Edit(edit.kind, edit.id, value, language);
        if (Failed(hr)) {
            std::string outcome = family != TagFamily::WM || written == 0
                                      ? "nothing was written"
                                      : "the fields before it were written";
            PrintError(path + ": " + edit.label + " was refused (" + ResultName(hr) + "); " + outcome);
            return false;
        }
        ++written;
    }
    if (family == TagFamily::WM) return true;
    HRESULT hr = session.Update();
    if (Failed(hr)) {
        PrintError(path + ": the file could not be rewritten (" + ResultName(hr) + "); it was left as it was");
        return false;
    }
    return true;
}

// The ID3v1 block holds what it can of a value (see EncodeID3V1); the user
// hears of it in one line.
void NoteShortenedID3V1(const std::string& path, const std::vector<Edit>& edits) {
    std::string labels;
    for (const Edit& edit : edits)
        if (edit.shortened) labels += (labels.empty() ? "" : ", ") + edit.label;
    if (!labels.empty())
        PrintError(path + ": " + labels + " shortened or with \"?\" for characters the code page lacks;"
                   " the ID3v2 tag holds the whole value");
}

std::string Quoted(const std::optional<std::string>& text) {
    return text && !text->empty() ? QuotedForTerminal(*text) : std::string("(none)");
}

void PrintChanges(const std::string& path, const std::vector<Edit>& edits) {
    std::printf("%s:\n", ForTerminal(path).c_str());
    for (const Edit& edit : edits) {
        if (!edit.shown) continue;
        std::string after = edit.expected.empty() ? "(deleted)" : Quoted(edit.expected);
        std::printf("  %s: %s -> %s\n", ForTerminal(edit.label).c_str(), Quoted(edit.before).c_str(), after.c_str());
    }
}

}  // namespace

int RunSet(const SetOptions& options) {
    std::unique_ptr<TagSession> session = CreateSession();
    if (!session) return kExitFailed;
    const std::string& path = options.file;
    const Language& language = options.common.language;
    PermissionGuard permissions(path);
    HRESULT hr = session->Open(path, language);
    if (Failed(hr)) {
        PrintError(SummaryLine(path, hr, nullptr));
        return kExitFailed;
    }
    const MDRecord& record = *session->Record();
    if (std::string refusal = RefusalForSet(path, record); !refusal.empty()) {
        PrintError(path + ": not changed: " + refusal);
        return kExitFailed;
    }
    TagFamily family = FamilyOf(record);
    uint32_t codePage = CurrentCodePage();
    Plan plan = PlanEdits(options, record, family, codePage);
    if (!plan.error.empty()) {
        PrintError(path + ": nothing was written: " + plan.error);
        return kExitFailed;
    }
    if (!Apply(*session, family, plan.edits, language, path)) return kExitFailed;
    if (!permissions.Restore()) {
        PrintError(path + ": the permission bits could not be kept");
        return kExitFailed;
    }
    hr = session->Open(path, language);
    std::string missing = Failed(hr) ? "the file cannot be read back (" + ResultName(hr) + ")"
                                     : MissingEdit(*session->Record(), plan.edits, codePage);
    if (!missing.empty()) {
        PrintError(path + ": " + missing);
        return kExitFailed;
    }
    PrintChanges(path, plan.edits);
    NoteShortenedID3V1(path, plan.edits);
    return kExitOk;
}

}  // namespace zmtagio
