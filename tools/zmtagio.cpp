// zmtagio: a command-line host of the component.
#include <cstdio>
#include <cstring>

#include "zmTagIO.h"

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

void PrintRecord(const MDRecord& record) {
    std::printf("hasID3v1=%u hasID3v2=%u isOgg=%u isASF=%u\n", record.hasID3v1, record.hasID3v2,
                record.isOgg, record.isASF);
    for (int id = 0; id < MD_FIELD_COUNT; ++id) {
        const MDField& field = record.fields[id];
        if (field.size <= 0 || field.data == nullptr) continue;
        std::printf("%3d %.4s %5d ", id, field.frameId, field.size);
        for (int i = 0; i < field.size && i < 32; ++i) std::printf("%02x", field.data[i]);
        std::printf("\n");
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3 || std::strcmp(argv[1], "show") != 0) {
        std::fprintf(stderr, "usage: zmtagio show FILE...\n");
        return 2;
    }
    IzmTagIO* tagio = CreateTagIO();
    if (!tagio) return 1;
    int status = 0;
    const char noLanguage[4] = {};
    for (int i = 2; i < argc; ++i) {
        MDRecord* record = nullptr;
        HRESULT hr = tagio->MDInit(0, argv[i], &record, noLanguage, 0);
        std::printf("%s: hr=0x%08X\n", argv[i], unsigned(hr));
        if (hr < 0 || !record) {
            status = 1;
            continue;
        }
        PrintRecord(*record);
    }
    tagio->MDUninit();
    tagio->Release();
    return status;
}
