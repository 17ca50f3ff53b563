// "-" as a movie or an output: a movie read from standard input is kept in a file first (the
// engine reads files), and a finished picture or GIF is copied to standard output.
#pragma once

#include <string>

namespace cli {

inline constexpr char kStandardStream[] = "-";

// How messages name a movie read from standard input.
inline constexpr char kStandardInputLabel[] = "(standard input)";

// Copies standard input into `folder` ("/"-terminated) as one movie file; false, with the
// reason, when it cannot be read or written or holds more than a movie may.
bool SpoolStandardInput(const std::string& folder, std::string* path, std::string* error);

// Copies a finished file to standard output; false, with the reason, when that fails.
bool CopyToStandardOutput(const std::string& path, std::string* error);

}  // namespace cli
