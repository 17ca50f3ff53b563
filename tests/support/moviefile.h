// Writes the smallest movie a header reader accepts: a plain header with the given frame
// size, whole frame rate and frame count, then empty frames. Bytes laid out by hand.
#pragma once

#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

inline std::vector<std::uint8_t> MakeMovieBytes(int widthPx, int heightPx, int fps, int frames) {
    // Frame rectangle: 5-bit field size 16, then Xmin, Xmax, Ymin, Ymax in twips, MSB first.
    std::vector<std::uint8_t> rect;
    std::uint64_t acc = 0;
    int bits = 0;
    auto put = [&](std::uint32_t value, int n) {
        for (int i = n - 1; i >= 0; --i) {
            acc = acc << 1 | ((value >> i) & 1);
            if (++bits == 8) {
                rect.push_back(static_cast<std::uint8_t>(acc));
                acc = 0;
                bits = 0;
            }
        }
    };
    put(16, 5);
    for (int v : {0, widthPx * 20, 0, heightPx * 20})
        put(static_cast<std::uint32_t>(v) & 0xFFFF, 16);
    if (bits) put(0, 8 - bits);

    std::vector<std::uint8_t> body = rect;
    body.push_back(0);                                  // frame rate, fraction
    body.push_back(static_cast<std::uint8_t>(fps));     // frame rate, whole
    body.push_back(static_cast<std::uint8_t>(frames));  // frame count, low byte
    body.push_back(static_cast<std::uint8_t>(frames >> 8));
    for (int i = 0; i < frames; ++i) body.insert(body.end(), {0x40, 0x00});  // ShowFrame
    body.insert(body.end(), {0x00, 0x00});                                   // End

    const std::uint32_t length = static_cast<std::uint32_t>(8 + body.size());
    std::vector<std::uint8_t> file{'F',
                                   'W',
                                   'S',
                                   10,
                                   static_cast<std::uint8_t>(length),
                                   static_cast<std::uint8_t>(length >> 8),
                                   static_cast<std::uint8_t>(length >> 16),
                                   static_cast<std::uint8_t>(length >> 24)};
    file.insert(file.end(), body.begin(), body.end());
    return file;
}

inline void WriteMovie(const std::string& path, int widthPx, int heightPx, int fps, int frames) {
    const std::vector<std::uint8_t> bytes = MakeMovieBytes(widthPx, heightPx, fps, frames);
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
}
