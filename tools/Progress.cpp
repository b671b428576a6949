#include "Progress.h"

#include <algorithm>
#include <cstdio>
#include <string>

namespace zmtagio {
namespace {
constexpr size_t kBarWidth = 30;
}

void Progress::Draw(size_t done, size_t total) {
    if (!terminal_) return;
    if (total > 0) {
        size_t filled = std::min(done, total) * kBarWidth / total;
        std::string bar(kBarWidth, '-');
        bar.replace(0, filled, filled, '#');
        std::fprintf(stderr, "\r[%s] %zu/%zu files\033[K", bar.c_str(), done, total);
    } else {
        std::fprintf(stderr, "\r%zu files\033[K", done);
    }
    std::fflush(stderr);
    drawn_ = true;
}

void Progress::Clear() {
    if (!drawn_) return;
    std::fprintf(stderr, "\r\033[K");
    std::fflush(stderr);
    drawn_ = false;
}

}  // namespace zmtagio
