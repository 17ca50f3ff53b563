#include "capture/frame_capture.h"

#include <cstdio>
#include <filesystem>
#include <system_error>

#include "imaging/codecfactory.h"
#include "imaging/gdiplusbridge.h"

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
    CPixelImage image;
    if (!ImageFromSurface(surface, image)) {
        SetError(error, "nothing was drawn");
        return false;
    }
    if (!image.SaveToFile(path.c_str(), -1)) {
        SetError(error, "cannot write " + path);
        return false;
    }
    return true;
}

bool ImageFromSurface(const CSurface& surface, CPixelImage& image) {
    if (!surface.IsValid()) return false;
    const std::unique_ptr<CGdiplusBitmap> bitmap = CreateGdiplusBitmapFromHBITMAP(&surface);
    SetCodecFactory(new CAppCodecFactory);
    return bitmap && ImageFromGdiplusBitmap(*bitmap, image);
}

bool CaptureImage(IFrameSource& source, int width, int height, CPixelImage& image,
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
    if (!ImageFromSurface(surface, image)) {
        SetError(error, "cannot convert the drawn frame");
        return false;
    }
    return true;
}

bool CaptureToFile(IFrameSource& source, int width, int height, const std::string& path,
                   std::string* error) {
    CPixelImage image;
    if (!CaptureImage(source, width, height, image, error)) return false;
    if (!image.SaveToFile(path.c_str(), -1)) {
        SetError(error, "cannot write " + path);
        return false;
    }
    return true;
}

}  // namespace capture
