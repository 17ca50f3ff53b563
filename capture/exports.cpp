#include "capture/exports.h"

#include "capture/frame_capture.h"
#include "capture/workfolders.h"
#include "imaging/imageerror.h"
#include "imaging/pixelimage.h"

namespace capture {

bool ExportSingleFrame(FrameSource& source, int playerWidth, int playerHeight, int outputWidth,
                       int outputHeight, const std::string& path, std::string* error) {
    CPixelImage image;
    if (!CaptureImage(source, playerWidth, playerHeight, image, error)) return false;
    if (outputWidth > 0 && outputHeight > 0) image.Stretch(outputWidth, outputHeight);
    if (!image.SaveToFile(path.c_str(), -1)) {
        if (error) *error = imaging::LastImageFailure().Describe(path);
        return false;
    }
    return true;
}

bool ExportSequenceFrame(FrameSource& source, const SequenceExport& settings, long p,
                         std::string* error) {
    source.GotoFrame(p);
    return WriteSequenceFrame(source, settings, error);
}

bool WriteSequenceFrame(FrameSource& source, const SequenceExport& settings, std::string* error) {
    const std::string file =
        SequenceFramePath(settings.outputFolder, settings.moviePath,
                          static_cast<int>(source.CurrentFrame()), settings.extension);
    if (!EnsureFolder(SequenceTempFolder(settings.outputFolder), error)) return false;
    return CaptureToFile(source, settings.width, settings.height, file, error);
}

}  // namespace capture
