#include "capture/frame_capture.h"

#include "imaging/codecfactory.h"
#include "imaging/gdiplusbridge.h"

namespace capture {

namespace {

void SetError(std::string* error, std::string reason) {
    if (error) *error = std::move(reason);
}

// Why a save failed: no writer for the name's extension, or the file could not be written.
std::string SaveFailure(const std::string& path) {
    if (GetCodecFactory()->CreateCodec(ImageTypeFromExtension(path.c_str())) == nullptr)
        return "no image format for the extension of " + path;
    return "cannot write " + path;
}

}  // namespace

bool SaveSurface(const CSurface& surface, const std::string& path, std::string* error) {
    CPixelImage image;
    if (!ImageFromSurface(surface, image)) {
        SetError(error, "nothing was drawn");
        return false;
    }
    if (!image.SaveToFile(path.c_str(), -1)) {
        SetError(error, SaveFailure(path));
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
        SetError(error, SaveFailure(path));
        return false;
    }
    return true;
}

}  // namespace capture
