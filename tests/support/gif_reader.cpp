#include "tests/support/gif_reader.h"

#include <gif_lib.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

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

// The loop count of a NETSCAPE2.0 application block among `blocks`, or -1.
int LoopCountIn(const ExtensionBlock* blocks, int count) {
    for (int i = 0; i + 1 < count; ++i) {
        const ExtensionBlock& app = blocks[i];
        const ExtensionBlock& data = blocks[i + 1];
        if (app.Function == APPLICATION_EXT_FUNC_CODE && app.ByteCount == 11 &&
            std::memcmp(app.Bytes, "NETSCAPE2.0", 11) == 0 &&
            data.Function == CONTINUE_EXT_FUNC_CODE && data.ByteCount >= 3 && data.Bytes[0] == 1)
            return data.Bytes[1] | (data.Bytes[2] << 8);
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
    gif.globalPalette = file->SColorMap != nullptr;
    gif.loopCount = LoopCountIn(file->ExtensionBlocks, file->ExtensionBlockCount);
    if (file->ImageCount > 0 && gif.loopCount < 0) {
        gif.loopCount = LoopCountIn(file->SavedImages[0].ExtensionBlocks,
                                    file->SavedImages[0].ExtensionBlockCount);
    }
    const std::size_t area = std::size_t(gif.width) * gif.height;
    std::vector<std::uint32_t> screen(area, 0);
    std::vector<bool> shown(area, false);
    for (int i = 0; i < file->ImageCount; ++i) {
        const SavedImage& image = file->SavedImages[i];
        const ColorMapObject* map =
            image.ImageDesc.ColorMap ? image.ImageDesc.ColorMap : file->SColorMap;
        GraphicsControlBlock gcb{};
        gcb.TransparentColor = NO_TRANSPARENT_COLOR;
        DGifSavedExtensionToGCB(file, i, &gcb);
        const GifImageDesc& d = image.ImageDesc;
        const std::vector<std::uint32_t> screenBefore = screen;
        const std::vector<bool> shownBefore = shown;
        for (int y = 0; y < d.Height; ++y) {
            for (int x = 0; x < d.Width; ++x) {
                const int sx = d.Left + x, sy = d.Top + y;
                if (sx >= gif.width || sy >= gif.height || !map) continue;
                const int index = image.RasterBits[std::size_t(y) * d.Width + x];
                if (index == gcb.TransparentColor || index >= map->ColorCount) continue;
                const GifColorType c = map->Colors[index];
                screen[std::size_t(sy) * gif.width + sx] = (c.Red << 16) | (c.Green << 8) | c.Blue;
                shown[std::size_t(sy) * gif.width + sx] = true;
            }
        }
        Page page;
        page.width = gif.width;
        page.height = gif.height;
        page.delayCs = DelayOf(image);
        page.rgb = screen;
        page.shown = shown;
        page.disposal = gcb.DisposalMode;
        page.left = d.Left;
        page.top = d.Top;
        page.pictureWidth = d.Width;
        page.pictureHeight = d.Height;
        page.localPalette = image.ImageDesc.ColorMap != nullptr;
        gif.pages.push_back(std::move(page));
        // What the viewer does with the picture before the next one.
        if (gcb.DisposalMode == DISPOSE_BACKGROUND) {
            for (int y = d.Top; y < std::min(d.Top + d.Height, gif.height); ++y) {
                for (int x = d.Left; x < std::min(d.Left + d.Width, gif.width); ++x) {
                    screen[std::size_t(y) * gif.width + x] = 0;
                    shown[std::size_t(y) * gif.width + x] = false;
                }
            }
        } else if (gcb.DisposalMode == DISPOSE_PREVIOUS) {
            screen = screenBefore;
            shown = shownBefore;
        }
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
