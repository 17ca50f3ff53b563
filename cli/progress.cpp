#include "cli/progress.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>

namespace cli {

namespace {
constexpr int kBarWidth = 30;
constexpr auto kRedrawEvery = std::chrono::milliseconds(100);
}  // namespace

std::string ProgressLine(const ProgressCounts& counts) {
    const double share = std::clamp(counts.shareDone, 0.0, 1.0);
    const int filled = static_cast<int>(share * kBarWidth);
    std::string line = "[" + std::string(filled, '=') + std::string(kBarWidth - filled, ' ') +
                       "] " + std::to_string(counts.framesDone) + "/" +
                       std::to_string(counts.framesKnown) + " frames";
    if (counts.movies > 1)
        line += "  " + std::to_string(counts.moviesDone) + "/" + std::to_string(counts.movies) +
                " movies";
    return line;
}

CProgress::CProgress(bool quiet) : enabled_(!quiet && ::isatty(STDERR_FILENO) == 1) {}

CProgress::~CProgress() {
    Clear();
}

void CProgress::Show(const ProgressCounts& counts) {
    if (!enabled_) return;
    std::string text = ProgressLine(counts);
    if (text == text_ && drawn_) return;
    text_ = std::move(text);
    const auto now = std::chrono::steady_clock::now();
    const bool finished = counts.movies > 0 && counts.moviesDone >= counts.movies;
    if (drawn_ && !finished && now - lastDraw_ < kRedrawEvery) return;
    lastDraw_ = now;
    Draw();
}

void CProgress::Draw() {
    std::fprintf(stderr, "\r\033[K%s", text_.c_str());
    std::fflush(stderr);
    drawn_ = true;
}

void CProgress::Print(const std::string& line) {
    const bool wasDrawn = drawn_;
    Clear();
    std::fprintf(stderr, "%s\n", line.c_str());
    if (wasDrawn) Draw();
    else std::fflush(stderr);
}

void CProgress::Clear() {
    if (!drawn_) return;
    std::fprintf(stderr, "\r\033[K");
    std::fflush(stderr);
    drawn_ = false;
}

}  // namespace cli
