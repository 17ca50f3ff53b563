// Taking one frame: the frame file names of a movie, drawing the source's current frame into a
// surface, and saving a surface as an image file whose extension picks the format.
#pragma once

#include <string>

#include "capture/frame_source.h"
#include "imaging/codecfactory.h"
#include "imaging/pixelimage.h"
#include "platform/surface.h"

namespace capture {

// Saves through the image toolkit by the name's extension (bmp, gif, jpg/jpeg, png, tif/tiff,
// tga); a ".gif" name is reduced to 256 colours by the GIF encoder. Alpha is not written. On
// failure *error says why ("cannot write a.png: No space left on device").
bool SaveSurface(const CSurface& surface, const std::string& path, std::string* error = nullptr);
// The same through the given codecs, touching no process-wide state (for a worker thread).
bool SaveSurfaceWith(CCodecFactory& codecs, const CSurface& surface, const std::string& path,
                     std::string* error = nullptr);

// The drawn surface as an image (32 bits, alpha not counted), through the graphics bridge;
// makes the conversion run's codec factory current, as every capture does.
bool ImageFromSurface(const CSurface& surface, CPixelImage& image);

// Draws the source's current frame at width x height into an image.
bool CaptureImage(FrameSource& source, int width, int height, CPixelImage& image,
                  std::string* error = nullptr);

// Draws the source's current frame at width x height and saves it to `path`. False, with a
// reason, when the size is not drawable, the source draws nothing or the save fails.
bool CaptureToFile(FrameSource& source, int width, int height, const std::string& path,
                   std::string* error = nullptr);

}  // namespace capture
