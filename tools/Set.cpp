#include "Commands.h"
#include "OggComments.h"
#include "Plan.h"
#include "ReadBack.h"
#include "Report.h"
#include "Safety.h"
#include "Workers.h"

namespace zmtagio {
namespace {

// MP3 and Ogg edits are staged and written together by MDUpdate. Windows
// Media edits are written at once by MDEditField; MDUpdate is not called for
// them, since it would write every field back as text. The answer is why the
// file was not (wholly) changed, or nothing.
std::string Apply(TagSession& session, TagFamily family, std::vector<Edit>& edits, const Language& language,
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
            return path + ": " + edit.label + " was refused (" + ResultName(hr) + "); " + outcome;
        }
        ++written;
    }
    if (family == TagFamily::WM) return {};
    HRESULT hr = session.Update();
    if (Failed(hr)) return path + ": the file could not be rewritten (" + ResultName(hr) + "); it was left as it was";
    return {};
}

// The ID3v1 block holds what it can of a value (see EncodeID3V1); the user
// hears of it in one line on standard error.
std::string ShortenedID3V1Line(const std::string& path, const std::vector<Edit>& edits) {
    std::string labels;
    for (const Edit& edit : edits)
        if (edit.shortened) labels += (labels.empty() ? "" : ", ") + edit.label;
    if (labels.empty()) return {};
    return "zmtagio: " + ForTerminal(path) + ": " + labels +
           " shortened or with \"?\" for characters the code page lacks; the ID3v2 tag holds the whole value\n";
}

std::string Quoted(const std::optional<std::string>& text) {
    return text && !text->empty() ? QuotedForTerminal(*text) : std::string("(none)");
}

// "path: TIT2 "Old" -> "New"; TPE1 (none) -> "Ann"", with its newline.
std::string ChangesLine(const std::string& path, const std::vector<Edit>& edits) {
    std::string line = ForTerminal(path) + ":";
    const char* separator = " ";
    for (const Edit& edit : edits) {
        if (!edit.shown) continue;
        std::string after = edit.expected.empty() ? "(deleted)" : Quoted(edit.expected);
        line.append(separator).append(ForTerminal(edit.label)).append(" ").append(Quoted(edit.before));
        line.append(" -> ").append(after);
        separator = "; ";
    }
    return line + "\n";
}

bool HasMp3Name(const std::string& path) {
    std::string_view name = path;
    if (name.size() < 4) return false;
    std::string_view ending = name.substr(name.size() - 4);
    return ending[0] == '.' && (ending[1] | 0x20) == 'm' && (ending[2] | 0x20) == 'p' && ending[3] == '3';
}

// Each file is planned whole, and every one of its values checked, before
// anything of it is written. A file that fails its checks is reported and
// left exactly as it was; the other files go on. A file found in a folder
// that holds no tags gets one only when its name says it is MP3 audio: a
// tag in front of a picture or a text found beside the music would break it.
FileReport SetOne(TagSession& session, const WalkedFile& file, const SetOptions& options) {
    FileReport report;
    const std::string& path = file.path;
    const Language& language = options.common.language;
    PermissionGuard permissions(path);
    HRESULT hr = session.Open(path, language);
    if (Failed(hr)) {
        report.Fail(SummaryLine(path, hr, nullptr));
        return report;
    }
    const MDRecord& record = *session.Record();
    TagFamily family = FamilyOf(record);
    if (!file.named && family == TagFamily::None && !HasMp3Name(path)) {
        report.out = ForTerminal(path) + ": skipped: it has no tags and is not named .mp3\n";
        return report;
    }
    if (std::string refusal = RefusalForSet(path, record); !refusal.empty()) {
        report.Fail(path + ": not changed: " + refusal);
        return report;
    }
    uint32_t codePage = CurrentCodePage();
    Plan plan = PlanEdits(options, record, family, codePage);
    if (!plan.error.empty()) {
        report.Fail(path + ": nothing was written: " + plan.error);
        return report;
    }
    // Entries the record does not show are checked in the file itself.
    std::optional<std::vector<OggEntry>> entries;
    if (family == TagFamily::Ogg) entries = OggEntries(path);
    if (std::string failure = Apply(session, family, plan.edits, language, path); !failure.empty()) {
        report.Fail(failure);
        return report;
    }
    if (!permissions.Restore()) {
        report.Fail(path + ": the permission bits could not be kept");
        return report;
    }
    hr = session.Open(path, language);
    std::string missing = Failed(hr) ? "the file cannot be read back (" + ResultName(hr) + ")"
                                     : MissingEdit(*session.Record(), plan.edits, codePage);
    if (missing.empty() && entries) missing = ChangedOggEntry(path, *entries, plan.edits);
    if (!missing.empty()) {
        report.Fail(path + ": " + missing);
        return report;
    }
    report.out = ChangesLine(path, plan.edits);
    report.err = ShortenedID3V1Line(path, plan.edits);
    return report;
}

}  // namespace

int RunSet(const SetOptions& options) {
    return ChangeFiles(options.files, options.jobs,
                       [&](TagSession& session, const WalkedFile& file, FileReport& report) {
                           report = SetOne(session, file, options);
                       });
}

}  // namespace zmtagio
