#include "cli/progress.h"

#include <unistd.h>

#include <cstdio>

namespace cli {

namespace {
constexpr int kBarWidth = 30;
}

CProgress::CProgress(std::string label, bool quiet)
    : label_(std::move(label)), enabled_(!quiet && ::isatty(STDERR_FILENO) == 1) {}

CProgress::~CProgress() {
    Clear();
}

void CProgress::Show(long done, long total) {
    if (!enabled_ || total <= 0) return;
    const int percent = static_cast<int>(done * 100 / total);
    if (percent == lastPercent_) return;
    lastPercent_ = percent;
    const int filled = static_cast<int>(done * kBarWidth / total);
    std::fprintf(stderr, "\r%s [%.*s%*s] %ld/%ld", label_.c_str(), filled,
                 "==============================", kBarWidth - filled, "", done, total);
    std::fflush(stderr);
    drawn_ = true;
}

void CProgress::Clear() {
    if (!drawn_) return;
    std::fprintf(stderr, "\r\033[K");
    std::fflush(stderr);
    drawn_ = false;
    lastPercent_ = -1;
}

}  // namespace cli
