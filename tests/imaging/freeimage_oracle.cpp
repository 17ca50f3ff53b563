#include "tests/imaging/freeimage_oracle.h"

#include <FreeImage.h>

#include <cstring>

#include "platform/freeimagehandle.h"

OraclePicture DecodeWithFreeImage(const std::string& path) {
    OraclePicture picture;
    const FREE_IMAGE_FORMAT fif = FreeImage_GetFileType(path.c_str(), 0);
    if (fif == FIF_UNKNOWN) return picture;
    FiBitmap dib(FreeImage_Load(fif, path.c_str(), 0));
    if (!dib) return picture;
    picture.bpp = int(FreeImage_GetBPP(dib.get()));
    FiBitmap argb(FreeImage_ConvertTo32Bits(dib.get()));
    if (!argb) return picture;
    picture.width = int(FreeImage_GetWidth(argb.get()));
    picture.height = int(FreeImage_GetHeight(argb.get()));
    picture.argb.resize(std::size_t(picture.width) * picture.height);
    for (int y = 0; y < picture.height; ++y)
        std::memcpy(&picture.argb[std::size_t(y) * picture.width],
                    FreeImage_GetScanLine(argb.get(), picture.height - 1 - y),
                    std::size_t(picture.width) * 4);
    picture.ok = true;
    return picture;
}

bool WriteAnimatedGif(const std::string& path, int width, int height,
                      const std::vector<std::uint32_t>& colours,
                      const std::vector<std::uint32_t>& delaysMs) {
    FiMultiBitmap gif(FreeImage_OpenMultiBitmap(FIF_GIF, path.c_str(), TRUE, FALSE, TRUE, 0));
    if (!gif) return false;
    for (std::size_t i = 0; i < colours.size(); ++i) {
        FiBitmap frame(FreeImage_Allocate(width, height, 8));
        if (!frame) return false;
        RGBQUAD* palette = FreeImage_GetPalette(frame.get());
        palette[1].rgbRed = BYTE(colours[i] >> 16);
        palette[1].rgbGreen = BYTE(colours[i] >> 8);
        palette[1].rgbBlue = BYTE(colours[i]);
        for (int y = 0; y < height; ++y)
            std::memset(FreeImage_GetScanLine(frame.get(), y), 1, width);
        FITAG* tag = FreeImage_CreateTag();
        DWORD delay = delaysMs[i];
        FreeImage_SetTagKey(tag, "FrameTime");
        FreeImage_SetTagType(tag, FIDT_LONG);
        FreeImage_SetTagCount(tag, 1);
        FreeImage_SetTagLength(tag, 4);
        FreeImage_SetTagValue(tag, &delay);
        FreeImage_SetMetadata(FIMD_ANIMATION, frame.get(), "FrameTime", tag);
        FreeImage_DeleteTag(tag);
        FreeImage_AppendPage(gif.get(), frame.get());
    }
    return FreeImage_CloseMultiBitmap(gif.release(), 0) == TRUE;
}
