#include "imaging/imageerror.h"

#include <cstring>

namespace imaging {

namespace {

thread_local ImageFailure t_lastFailure;

}  // namespace

const char* ImageErrorName(ImageError error) {
    switch (error) {
        case ImageError::kNone:
            return "no error";
        case ImageError::kNoImage:
            return "there is no image to write";
        case ImageError::kNoCodec:
            return "no image format for the file's extension";
        case ImageError::kCannotCreate:
            return "the file cannot be created";
        case ImageError::kCannotWrite:
            return "the file cannot be written";
        case ImageError::kEncoderFailed:
            return "the image encoder failed";
    }
    return "unknown image error";
}

std::string ImageFailure::Describe(const std::string& path) const {
    switch (error) {
        case ImageError::kNone:
            return "";
        case ImageError::kCannotCreate:
        case ImageError::kCannotWrite: {
            const std::string what =
                (error == ImageError::kCannotCreate ? "cannot create " : "cannot write ") + path;
            return systemError != 0 ? what + ": " + std::strerror(systemError) : what;
        }
        default:
            return "cannot write " + path + ": " + ImageErrorName(error);
    }
}

const ImageFailure& LastImageFailure() {
    return t_lastFailure;
}

void SetImageFailure(ImageError error, int systemError) {
    t_lastFailure = {error, systemError};
}

void ClearImageFailure() {
    t_lastFailure = {};
}

}  // namespace imaging
