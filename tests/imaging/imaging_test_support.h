// Helpers shared by the toolkit's tests: patterned images, a scratch folder, file bytes and
// pixel values read back as straight ARGB.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "imaging/pixelimage.h"

// An image of the depth whose bytes all differ from row to row and column to column; indexed
// images get a colourful palette.
inline CPixelImage PatternImage(int width, int height, int bpp) {
    CPixelImage image;
    EXPECT_TRUE(image.CreateBlank(width, height, bpp));
    for (int y = 0; y < height; ++y)
        for (int i = 0; i < image.GetStride(); ++i)
            image.GetRow(y)[i] = BYTE(i * 37 + y * 101 + 11);
    if (bpp <= 8) {
        for (int i = 0; i < (1 << bpp); ++i) {
            const RGBQUAD e{BYTE(i * 7 + 3), BYTE(255 - i), BYTE(i * 13), 0};
            image.SetPaletteEntries(i, 1, &e);
        }
    }
    if (bpp == 32)
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x) image.GetPixelAddress(x, y)[3] = 255;
    return image;
}

// The pixel at (x, y) as straight 0xAARRGGBB, expanding 16-bit channels as FreeImage does.
inline std::uint32_t ArgbAt(const CPixelImage& image, int x, int y) {
    const BYTE* p = image.GetPixelAddress(x, y);
    const int bpp = image.GetBitsPerPixel();
    if (bpp <= 8) {
        const int shift = 8 - bpp - (x * bpp) % 8;
        const int index = (p[0] >> shift) & ((1 << bpp) - 1);
        RGBQUAD e;
        image.GetPaletteEntries(index, 1, &e);
        return 0xFF000000u | std::uint32_t(e.rgbRed) << 16 | std::uint32_t(e.rgbGreen) << 8 |
               e.rgbBlue;
    }
    if (bpp == 16) {
        const std::uint32_t v = p[0] | p[1] << 8;
        auto channel = [v](std::uint32_t mask) {
            int shift = 0;
            while (!((mask >> shift) & 1)) ++shift;
            const std::uint32_t max = mask >> shift;
            return ((v & mask) >> shift) * 0xFF / max;
        };
        return 0xFF000000u | channel(image.GetRedMask()) << 16 |
               channel(image.GetGreenMask()) << 8 | channel(image.GetBlueMask());
    }
    const std::uint32_t alpha = bpp == 32 ? p[3] : 0xFF;
    return alpha << 24 | std::uint32_t(p[2]) << 16 | std::uint32_t(p[1]) << 8 | p[0];
}

// A fresh folder under the system's temporary folder, removed with the fixture.
class ScratchFolder : public ::testing::Test {
  protected:
    void SetUp() override {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        std::string name = std::string(info->test_suite_name()) + "_" + info->name();
        for (char& c : name)
            if (c == '/') c = '_';
        folder_ = std::filesystem::temp_directory_path() / ("filmcast_imaging_" + name);
        std::filesystem::remove_all(folder_);
        std::filesystem::create_directories(folder_);
    }
    void TearDown() override { std::filesystem::remove_all(folder_); }
    std::string PathOf(const std::string& name) const { return (folder_ / name).string(); }

    std::filesystem::path folder_;
};

inline std::vector<BYTE> ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void WriteBytes(const std::string& path, const std::vector<BYTE>& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}
