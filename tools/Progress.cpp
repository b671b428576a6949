#include "Progress.h"

#include <cstdio>
#include <string>

namespace zmtagio {
namespace {
constexpr size_t kBarWidth = 30;
}

void Progress::Draw(size_t done, size_t total) {
    if (!terminal_ || total == 0) return;
    size_t filled = done * kBarWidth / total;
    std::string bar = std::string(filled, '#') + std::string(kBarWidth - filled, '-');
    std::fprintf(stderr, "\r[%s] %zu/%zu files\033[K", bar.c_str(), done, total);
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
