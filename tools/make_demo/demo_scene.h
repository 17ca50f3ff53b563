// make_demo's scene: samples/demo.swf, our showcase and benchmark movie (550 x 400, 12 fps,
// 120 frames, CWS) - dawn over the hills: a sun rising behind mountains, twinkling stars, a
// setting moon of generated bitmap, an orbiting planet clip with its own timeline, a shape
// tween, drifting clouds, a turning windmill, swaying trees and a bouncing logo; a tune (an MP3
// event sound played twice) over a bass line (an ADPCM stream).
#pragma once

#include <string>

#include "tests/support/swf_writer.h"

namespace demo {

// The whole movie, built the same way every time (no clock, no randomness); false with a
// reason when its sound cannot be made.
bool BuildDemoMovie(swfw::Movie* movie, std::string* error);

}  // namespace demo
