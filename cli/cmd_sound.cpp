// `filmcast sound`: the movie's audio for a range of frames, encoded and muxed through
// libavformat into a WAV (16-bit PCM), FLAC or Ogg Vorbis file.
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "capture/workfolders.h"
#include "cli/batch_files.h"
#include "cli/commands.h"
#include "cli/movie_job.h"
#include "cli/script_options.h"
#include "player/avlib/av_library.h"
#include "player/player.h"

namespace cli {

namespace {

// Seconds of audio mixed at a time: a long movie never holds all of its samples at once.
constexpr double kChunkSeconds = 60.0;
constexpr int kChannels = 2;

struct SoundOptions {
    std::string movie;
    std::string output;
    long frames = 0;
    long from = -1;
    long to = -1;
    ScriptOptions scripts;
    bool quiet = false;
};

// The container and codec an output's extension names.
struct OutputKind {
    const char* muxer;
    const char* encoder;
};

bool KindOf(const std::string& path, OutputKind* kind) {
    std::string ext = std::filesystem::path(path).extension().string();
    std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return std::tolower(c); });
    if (ext == ".wav") *kind = {"wav", "pcm_s16le"};
    else if (ext == ".flac") *kind = {"flac", "flac"};
    else if (ext == ".ogg") *kind = {"ogg", "libvorbis"};
    else return false;
    return true;
}

std::string AvError(const avlib::Functions& lib, int code) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    lib.av_strerror(code, text, sizeof text);
    return text;
}

int Fail(const std::string& what, const std::string& reason) {
    std::fprintf(stderr, "filmcast sound: %s: %s\n", what.c_str(), reason.c_str());
    return 1;
}

void Note(const std::string& movie, const std::string& note, bool quiet) {
    if (!quiet && !note.empty())
        std::fprintf(stderr, "filmcast: %s: %s\n", movie.c_str(), note.c_str());
}

// One audio file being written: libavformat's muxer over one encoded stream.
class AudioFile {
  public:
    ~AudioFile() {
        if (!lib_) return;  // FFmpeg never loaded: nothing was made
        lib_->av_frame_free(&frame_);
        lib_->av_packet_free(&packet_);
        lib_->avcodec_free_context(&encoder_);
        if (format_ && format_->pb) lib_->avio_closep(&format_->pb);
        lib_->avformat_free_context(format_);
    }

    bool Open(const std::string& path, const OutputKind& kind, std::string* error) {
        lib_ = avlib::Load(
            {avlib::Library::kAvUtil, avlib::Library::kAvCodec, avlib::Library::kAvFormat}, error);
        if (!lib_) return false;
        if (lib_->avformat_alloc_output_context2(&format_, nullptr, kind.muxer, path.c_str()) < 0 ||
            !format_)
            return Reason("cannot make a " + std::string(kind.muxer) + " file", error);
        const AVCodec* codec = lib_->avcodec_find_encoder_by_name(kind.encoder);
        if (!codec) return Reason(std::string("no ") + kind.encoder + " encoder", error);
        AVStream* stream = lib_->avformat_new_stream(format_, nullptr);
        encoder_ = lib_->avcodec_alloc_context3(codec);
        frame_ = lib_->av_frame_alloc();
        packet_ = lib_->av_packet_alloc();
        if (!stream || !encoder_ || !frame_ || !packet_) return Reason("out of memory", error);
        encoder_->sample_rate = player::Player::kAudioRate;
        lib_->av_channel_layout_default(&encoder_->ch_layout, kChannels);
        encoder_->sample_fmt = codec->sample_fmts ? codec->sample_fmts[0] : AV_SAMPLE_FMT_S16;
        encoder_->time_base = {1, player::Player::kAudioRate};
        if (format_->oformat->flags & AVFMT_GLOBALHEADER)
            encoder_->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
        int rc = lib_->avcodec_open2(encoder_, codec, nullptr);
        if (rc < 0) return Reason("cannot start the encoder: " + AvError(*lib_, rc), error);
        if ((rc = lib_->avcodec_parameters_from_context(stream->codecpar, encoder_)) < 0)
            return Reason(AvError(*lib_, rc), error);
        stream->time_base = encoder_->time_base;
        if ((rc = lib_->avio_open(&format_->pb, path.c_str(), AVIO_FLAG_WRITE)) < 0)
            return Reason("cannot write: " + AvError(*lib_, rc), error);
        if ((rc = lib_->avformat_write_header(format_, nullptr)) < 0)
            return Reason("cannot write: " + AvError(*lib_, rc), error);
        frameSize_ = encoder_->frame_size > 0 ? encoder_->frame_size : 4096;
        return true;
    }

    // Interleaved stereo float samples, already within [-1, 1].
    bool Write(const std::vector<float>& samples, std::string* error) {
        pending_.insert(pending_.end(), samples.begin(), samples.end());
        std::size_t at = 0;
        while (pending_.size() - at >= static_cast<std::size_t>(frameSize_) * kChannels) {
            if (!Encode(pending_.data() + at, frameSize_, error)) return false;
            at += static_cast<std::size_t>(frameSize_) * kChannels;
        }
        pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(at));
        return true;
    }

    bool Finish(std::string* error) {
        if (!pending_.empty() &&
            !Encode(pending_.data(), static_cast<int>(pending_.size() / kChannels), error))
            return false;
        pending_.clear();
        if (!Drain(nullptr, error)) return false;
        const int rc = lib_->av_write_trailer(format_);
        if (rc < 0) return Reason("cannot write: " + AvError(*lib_, rc), error);
        if ((format_->pb && format_->pb->error < 0) || lib_->avio_closep(&format_->pb) < 0)
            return Reason("cannot write the file", error);
        return true;
    }

  private:
    static bool Reason(const std::string& what, std::string* error) {
        *error = what;
        return false;
    }

    bool Encode(const float* samples, int count, std::string* error) {
        lib_->av_frame_unref(frame_);
        frame_->nb_samples = count;
        frame_->format = encoder_->sample_fmt;
        frame_->sample_rate = encoder_->sample_rate;
        lib_->av_channel_layout_copy(&frame_->ch_layout, &encoder_->ch_layout);
        if (lib_->av_frame_get_buffer(frame_, 0) < 0) return Reason("out of memory", error);
        for (int i = 0; i < count; ++i) {
            for (int c = 0; c < kChannels; ++c) {
                const float x = samples[i * kChannels + c];
                switch (encoder_->sample_fmt) {
                    case AV_SAMPLE_FMT_S16:
                        reinterpret_cast<std::int16_t*>(frame_->data[0])[i * kChannels + c] =
                            static_cast<std::int16_t>(
                                std::clamp(std::lrint(x * 32768.0f), -32768L, 32767L));
                        break;
                    case AV_SAMPLE_FMT_FLTP:
                        reinterpret_cast<float*>(frame_->data[c])[i] = x;
                        break;
                    default:
                        return Reason("the encoder wants an unexpected sample format", error);
                }
            }
        }
        frame_->pts = pts_;
        pts_ += count;
        return Drain(frame_, error);
    }

    // Sends a frame (or the end, for null) and writes every packet that comes out.
    bool Drain(AVFrame* frame, std::string* error) {
        int rc = lib_->avcodec_send_frame(encoder_, frame);
        if (rc < 0) return Reason("cannot encode: " + AvError(*lib_, rc), error);
        while ((rc = lib_->avcodec_receive_packet(encoder_, packet_)) == 0) {
            packet_->stream_index = 0;
            lib_->av_packet_rescale_ts(packet_, encoder_->time_base,
                                       format_->streams[0]->time_base);
            rc = lib_->av_interleaved_write_frame(format_, packet_);
            if (rc < 0) return Reason("cannot write: " + AvError(*lib_, rc), error);
        }
        if (rc != AVERROR(EAGAIN) && rc != AVERROR_EOF)
            return Reason("cannot encode: " + AvError(*lib_, rc), error);
        return true;
    }

    const avlib::Functions* lib_ = nullptr;  // libavutil, libavcodec and libavformat
    AVFormatContext* format_ = nullptr;
    AVCodecContext* encoder_ = nullptr;
    AVFrame* frame_ = nullptr;
    AVPacket* packet_ = nullptr;
    std::vector<float> pending_;
    std::int64_t pts_ = 0;
    int frameSize_ = 4096;
};

// The ticks to write: [first, last) of a forced walk through the root's frames, or of play as
// a player plays (loops and stops obeyed) with --frames.
struct TickRange {
    long first = 0;
    long last = 0;
    bool playback = false;
};

TickRange SelectTicks(const player::Player& movie, const SoundOptions& options,
                      std::string* note) {
    TickRange range;
    long total = options.frames;
    range.playback = total > 0;
    if (total == 0) {
        total = movie.TotalFrames();
        if (total == 1 && movie.LongestClipTimeline() > 1) {
            total = std::min<long>(movie.LongestClipTimeline(), kMaxAutoTicks);
            range.playback = true;
            *note = "the root timeline has one frame; writing " + std::to_string(total) +
                    " ticks of playback";
        }
    }
    range.first = std::clamp(options.from, 0L, std::max(total, 0L));
    const long lastFrame = options.to >= 0 ? std::min(options.to, total - 1) : total - 1;
    range.last = std::max(range.first, lastFrame + 1);
    return range;
}

int WriteSound(player::Player& movie, const TickRange& range, const OutputKind& kind,
               const std::string& temp, const std::string& output) {
    // The ticks are played first: the sound log then holds the whole range.
    if (range.playback) {
        movie.PlayTicksFromStart(static_cast<int>(std::max(range.last - 1, 0L)));
    } else {
        movie.Rewind();
        for (long t = 1; t < range.last; ++t) movie.Tick(true, false);
    }
    AudioFile file;
    std::string error;
    if (!file.Open(temp, kind, &error)) return Fail(output, error);
    const double fps = movie.Stage().frameRate > 0 ? movie.Stage().frameRate : 12.0;
    const long chunk = std::max(1L, static_cast<long>(kChunkSeconds * fps));
    for (long t = range.first; t < range.last; t += chunk) {
        const long end = std::min(range.last, t + chunk);
        if (!file.Write(movie.MixAudio(static_cast<int>(t), static_cast<int>(end)), &error))
            return Fail(output, error);
    }
    if (!file.Finish(&error)) return Fail(output, error);
    if (std::rename(temp.c_str(), output.c_str()) != 0)
        return Fail(output, "cannot write " + output + ": " + std::strerror(errno));
    return 0;
}

int RunSound(const SoundOptions& options) {
    OutputKind kind{};
    if (!KindOf(options.output, &kind)) {
        std::fprintf(stderr, "filmcast sound: %s: the output must end in .wav, .flac or .ogg\n",
                     options.output.c_str());
        return 2;
    }
    std::string error;
    auto movie = player::Player::LoadFile(options.movie, &error);
    if (!movie) return Fail(options.movie, error);
    movie->SetScripting(options.scripts.Settings());
    Note(options.movie, EndedEarlyNote(movie->Stage()), options.quiet);
    if (!movie->HasSound()) Note(options.movie, "the movie has no sound; writing silence", options.quiet);
    std::string note;
    const TickRange range = SelectTicks(*movie, options, &note);
    Note(options.movie, note, options.quiet);
    if (range.first >= range.last) return Fail(options.movie, "no frames in the range asked for");

    const std::string parent = std::filesystem::path(options.output).parent_path().string();
    if (!parent.empty() && !capture::EnsureFolder(parent + "/"))
        return Fail(options.output, "cannot create " + parent);
    RemoveStaleTemporarySiblings(options.output);
    // Written under a temporary name and renamed once complete: an interrupt, a full disk or a
    // failed encoding never leaves a partial file nor removes an older one.
    Reservation temp = ReserveTemporarySibling(options.output, &error);
    if (!temp.Valid()) return Fail(options.output, error);
    RemoveOnInterrupt(temp.Path());
    const std::size_t known = movie->Problems().size();
    const int status = WriteSound(*movie, range, kind, temp.Path(), options.output);
    RemoveOnInterrupt("");
    temp.Remove();
    const auto& problems = movie->Problems();
    for (std::size_t i = known; i < problems.size(); ++i)
        Note(options.movie, problems[i], options.quiet);
    return status;
}

}  // namespace

void AddSoundCommand(CLI::App& app, RunState& state) {
    auto options = std::make_shared<SoundOptions>();
    CLI::App* cmd = app.add_subcommand(
        "sound", "Write a movie's audio (44.1 kHz stereo) to a .wav, .flac or .ogg file");
    cmd->add_option("movie", options->movie, "Flash movie (.swf)")->required();
    cmd->add_option("-o,--output", options->output,
                    "audio file to write; its extension picks the format")
        ->required();
    cmd->add_option("--frames", options->frames, "take N ticks of playback as a player plays them")
        ->check(CLI::Range(1L, 10000000L));
    cmd->add_option("--from", options->from, "first frame to take (0-based)")
        ->check(CLI::Range(0L, 10000000L));
    cmd->add_option("--to", options->to, "last frame to take (0-based)")
        ->check(CLI::Range(0L, 10000000L));
    AddScriptOptions(cmd, &options->scripts);
    cmd->add_flag("-q,--quiet", options->quiet, "no notes");
    cmd->callback([options, &state] { state.status = RunSound(*options); });
}

}  // namespace cli
