#include "tests/support/gif_reader.h"

#include <gif_lib.h>

#include <algorithm>
#include <cstdlib>

namespace testgif {

namespace {

int DelayOf(const SavedImage& image) {
    GraphicsControlBlock gcb;
    for (int i = 0; i < image.ExtensionBlockCount; ++i) {
        const ExtensionBlock& block = image.ExtensionBlocks[i];
        if (block.Function == GRAPHICS_EXT_FUNC_CODE &&
            DGifExtensionToGCB(block.ByteCount, block.Bytes, &gcb) == GIF_OK) {
            return gcb.DelayTime;
        }
    }
    return -1;
}

}  // namespace

Gif Read(const std::string& path) {
    Gif gif;
    int error = 0;
    GifFileType* file = DGifOpenFileName(path.c_str(), &error);
    if (!file) return gif;
    if (DGifSlurp(file) != GIF_OK) {
        DGifCloseFile(file, &error);
        return gif;
    }
    gif.width = file->SWidth;
    gif.height = file->SHeight;
    std::vector<std::uint32_t> screen(std::size_t(gif.width) * gif.height, 0);
    for (int i = 0; i < file->ImageCount; ++i) {
        const SavedImage& image = file->SavedImages[i];
        const ColorMapObject* map =
            image.ImageDesc.ColorMap ? image.ImageDesc.ColorMap : file->SColorMap;
        GraphicsControlBlock gcb{};
        gcb.TransparentColor = NO_TRANSPARENT_COLOR;
        DGifSavedExtensionToGCB(file, i, &gcb);
        const GifImageDesc& d = image.ImageDesc;
        for (int y = 0; y < d.Height; ++y) {
            for (int x = 0; x < d.Width; ++x) {
                const int sx = d.Left + x, sy = d.Top + y;
                if (sx >= gif.width || sy >= gif.height || !map) continue;
                const int index = image.RasterBits[std::size_t(y) * d.Width + x];
                if (index == gcb.TransparentColor || index >= map->ColorCount) continue;
                const GifColorType c = map->Colors[index];
                screen[std::size_t(sy) * gif.width + sx] = (c.Red << 16) | (c.Green << 8) | c.Blue;
            }
        }
        Page page;
        page.width = gif.width;
        page.height = gif.height;
        page.delayCs = DelayOf(image);
        page.rgb = screen;
        gif.pages.push_back(std::move(page));
    }
    DGifCloseFile(file, &error);
    gif.ok = true;
    return gif;
}

int ChannelDistance(std::uint32_t a, std::uint32_t b) {
    int worst = 0;
    for (int shift = 0; shift <= 16; shift += 8) {
        worst = std::max(worst, std::abs(int((a >> shift) & 0xFF) - int((b >> shift) & 0xFF)));
    }
    return worst;
}

}  // namespace testgif
