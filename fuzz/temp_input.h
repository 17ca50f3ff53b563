// Fuzz inputs handed to code that reads files: each input is written over one file in a
// private temporary folder made once per process.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace fuzz {

// The private folder, "/"-terminated; aborts when it cannot be made.
const std::string& TempFolder();
// Writes the bytes to TempFolder() + name and returns that path; aborts when it cannot.
std::string WriteTempInput(const std::string& name, const std::uint8_t* data, std::size_t size);

}  // namespace fuzz
