#include "capture/frame_capture.h"

#include <FreeImage.h>

#include <cstdio>
#include <filesystem>
#include <system_error>

#include "capture/freeimage_handles.h"

namespace capture {

namespace {

std::string ZeroPadded(long value, int width) {
    char text[32];
    std::snprintf(text, sizeof text, "%0*ld", width, value);
    return text;
}

void SetError(std::string* error, std::string reason) {
    if (error) *error = std::move(reason);
}

}  // namespace

std::string MovieFileName(const std::string& moviePath) {
    const auto slash = moviePath.find_last_of("/\\");
    return slash == std::string::npos ? moviePath : moviePath.substr(slash + 1);
}

std::string FrameFileName(const std::string& folder, const std::string& moviePath, long frame,
                          const std::string& extension) {
    return folder + MovieFileName(moviePath) + ZeroPadded(frame, 5) + extension;
}

bool EnsureFolder(const std::string& folder) {
    if (folder.empty()) return true;
    std::error_code error;
    if (std::filesystem::is_directory(folder, error)) return true;
    std::filesystem::create_directories(folder, error);
    return std::filesystem::is_directory(folder, error);
}

bool SaveSurface(const CSurface& surface, const std::string& path, std::string* error) {
    if (!surface.IsValid()) {
        SetError(error, "nothing was drawn");
        return false;
    }
    const FREE_IMAGE_FORMAT format = FreeImage_GetFIFFromFilename(path.c_str());
    if (format == FIF_UNKNOWN) {
        SetError(error, "unknown image type for " + path);
        return false;
    }
    BitmapHandle raw(FreeImage_ConvertFromRawBits(
        const_cast<BYTE*>(surface.Pixels()), surface.Width(), surface.Height(), surface.Stride(),
        32, FI_RGBA_RED_MASK, FI_RGBA_GREEN_MASK, FI_RGBA_BLUE_MASK, TRUE));
    BitmapHandle rgb(raw ? FreeImage_ConvertTo24Bits(raw.get()) : nullptr);
    if (rgb && format == FIF_GIF) rgb.reset(FreeImage_ColorQuantize(rgb.get(), FIQ_WUQUANT));
    if (!rgb || !FreeImage_Save(format, rgb.get(), path.c_str(), 0)) {
        SetError(error, "cannot write " + path);
        return false;
    }
    return true;
}

bool CaptureToFile(IFrameSource& source, int width, int height, const std::string& path,
                   std::string* error) {
    CSurface surface(width, height);
    if (!surface.IsValid()) {
        SetError(error, "cannot draw at " + std::to_string(width) + "x" + std::to_string(height));
        return false;
    }
    if (!source.Draw(surface)) {
        SetError(error, "the player drew nothing");
        return false;
    }
    return SaveSurface(surface, path, error);
}

}  // namespace capture
