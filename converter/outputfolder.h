// The process-wide output folder that every export writes under, and where it starts.
// Folders end in "/" when not empty. The program's own folder is GetModuleDir (fileutil.h).
#pragma once

#include <string>

// The output folder; set at start-up and by the folder browse command.
extern std::string g_strOutputFolder;

// True when a file can be created in the folder (tried, not guessed from permission bits).
bool IsWritableFolder(const std::string& folder);
// The output folder the window starts with: the program's folder, or, when that cannot be
// written (an installed program), the user's pictures folder.
std::string StartupOutputFolder(const std::string& moduleDir, const std::string& picturesDir);
