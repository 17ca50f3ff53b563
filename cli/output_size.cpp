#include "cli/output_size.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace cli {

std::optional<SizeOption> ParseSize(const std::string& text) {
    int w = 0, h = 0;
    char x = 0, extra = 0;
    if (std::sscanf(text.c_str(), "%d%c%d%c", &w, &x, &h, &extra) != 3 || (x != 'x' && x != 'X'))
        return std::nullopt;
    if (w <= 0 || h <= 0 || static_cast<long long>(w) * h > kMaxOutputPixels) return std::nullopt;
    SizeOption size;
    size.width = w;
    size.height = h;
    return size;
}

void StageOutputSize(const player::StageInfo& stage, int* width, int* height, std::string* note) {
    const double w = std::max(stage.widthPx, 1), h = std::max(stage.heightPx, 1);
    const double shrink = std::min(1.0, kMaxDefaultSide / std::max(w, h));
    *width = std::max(1, static_cast<int>(std::lround(w * shrink)));
    *height = std::max(1, static_cast<int>(std::lround(h * shrink)));
    if (shrink < 1.0) {
        *note = "the stage is " + std::to_string(stage.widthPx) + "x" +
                std::to_string(stage.heightPx) + " pixels, larger than the " +
                std::to_string(kMaxDefaultSide) + "-pixel cap; drawn at " + std::to_string(*width) +
                "x" + std::to_string(*height);
    }
}

bool ChooseOutputSize(const SizeOption& option, const player::StageInfo& stage, int* width,
                      int* height, std::string* note) {
    if (option.width > 0) {
        *width = option.width;
        *height = option.height;
        return true;
    }
    if (option.scale <= 0) {
        StageOutputSize(stage, width, height, note);
        return true;
    }
    const double w = std::max(stage.widthPx, 1) * option.scale;
    const double h = std::max(stage.heightPx, 1) * option.scale;
    if (!(w * h <= double(kMaxOutputPixels))) return false;
    *width = std::max(1, static_cast<int>(std::lround(w)));
    *height = std::max(1, static_cast<int>(std::lround(h)));
    return static_cast<long long>(*width) * *height <= kMaxOutputPixels;
}

}  // namespace cli
