// Where the capture code writes: the conversion working folder, the sequence folder, frame file
// names and output names, and the emptying of the working folder. Every function takes the
// output folder as a parameter (the window passes its g_strOutputFolder): "/" separators and a
// trailing "/", or "" for none chosen, which makes every name relative to the current folder.
// SequenceFolder is in capture/exports.h; FrameFileName and EnsureFolder in
// capture/frame_capture.h.
#pragma once

#include <string>

#include "platform/wintypes.h"

namespace capture {

inline constexpr char kConversionSubfolder[] = "Tarnwick_filmcast/Temp/";
inline constexpr char kSequenceTempSubfolder[] = "Tarnwick_reelcast/Temp/";

// output + "Tarnwick_filmcast/Temp/": the GIF frame files of a conversion.
std::string ConversionWorkFolder(const std::string& outputFolder);
// output + "Tarnwick_reelcast/Temp/": made by a sequence export and left empty.
std::string SequenceTempFolder(const std::string& outputFolder);

// The conversion's frame file: ConversionWorkFolder + movie file name (after the last "/" or
// "\", extension kept) + frame index padded to five digits + ".gif".
std::string ConversionFramePath(const std::string& outputFolder, const std::string& moviePath,
                                int frame);
// The animated GIF of a conversion: output + movie file name + ".gif".
std::string OutputAnimationPath(const std::string& outputFolder, const std::string& moviePath);
// A sequence frame: SequenceFolder + the frame file name with extension ".bmp" or ".tga".
std::string SequenceFramePath(const std::string& outputFolder, const std::string& moviePath,
                              int frame, const std::string& extension);

// Makes sure the conversion working folder exists and deletes every file in it (any name, with
// or without a dot); subfolders and what they hold stay, and a link is removed, not its target.
// TRUE when the folder exists afterwards.
BOOL PrepareWorkFolder(const std::string& outputFolder);

}  // namespace capture
