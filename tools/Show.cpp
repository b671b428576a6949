#include <cstdio>

#include "Commands.h"
#include "Report.h"

namespace zmtagio {

int RunShow(const ShowOptions& options) {
    std::unique_ptr<TagSession> session = CreateSession();
    if (!session) return kExitFailed;
    int status = kExitOk;
    uint32_t codePage = CurrentCodePage();
    FieldList fields;
    std::string line;
    for (const std::string& path : options.files) {
        HRESULT hr = session->Open(path, options.common.language);
        const MDRecord* record = session->Record();
        if (options.json) {
            line.clear();
            AppendJsonLine(line, path, hr, record, codePage, fields, options.hex);
            line += '\n';
            std::fwrite(line.data(), 1, line.size(), stdout);
        } else if (record) {
            std::printf("%s", TextReport(path, hr, record, codePage).c_str());
        }
        if (Failed(hr)) {
            PrintError(SummaryLine(path, hr, record));
            status = kExitFailed;
        }
    }
    return status;
}

}  // namespace zmtagio
