// Why a movie could not be loaded, as a value the layers above can name and pass on.
#pragma once

#include <string>

namespace player {

// Why a movie could not be loaded: the file, or what makes it no playable movie.
enum class LoadError {
    kNone,
    kCannotOpen,      // systemError says why
    kCannotRead,      // systemError says why, when the system said
    kFileTooLarge,    // larger than the movie-size cap
    kTooShort,        // too short for a movie header
    kBadSignature,    // not a Flash movie
    kCorruptStream,   // the compressed body cannot be inflated at all
    kBodyTooLarge,    // the header asks for more than the engine accepts
    kHeaderCutShort,  // the body ends inside the stage size, rate or frame count
};

const char* LoadErrorName(LoadError error);

struct LoadFailure {
    LoadError error = LoadError::kNone;
    int systemError = 0;  // errno, when the system said why

    // One line: "cannot open file: Permission denied", "not a Flash movie (bad signature)".
    std::string Describe() const;
};

// What a movie whose data ends before its End tag lacks, one line: "the movie ends before its
// first frame (its header promises 120)", "the movie ends early: its header promises 120
// frames, 3 could be read", or "" when every promised frame could be read.
std::string DescribeEndedEarly(int declaredFrames, int framesRead);

}  // namespace player
