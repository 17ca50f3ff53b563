// Disassembly of ActionScript 1/2 action blocks (DoAction bodies and the like) into one line per
// action, for developers. Any bytes are accepted: nothing is read outside the block.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace avm1dump {

struct Instruction {
    std::size_t offset = 0;  // of the action code, from the start of the block
    std::uint8_t code = 0;
    std::string name;  // "Push"; "Unknown 0x5A" for codes without a name
    std::string args;  // decoded arguments; empty when there are none
};

struct Listing {
    std::vector<Instruction> actions;  // up to and including the End action
    // Why decoding stopped before an End action, or what follows the End; empty when neither.
    std::string note;
};

// The action's name, or nullptr for codes that are not actions of SWF 3 to 8.
const char* ActionName(std::uint8_t code);

// Decodes the action records of `block` up to its End action (code 0) or the block's end.
Listing Disassemble(std::span<const std::uint8_t> block);

// One line per action: offset, name, arguments; then the note, if any, after "; ".
std::string ToText(const Listing& listing);

}  // namespace avm1dump
