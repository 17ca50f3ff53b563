// Test helpers that write JPEG, PNG and GIF data through the libraries' encoders, so decoder
// tests compare against an independent writer.
#pragma once

#include <cstdint>
#include <vector>

namespace media::testing {

// Straight RGB(A) pixels, row-major, top row first.
struct RgbaPixels {
    int width = 0;
    int height = 0;
    std::vector<std::uint32_t> argb;  // straight ARGB
};

std::vector<std::uint8_t> EncodeJpeg(const RgbaPixels& pixels, int quality = 95);
std::vector<std::uint8_t> EncodePng(const RgbaPixels& pixels);
// Palette GIF of the pixels' colours (at most 255 distinct); pixels with alpha 0 become the
// transparent index.
std::vector<std::uint8_t> EncodeGif(const RgbaPixels& pixels);
std::vector<std::uint8_t> Deflate(const std::vector<std::uint8_t>& bytes);

// Splits a complete JPEG into a tables-only stream (SOI, DQT, DHT, EOI) and an image stream
// without those tables, as DefineBits and JPEGTables store them.
void SplitJpegTables(const std::vector<std::uint8_t>& jpeg, std::vector<std::uint8_t>& tables,
                     std::vector<std::uint8_t>& image);

}  // namespace media::testing
