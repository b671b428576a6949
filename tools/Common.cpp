#include <cstdio>

#include "Commands.h"

namespace zmtagio {

namespace {
constexpr int kStandardError = 2;
}

bool ApplyCommonOptions(const CommonOptions& options) {
    if (options.codePage && Failed(zmTagIOSetCodePage(*options.codePage))) {
        PrintError("code page " + std::to_string(*options.codePage) + " cannot be used");
        return false;
    }
    if (options.hostCodePage && Failed(zmTagIOSetHostCodePage(*options.hostCodePage))) {
        PrintError("host code page " + std::to_string(*options.hostCodePage) + " cannot be used");
        return false;
    }
    if (options.trace) zmTagIOSetTrace(1, kStandardError);
    return true;
}

uint32_t CurrentCodePage() { return zmTagIOGetCodePage(); }

void PrintError(const std::string& message) {
    std::fflush(stdout);
    std::fprintf(stderr, "zmtagio: %s\n", message.c_str());
}

std::unique_ptr<TagSession> CreateSession() {
    std::unique_ptr<TagSession> session = TagSession::Create();
    if (!session) PrintError("the tag component could not be created");
    return session;
}

}  // namespace zmtagio
