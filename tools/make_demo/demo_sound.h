// make_demo's sound track, made here: a generated tune encoded as MP3 (libavcodec's
// libmp3lame encoder) for an event sound, and a bass line as ADPCM stream blocks, one a frame.
#pragma once

#include <string>
#include <vector>

#include "tests/support/swf_writer.h"

namespace demo {

struct SoundTrack {
    swfw::Sound tune;                     // MP3, 22.05 kHz mono
    swfw::SoundStreamHead streamHead;     // ADPCM, 11.025 kHz mono
    std::vector<swfw::Buffer> blocks;     // one for each frame
};

// The track for `frames` frames at `rate` a second; false with a reason when this libavcodec
// has no MP3 encoder or the encoding fails.
bool MakeSoundTrack(int frames, int rate, std::uint16_t tuneId, SoundTrack* track,
                    std::string* error);

}  // namespace demo
