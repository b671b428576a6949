// Reads every file named on the command line the way a host reads a music
// library: one object, MDInit and MDUninit per file. Prints how many files
// were read and how many field values they held, so that a run that read
// nothing cannot pass for a fast one.
#include <cstdio>

#include "TagIOHost.h"

int main(int argc, char** argv) {
    IzmTagIO* tagio = zm::bench::CreateTagIO();
    if (tagio == nullptr) return 1;
    long failed = 0, values = 0;
    for (int i = 1; i < argc; ++i) {
        MDRecord* record = nullptr;
        HRESULT hr = tagio->MDInit(0, argv[i], &record, zm::bench::kNoLanguage, 0);
        if (hr < 0 || record == nullptr) {
            ++failed;
        } else {
            for (const MDField& field : record->fields) values += field.size > 0;
        }
        tagio->MDUninit();
    }
    tagio->Release();
    std::printf("files %d failed %ld values %ld\n", argc - 1, failed, values);
    return failed == 0 ? 0 : 1;
}
