#include <algorithm>
#include <cstdio>

#include "Commands.h"
#include "ReadBack.h"
#include "Report.h"
#include "Safety.h"

namespace zmtagio {
namespace {

std::vector<LONG> PresentKinds(const std::string& path, const MDRecord& record, const std::vector<LONG>& kinds) {
    std::vector<LONG> present;
    for (LONG kind : kinds) {
        if (HasTag(record, kind))
            present.push_back(kind);
        else
            std::printf("%s: no %s to remove\n", ForTerminal(path).c_str(), TagName(kind));
    }
    return present;
}

}  // namespace

int RunRemove(const RemoveOptions& options) {
    std::unique_ptr<TagSession> session = CreateSession();
    if (!session) return kExitFailed;
    const std::string& path = options.file;
    PermissionGuard permissions(path);
    HRESULT hr = session->Open(path, Language{});
    if (Failed(hr)) {
        PrintError(SummaryLine(path, hr, nullptr));
        return kExitFailed;
    }
    const MDRecord& record = *session->Record();
    auto named = [&](LONG kind) { return std::find(options.kinds.begin(), options.kinds.end(), kind) != options.kinds.end(); };
    std::string refusal = named(MD_KIND_OGG) ? RefusalForOgg(path, record) : std::string();
    if (!refusal.empty()) {
        PrintError(path + ": not changed: " + refusal);
        return kExitFailed;
    }
    std::vector<LONG> kinds = PresentKinds(path, record, options.kinds);
    if (kinds.empty()) return kExitOk;
    for (LONG kind : kinds) session->Remove(kind);
    hr = session->Update();
    if (Failed(hr)) {
        PrintError(path + ": the file could not be rewritten (" + ResultName(hr) + "); it was left as it was");
        return kExitFailed;
    }
    if (!permissions.Restore()) {
        PrintError(path + ": the permission bits could not be kept");
        return kExitFailed;
    }
    hr = session->Open(path, Language{});
    for (LONG kind : kinds) {
        if (Failed(hr) || HasTag(*session->Record(), kind)) {
            PrintError(path + ": the file still has its " + std::string(TagName(kind)));
            return kExitFailed;
        }
        std::printf("%s: removed the %s\n", ForTerminal(path).c_str(), TagName(kind));
    }
    return kExitOk;
}

}  // namespace zmtagio
