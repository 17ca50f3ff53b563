// What a movie may load: files beside it, and nothing else. An address is a path relative to
// the movie's folder that stays inside that folder once ".." and links are resolved; absolute
// paths, other folders and URLs of any scheme are refused. There is no network.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace player {

// Reads the file `address` names beside the movie in `folder` (its query and fragment, after
// '?' or '#', are left out), of at most maxBytes. False with a one-line reason otherwise.
bool ReadBesideMovie(const std::string& folder, std::string_view address, std::size_t maxBytes,
                     std::string* bytes, std::string* reason);

// Loaded text as scripts hold it: UTF-8 without its byte-order mark; text that is not UTF-8 is
// taken as Latin-1.
std::string LoadedText(std::string bytes);

}  // namespace player
