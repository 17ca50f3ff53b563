// File-system and path helpers for the windows and the capture code: existence tests, recursive
// folder creation, the file-name part of a path, zero-padded frame numbers, the program's folder.
// Qt-free. Failures are reported by a FALSE result only.
#pragma once

#include <string>

#include "platform/wintypes.h"

// TRUE when a file or folder matches the name. The last part of the name may be a pattern with
// "*" and "?"; "*.*" matches every name, also names without a dot.
BOOL FileExists(const std::string& nameOrPattern);

// TRUE when the path names an existing folder (a trailing "/" is allowed).
BOOL DirectoryExists(const std::string& path);

// Creates the folder and any missing parents, splitting at "/" only. The root "/" is the one
// parent taken as existing without a test; a path with no "/" has no parent and gives FALSE.
// A trailing "/" names the same folder. FALSE when the folder already exists: callers test
// DirectoryExists first.
BOOL CreateDirectoryTree(const std::string& path);

// The text after the last "/" or "\", or the whole text when it has neither.
std::string GetFileNameFromPath(const std::string& path);

// The number in decimal with leading zeros to at least `width` digits (12, 5 -> "00012").
std::string FormatZeroPadded(int number, int width);

// The program's own folder, from /proc/self/exe: "/" separators and a trailing "/"; "" when it
// cannot be read.
std::string GetModuleDir();
