// What a script's Sound learns of an MP3 file it loads: the text of its ID3 tags and how long
// it plays. Pure functions over the file's bytes; every length in them is checked.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace player::script {

// One text field of a tag, by its four-letter frame name (TIT2, TPE1, COMM, ...), its text in
// UTF-8. Older tags' three-letter names and version 1 tags come out under the same names.
struct Id3Field {
    std::string id;
    std::string text;
};

// The text frames and comments of the file's ID3 version 2 tag in file order, or, without
// one, the fields of a version 1 tag at its end; empty when it has neither.
std::vector<Id3Field> ReadId3(std::span<const std::uint8_t> file);

// Milliseconds the MPEG audio frames after any leading tag play; nothing when none is found.
std::optional<double> Mp3DurationMs(std::span<const std::uint8_t> file);

}  // namespace player::script
