#include "capture/frame_capture.h"

#include "imaging/codecfactory.h"
#include "imaging/gdiplusbridge.h"
#include "imaging/imageerror.h"

namespace capture {

namespace {

void SetError(std::string* error, std::string reason) {
    if (error) *error = std::move(reason);
}

// Why the toolkit's last save on this thread failed, naming the file.
std::string SaveFailure(const std::string& path) {
    return imaging::LastImageFailure().Describe(path);
}

// The surface's pixels as an image, through the graphics bridge alone.
bool ConvertSurface(const CSurface& surface, CPixelImage& image) {
    if (!surface.IsValid()) return false;
    const std::unique_ptr<CGdiplusBitmap> bitmap = CreateGdiplusBitmapFromHBITMAP(&surface);
    return bitmap && ImageFromGdiplusBitmap(*bitmap, image);
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

bool SaveSurfaceWith(CCodecFactory& codecs, const CSurface& surface, const std::string& path,
                     std::string* error) {
    CPixelImage image;
    if (!ConvertSurface(surface, image)) {
        SetError(error, "nothing was drawn");
        return false;
    }
    CPropertyBag properties;
    properties.Set(PROP_QUALITY, "-1");
    if (!SaveImageFile(codecs, image, path.c_str(), &properties)) {
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

bool CaptureImage(FrameSource& source, int width, int height, CPixelImage& image,
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

bool CaptureToFile(FrameSource& source, int width, int height, const std::string& path,
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
