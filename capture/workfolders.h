// Where the capture code writes: the conversion working folder, the sequence folder, frame file
// names and output names, and the emptying of the working folder. Every function takes the
// output folder as a parameter (the window passes its g_strOutputFolder): "/" separators and a
// trailing "/", or "" for none chosen, which makes every name relative to the current folder.
#pragma once

#include <string>

#include "platform/wintypes.h"

namespace capture {

inline constexpr char kConversionSubfolder[] = "Tarnwick_filmcast/Temp/";
inline constexpr char kSequenceSubfolder[] = "Tarnwick_reelcast/";
inline constexpr char kSequenceTempSubfolder[] = "Tarnwick_reelcast/Temp/";
inline constexpr int kFrameNumberWidth = 5;

// output + "Tarnwick_filmcast/Temp/": the GIF frame files of a conversion.
std::string ConversionWorkFolder(const std::string& outputFolder);
// output + "Tarnwick_reelcast/": the BMP or TGA files of a sequence export.
std::string SequenceFolder(const std::string& outputFolder);
// output + "Tarnwick_reelcast/Temp/": made by a sequence export and left empty.
std::string SequenceTempFolder(const std::string& outputFolder);

// Movie file name (after the last "/" or "\", extension kept) + frame index padded to five
// digits + extension: "intro.swf00042.gif" for ("/films/intro.swf", 42, ".gif").
std::string FrameFileName(const std::string& moviePath, int frame, const std::string& extension);

// The conversion's frame file: ConversionWorkFolder + FrameFileName(..., ".gif").
std::string ConversionFramePath(const std::string& outputFolder, const std::string& moviePath,
                                int frame);
// The animated GIF of a conversion: output + movie file name + ".gif".
std::string OutputAnimationPath(const std::string& outputFolder, const std::string& moviePath);
// A sequence frame: SequenceFolder + FrameFileName(..., extension), extension ".bmp" or ".tga".
std::string SequenceFramePath(const std::string& outputFolder, const std::string& moviePath,
                              int frame, const std::string& extension);

// Makes sure the folder exists, creating it and its missing parents. "" is the current folder;
// a relative folder is created below it. TRUE when the folder exists afterwards; otherwise
// *reason (when given) says why: "cannot create out/frames/: Permission denied".
BOOL EnsureFolder(const std::string& folder, std::string* reason = nullptr);

// Makes sure the conversion working folder exists and deletes every file in it (any name, with
// or without a dot); subfolders and what they hold stay, and a link is removed, not its target.
// TRUE when the folder exists afterwards.
BOOL PrepareWorkFolder(const std::string& outputFolder);

}  // namespace capture
