// Files a batch job owns for a while: its private working folder and the temporary name its
// output is written under before it is renamed into place.
#pragma once

#include <string>

namespace cli {

// A new, empty, private folder under the system's temporary folder ("/"-terminated), or "".
std::string MakePrivateWorkFolder();
// A new, unused hidden name beside `finalPath` for its output to be written under, or "".
std::string MakeTemporarySibling(const std::string& finalPath);
// Removes a folder and everything in it; no error when it is gone already.
void RemoveTree(const std::string& folder);

}  // namespace cli
