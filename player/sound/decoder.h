// Sound data to the mixer's samples: 44.1 kHz, stereo, interleaved float. PCM and ADPCM are
// decoded here; MP3, Nellymoser and Speex through libavcodec; every rate and channel count is
// converted with libswresample. Decoding is bounded by the data and by a frame cap.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "player/sound/sound_model.h"

namespace sound {

inline constexpr int kMixRate = 44100;

// Interleaved stereo float samples at kMixRate.
using StereoSamples = std::vector<float>;

struct DecodedSound {
    StereoSamples samples;  // empty when the sound could not be decoded
    std::string problem;    // why, when it could not
};

// Decodes an event sound whole, to at most maxFrames frames at kMixRate. Data cut short of its
// stated sample count, corrupt data or a codec without a decoder give no samples and a reason.
DecodedSound DecodeSound(const SoundDefinition& sound, std::size_t maxFrames);

class Pipeline;

// A stream's blocks in order through one decoder, so MP3 frames that lean on earlier ones
// decode as they would in one piece.
class StreamDecoder {
  public:
    StreamDecoder(const StreamHead& head, std::size_t maxFrames);
    ~StreamDecoder();
    StreamDecoder(const StreamDecoder&) = delete;
    StreamDecoder& operator=(const StreamDecoder&) = delete;

    // The block's samples at kMixRate; false (and nothing from then on) once the data is
    // found corrupt or the codec has no decoder. Past the frame cap blocks add nothing.
    bool Decode(std::span<const std::uint8_t> block, StereoSamples* out);
    const std::string& Problem() const { return problem_; }
    // True once samples were left out for the frame cap (the blocks still decode).
    bool Capped() const { return capped_; }

  private:
    std::unique_ptr<Pipeline> codec_;
    std::string problem_;
    bool capped_ = false;
};

}  // namespace sound
