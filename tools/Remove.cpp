#include <algorithm>

#include "Commands.h"
#include "ReadBack.h"
#include "Report.h"
#include "Safety.h"
#include "Workers.h"

namespace zmtagio {
namespace {

// "no ID3v1 tag to remove" for each named kind the file does not have; the
// kinds it has.
std::vector<LONG> PresentKinds(const std::string& path, const MDRecord& record, const std::vector<LONG>& kinds,
                               std::string& absent) {
    std::vector<LONG> present;
    for (LONG kind : kinds) {
        if (HasTag(path, record, kind))
            present.push_back(kind);
        else
            absent.append(absent.empty() ? "" : "; ").append("no ").append(TagName(kind)).append(" to remove");
    }
    return present;
}

// As set does, a file is checked whole before it is written, and one that
// fails is left as it was while the others go on.
FileReport RemoveOne(TagSession& session, const WalkedFile& file, const RemoveOptions& options) {
    FileReport report;
    const std::string& path = file.path;
    PermissionGuard permissions(path);
    HRESULT hr = session.Open(path, Language{});
    if (Failed(hr)) {
        report.Fail(SummaryLine(path, hr, nullptr));
        return report;
    }
    const MDRecord& record = *session.Record();
    auto named = [&](LONG kind) { return std::find(options.kinds.begin(), options.kinds.end(), kind) != options.kinds.end(); };
    std::string refusal = named(MD_KIND_OGG) ? RefusalForOgg(path, record) : std::string();
    if (!refusal.empty()) {
        report.Fail(path + ": not changed: " + refusal);
        return report;
    }
    std::string line;
    std::vector<LONG> kinds = PresentKinds(path, record, options.kinds, line);
    if (!kinds.empty()) {
        for (LONG kind : kinds) session.Remove(kind);
        hr = session.Update();
        if (Failed(hr)) {
            report.Fail(path + ": the file could not be rewritten (" + ResultName(hr) + "); it was left as it was");
            return report;
        }
        if (!permissions.Restore()) {
            report.Fail(path + ": the permission bits could not be kept");
            return report;
        }
        hr = session.Open(path, Language{});
    }
    for (LONG kind : kinds) {
        if (Failed(hr) || HasTag(path, *session.Record(), kind)) {
            report.Fail(path + ": the file still has its " + std::string(TagName(kind)));
            return report;
        }
        line.append(line.empty() ? "" : "; ").append("removed the ").append(TagName(kind));
    }
    report.out = ForTerminal(path) + ": " + line + "\n";
    return report;
}

}  // namespace

int RunRemove(const RemoveOptions& options) {
    return ChangeFiles(options.files, options.jobs,
                       [&](TagSession& session, const WalkedFile& file, FileReport& report) {
                           report = RemoveOne(session, file, options);
                       });
}

}  // namespace zmtagio
