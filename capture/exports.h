// The exports beside the conversion run: the frame on show as one image file, and one step of
// the numbered BMP/TGA sequence that the export progress window writes.
#pragma once

#include <string>

#include "capture/frame_source.h"

namespace capture {

// Draws the source's current frame at the player's size, scales it to the output size unless
// either output dimension is 0 or less, and saves it; the extension picks the format.
bool ExportSingleFrame(FrameSource& source, int playerWidth, int playerHeight, int outputWidth,
                       int outputHeight, const std::string& path, std::string* error = nullptr);

struct SequenceExport {
    std::string moviePath;
    std::string outputFolder;        // "/"-terminated or empty
    std::string extension = ".bmp";  // ".bmp" or ".tga"
    int width = 0;
    int height = 0;
};

// One tick of the sequence export: moves the source to frame p and writes that frame's file
// into the sequence folder. False when the file could not be written (the export goes on).
bool ExportSequenceFrame(FrameSource& source, const SequenceExport& settings, long p,
                         std::string* error = nullptr);
// Writes the source's current frame as its sequence file (the second half of the step).
bool WriteSequenceFrame(FrameSource& source, const SequenceExport& settings,
                        std::string* error = nullptr);

}  // namespace capture
