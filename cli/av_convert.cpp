#include "cli/av_convert.h"

#include <algorithm>
#include <cmath>
#include <new>
#include <numeric>

#include "cli/encode_queue.h"
#include "cli/gif_timing.h"
#include "player/limits.h"

namespace cli::av {

namespace {

// Pictures drawn ahead of the encoder at most.
constexpr std::size_t kMaxQueuedPictures = 3;
// Slack for products of rates that should land on whole frames.
constexpr double kEpsilon = 1e-9;

struct Item {
    std::vector<std::uint32_t> pixels;
    std::vector<float> sound;
};

// A premultiplied surface as straight-alpha pixels (transparent pixels all zero).
void Unpremultiplied(const CSurface& surface, std::vector<std::uint32_t>* pixels) {
    const int width = surface.Width(), height = surface.Height();
    pixels->resize(std::size_t(width) * height);
    for (int y = 0; y < height; ++y) {
        const std::uint32_t* row = surface.Row(y);
        std::uint32_t* out = pixels->data() + std::size_t(y) * width;
        for (int x = 0; x < width; ++x) {
            const std::uint32_t pixel = row[x], a = pixel >> 24;
            if (a == 255 || a == 0) {
                out[x] = a == 0 ? 0 : pixel;
                continue;
            }
            const auto straight = [a](std::uint32_t c) {
                return std::min<std::uint32_t>(255, (c * 255 + a / 2) / a);
            };
            out[x] = (a << 24) | (straight((pixel >> 16) & 0xFF) << 16) |
                     (straight((pixel >> 8) & 0xFF) << 8) | straight(pixel & 0xFF);
        }
    }
}

bool Write(capture::FrameSource& source, const gif::MovieClock& movie, int width, int height,
           const VideoOptions& options, const SoundSource& sound, const std::string& path,
           const gif::Progress& progress, std::string* error) {
    const long total = source.TotalFrames();
    if (total <= 0) {
        *error = "the movie has no frames";
        return false;
    }
    const double movieRate = gif::PlayedFrameRate(movie.frameRate);
    const Rate rate = OutputRate(options.fps, movie.frameRate);
    const double outputRate = double(rate.num) / rate.den;
    const double pictureCount = std::round(total / movieRate * outputRate);
    if (pictureCount > player::Limits{}.maxVideoPictures) {
        *error = "the output would hold " + std::to_string(std::llround(pictureCount)) +
                 " pictures, more than the cap of " +
                 std::to_string(player::Limits{}.maxVideoPictures);
        return false;
    }
    const std::vector<long> shown = ConstantRateFrames(total, movieRate, outputRate);
    CSurface surface(width, height);
    if (!surface.IsValid()) {
        *error = "cannot draw at " + std::to_string(width) + "x" + std::to_string(height);
        return false;
    }
    const bool alpha = options.transparent && KeepsAlpha(options.format);
    const std::uint32_t matte = options.matte.value_or(movie.stageColor) & 0xFFFFFF;

    WriterSettings settings;
    settings.format = options.format;
    settings.width = width;
    settings.height = height;
    settings.rate = rate;
    settings.crf = options.crf;
    settings.alpha = alpha;
    settings.sound = options.sound && sound != nullptr && CarriesSound(options.format);
    settings.plays = options.plays;
    AvWriter writer;
    if (!writer.Open(path, settings)) {
        *error = writer.Error();
        return false;
    }
    EncodeQueue<Item> encoder(kMaxQueuedPictures, [&writer, width](Item& item) {
        return writer.WritePicture(item.pixels.data(), width) &&
               writer.WriteSound(item.sound.data(), item.sound.size() / 2);
    });
    source.Rewind();
    long at = 0;     // the source frame shown
    long mixed = 0;  // source frames whose sound is taken
    const auto moveTo = [&](long frame) {
        while (at < frame) source.GotoFrame(++at);
    };
    const long pictures = static_cast<long>(shown.size());
    for (long i = 0; i < pictures; ++i) {
        moveTo(shown[i]);
        Item item;
        if (!source.Draw(surface)) {
            encoder.Stop();
            *error = "the player drew nothing at frame " + std::to_string(shown[i]);
            return false;
        }
        if (alpha) Unpremultiplied(surface, &item.pixels);
        else gif::FrameFromSurface(surface, false, matte, &item.pixels);
        if (settings.sound) {
            // The last picture takes the sound of every frame to the movie's end.
            const long through = i + 1 == pictures ? total : shown[i] + 1;
            moveTo(through - 1);
            if (through > mixed) item.sound = sound(mixed, through);
            mixed = std::max(mixed, through);
        }
        if (!encoder.Push(std::move(item))) break;
        if (!progress(i + 1, pictures)) {
            encoder.Stop();
            *error = "interrupted";
            return false;
        }
    }
    if (!encoder.Stop() || !writer.Close()) {
        *error = encoder.OutOfMemory() ? "out of memory encoding " + path
                 : writer.Error().empty() ? "cannot encode " + path
                                          : writer.Error();
        return false;
    }
    return true;
}

}  // namespace

std::vector<long> ConstantRateFrames(long sourceFrames, double movieRate, double outputRate) {
    if (sourceFrames <= 0 || !(movieRate > 0) || !(outputRate > 0)) return {};
    const double seconds = sourceFrames / movieRate;
    const long count = std::max(1L, std::lround(seconds * outputRate));
    std::vector<long> frames(static_cast<std::size_t>(count));
    for (long n = 0; n < count; ++n) {
        const double frame = std::floor(n * movieRate / outputRate + kEpsilon);
        frames[static_cast<std::size_t>(n)] =
            std::min(sourceFrames - 1, static_cast<long>(frame));
    }
    return frames;
}

Rate OutputRate(double askedRate, double movieRate) {
    const double rate = askedRate > 0 ? askedRate : gif::PlayedFrameRate(movieRate);
    const long num = std::max(1L, std::lround(rate * 256)), den = 256;
    const long divisor = std::gcd(num, den);
    return {static_cast<int>(num / divisor), static_cast<int>(den / divisor)};
}

bool WriteVideo(capture::FrameSource& source, const gif::MovieClock& movie, int width,
                int height, const VideoOptions& options, const SoundSource& sound,
                const std::string& path, const gif::Progress& progress, std::string* error) {
    try {
        return Write(source, movie, width, height, options, sound, path, progress, error);
    } catch (const std::bad_alloc&) {
        *error = "out of memory encoding " + path;
        return false;
    }
}

}  // namespace cli::av
