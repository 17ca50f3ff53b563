#include "player/load_error.h"

#include <cstring>

#include "player/decompress.h"

namespace player {

const char* LoadErrorName(LoadError error) {
    switch (error) {
        case LoadError::kNone:
            return "no error";
        case LoadError::kCannotOpen:
            return "cannot open file";
        case LoadError::kCannotRead:
            return "cannot read file";
        case LoadError::kFileTooLarge:
            return "file larger than the engine accepts";
        case LoadError::kTooShort:
            return DecompressErrorName(DecompressError::kTooShort);
        case LoadError::kBadSignature:
            return DecompressErrorName(DecompressError::kBadSignature);
        case LoadError::kCorruptStream:
            return DecompressErrorName(DecompressError::kCorruptStream);
        case LoadError::kBodyTooLarge:
            return DecompressErrorName(DecompressError::kTooLarge);
        case LoadError::kHeaderCutShort:
            return "the movie is truncated: its header is cut short";
    }
    return "unknown load error";
}

std::string LoadFailure::Describe() const {
    if (systemError == 0) return LoadErrorName(error);
    return std::string(LoadErrorName(error)) + ": " + std::strerror(systemError);
}

std::string DescribeEndedEarly(int declaredFrames, int framesRead) {
    if (framesRead <= 0)
        return "the movie ends before its first frame (its header promises " +
               std::to_string(declaredFrames) + ")";
    if (framesRead >= declaredFrames) return "";
    return "the movie ends early: its header promises " + std::to_string(declaredFrames) +
           " frames, " + std::to_string(framesRead) + " could be read";
}

}  // namespace player
