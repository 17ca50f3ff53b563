// Streams pictures and sound into a video (MP4: H.264 + AAC, WebM: VP9 + Opus) or a
// full-colour animated picture (APNG, animated WebP) through libavcodec and libavformat: each
// picture and each piece of sound is encoded as it comes, so nothing of earlier ones is kept.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace cli::av {

enum class Format { kMp4, kWebm, kApng, kWebp };

// Pictures a second as an exact fraction (a movie's 8.8 fixed-point rate is one).
struct Rate {
    int num = 12;
    int den = 1;
};

struct WriterSettings {
    Format format = Format::kMp4;
    int width = 0;   // the pictures' size; videos pad odd sizes to even
    int height = 0;
    Rate rate;
    int crf = 0;     // quality of MP4 and WebM (lower is better); 0 = the format's default
    bool alpha = false;  // APNG and WebP keep the pictures' alpha
    bool sound = false;  // MP4 and WebM carry 44.1 kHz stereo sound
    int plays = 0;       // APNG and WebP: 0 forever, N times
};

// The default --crf of each video format.
constexpr int kDefaultMp4Crf = 18;
constexpr int kDefaultWebmCrf = 32;
// Seconds the sound fades out over at its end, so it stops without a click.
constexpr double kFadeOutSeconds = 0.010;

// Whether the format holds sound, and whether it keeps alpha.
bool CarriesSound(Format format);
bool KeepsAlpha(Format format);
// The encoders the format needs that this libavcodec lacks, "" when it has them all.
std::string MissingEncoders(Format format, bool sound);

class AvWriter {
  public:
    AvWriter();
    ~AvWriter();
    AvWriter(const AvWriter&) = delete;
    AvWriter& operator=(const AvWriter&) = delete;

    // Creates the file and writes its header. False with Error() when an encoder is missing,
    // the settings are refused or the file cannot be written.
    bool Open(const std::string& path, const WriterSettings& settings);
    // Appends a picture: width x height pixels as 0xAARRGGBB words, alpha not premultiplied
    // (opaque unless the settings keep alpha), `stride` words a row.
    bool WritePicture(const std::uint32_t* pixels, int stride);
    // Appends interleaved stereo float samples at 44.1 kHz (ignored without sound).
    bool WriteSound(const float* samples, std::size_t frames);
    // Ends the sound exactly with the pictures (cut or padded with silence, faded out over
    // kFadeOutSeconds), drains the encoders and closes the file.
    bool Close();

    const std::string& Error() const { return error_; }

  private:
    struct State;
    bool Fail(const std::string& what);
    bool Fail(const std::string& what, int code);
    bool OpenVideo(const WriterSettings& settings);
    bool OpenAudio();
    std::int64_t PicturesEnd() const;  // 44.1 kHz frames the pictures so far last
    bool Resample(const float* samples, int count);
    bool FinishSound();
    bool EncodeSound(bool last);
    bool Drain(int stream, bool flush);

    std::unique_ptr<State> state_;
    std::string error_;
};

}  // namespace cli::av
