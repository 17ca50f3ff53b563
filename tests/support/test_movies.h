// Movies for the capture and command-line tests, built with the SWF writer, and the engine's
// own picture of a frame to compare captures with.
#pragma once

#include <cstdint>
#include <string>

#include "platform/surface.h"

namespace testmovies {

// Opaque 0xRRGGBB colour of the block shown in frame (or clip frame) k.
std::uint32_t ColourOf(int k);

// `frames` root frames on a 220 x 160 stage; frame k shows a block of ColourOf(k) on white, at
// a place of its own, and a fixed black bar. Frame `loopBackFrame`, when given, holds actions
// that send the movie back to frame 0 and play on.
bool WriteSteppedMovie(const std::string& path, int frames, double rate = 12.0,
                       int loopBackFrame = -1);

// One root frame holding a clip of `clipFrames` frames; clip frame k shows ColourOf(k).
bool WriteClipMovie(const std::string& path, int clipFrames);

// `frames` frames of a 550 x 400 stage holding a thousand tiny clips, each under the widest
// blur at the most passes: every frame needs more drawing work than a frame may take.
bool WriteHeavyFilterMovie(const std::string& path, int frames);

// The engine's picture of root frame `frame` (or, with ticks, after `frame` ticks of play) at
// width x height, as 0xRRGGBB per pixel in a surface.
CSurface EngineFrame(const std::string& path, int frame, int width, int height, bool ticks = false);

// Fraction of pixels whose channels differ by more than `tolerance` between an engine
// surface and a decoded RGB page.
double MismatchedShare(const CSurface& engine, const std::uint32_t* rgb, int tolerance);

}  // namespace testmovies
