// Finds every action block of a movie: DoAction and DoInitAction bodies, PlaceObject2/3 clip
// actions and button actions, on the root timeline and in every sprite, frame by frame.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace avm1dump {

struct ActionBlock {
    // Where the block sits, e.g. "sprite 4 frame 2: PlaceObject2 depth 3 onClipEvent(load)".
    std::string where;
    std::vector<std::uint8_t> code;
};

struct MovieActions {
    std::uint8_t version = 0;
    std::vector<ActionBlock> blocks;    // in file order
    std::vector<std::string> problems;  // tags that could not be read to the end
};

// Reads the movie file; false with *error set when it is not a movie at all. Everything after
// the header is read as far as it goes.
bool FindActionBlocks(std::span<const std::uint8_t> file, MovieActions* out, std::string* error);

}  // namespace avm1dump
