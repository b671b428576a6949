// The COM client that the Wine run drives: one mode per invocation, every
// failed check printed, the exit status 1 when any failed.
#include <objbase.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "WineChecks.h"

namespace {

int Usage() {
    std::fprintf(stderr,
                 "usage: zmtagio_client registered <module> <typelib file> | unregistered |\n"
                 "       create <module> | session <mp3> <ogg> <wma> | spoil-typelib <module>\n");
    return 2;
}

int Finish(const char* mode, const zm::comcheck::Report& report) {
    for (const std::string& failure : report.failures()) std::printf("FAIL %s: %s\n", mode, failure.c_str());
    std::printf("%s: %s\n", mode, report.failures().empty() ? "ok" : "failed");
    return report.failures().empty() ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) return Usage();
    std::string mode = argv[1];
    zm::comcheck::Report report;
    if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {
        std::printf("FAIL %s: CoInitializeEx\n", mode.c_str());
        return 1;
    }
    if (mode == "registered" && argc == 4)
        zm::winecheck::CheckRegistered(argv[2], argv[3], report);
    else if (mode == "unregistered" && argc == 2)
        zm::winecheck::CheckUnregistered(report);
    else if (mode == "create" && argc == 3)
        zm::winecheck::CheckCreation(argv[2], report);
    else if (mode == "session" && argc == 5) {
        zm::winecheck::CheckHostExports(argv[3], report);
        zm::winecheck::CheckMp3Session(argv[2], report);
        zm::winecheck::CheckOggSession(argv[3], report);
        zm::winecheck::CheckWmaSession(argv[4], report);
    } else if (mode == "spoil-typelib" && argc == 3)
        zm::winecheck::SpoilTypeLib(argv[2], report);
    else
        return Usage();
    int status = Finish(mode.c_str(), report);
    CoUninitialize();
    return status;
}
