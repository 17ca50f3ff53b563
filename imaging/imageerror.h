// Why the image toolkit could not write an image: a small error value that its designed BOOL
// results carry beside them, kept per thread (as a last-error value) so that a caller on any
// thread can say what went wrong with the save it just made.
#pragma once

#include <string>

namespace imaging {

enum class ImageError {
    kNone,
    kNoImage,        // the image is empty or no file name was given
    kNoCodec,        // no writer for the file name's extension
    kCannotCreate,   // the file could not be created (systemError says why)
    kCannotWrite,    // writing or closing the file failed (systemError says why)
    kEncoderFailed,  // the encoder gave up on the image
};

const char* ImageErrorName(ImageError error);

struct ImageFailure {
    ImageError error = ImageError::kNone;
    int systemError = 0;  // errno, when the system said why

    // "cannot write out.png: No space left on device", naming the file as the caller knows it.
    std::string Describe(const std::string& path) const;
};

// What the calling thread's last save through the toolkit ended with (kNone after a success).
const ImageFailure& LastImageFailure();
void SetImageFailure(ImageError error, int systemError = 0);
void ClearImageFailure();

}  // namespace imaging
