// `filmcast frame`: the picture after N ticks as a PNG of the asked size, and its failures.
#include <cairo.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <set>
#include <string>

#include "tests/support/swf_writer.h"

namespace {

namespace fs = std::filesystem;

const std::string kFilmcast = std::string(FILMCAST_BINARY_DIR) + "/filmcast";

int RunFilmcast(const std::string& args) {
    const int status = std::system((kFilmcast + " frame " + args + " 2>/dev/null").c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

class FrameCommand : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() / ("frame_cmd_" + std::to_string(getpid()));
        fs::create_directories(dir_);
        // A red square that moves 20 px right per frame on a 100 x 50 white stage; frame 2
        // stops the root, so ticks past it show frame 2.
        swfw::Movie m;
        m.Size(100, 50).Background(swfw::Rgb(255, 255, 255));
        swfw::Shape s(1);
        s.Fill(s.AddFill(swfw::FillStyle::Solid(swfw::Rgb(255, 0, 0)))).Rectangle(0, 0, 200, 200);
        m.Define(s).Place(swfw::PlaceObject::New(1, 1)).ShowFrame();
        m.Place(swfw::PlaceObject::Move(1).At(400, 0)).ShowFrame();
        m.Place(swfw::PlaceObject::Move(1).At(800, 0)).Do(swfw::Actions().Stop()).ShowFrame();
        m.ShowFrame();
        movie_ = (dir_ / "m.swf").string();
        ASSERT_TRUE(m.Save(movie_));
    }
    void TearDown() override { fs::remove_all(dir_); }

    fs::path dir_;
    std::string movie_;
};

// Reads the PNG's pixel (x, y) as 0xAARRGGBB, or 0 when it cannot be read.
std::uint32_t PixelOf(const std::string& png, int x, int y, int* width, int* height) {
    cairo_surface_t* s = cairo_image_surface_create_from_png(png.c_str());
    std::uint32_t v = 0;
    if (cairo_surface_status(s) == CAIRO_STATUS_SUCCESS) {
        *width = cairo_image_surface_get_width(s);
        *height = cairo_image_surface_get_height(s);
        const auto* row = cairo_image_surface_get_data(s) + y * cairo_image_surface_get_stride(s);
        v = reinterpret_cast<const std::uint32_t*>(row)[x];
    }
    cairo_surface_destroy(s);
    return v;
}

TEST_F(FrameCommand, RendersTheFrameAfterNTicksAtTheStageSize) {
    const std::string out = (dir_ / "a.png").string();
    ASSERT_EQ(RunFilmcast(movie_ + " --at 1 -o " + out), 0);
    int w = 0, h = 0;
    EXPECT_EQ(PixelOf(out, 25, 5, &w, &h), 0xFFFF0000u);
    EXPECT_EQ(w, 100);
    EXPECT_EQ(h, 50);
    EXPECT_EQ(PixelOf(out, 5, 5, &w, &h), 0xFFFFFFFFu);
}

TEST_F(FrameCommand, TicksPastAStopShowTheStoppedFrameAtTheAskedSize) {
    const std::string out = (dir_ / "b.png").string();
    ASSERT_EQ(RunFilmcast(movie_ + " --at 7 --size 200x100 -o " + out), 0);
    int w = 0, h = 0;
    EXPECT_EQ(PixelOf(out, 90, 10, &w, &h), 0xFFFF0000u);  // stage (45, 5) at scale 2
    EXPECT_EQ(w, 200);
    EXPECT_EQ(h, 100);
}

TEST_F(FrameCommand, FailuresExitNonZero) {
    const std::string out = (dir_ / "c.png").string();
    EXPECT_EQ(RunFilmcast((dir_ / "missing.swf").string() + " -o " + out), 1);
    EXPECT_EQ(RunFilmcast(movie_ + " --size 0x10 -o " + out), 2);
    EXPECT_EQ(RunFilmcast(movie_ + " --size wide -o " + out), 2);
    // A folder that cannot be made (its parent is a file); a missing one is made.
    EXPECT_EQ(RunFilmcast(movie_ + " -o " + movie_ + "/dir.png"), 1);
    EXPECT_FALSE(fs::exists(out));
}

// The distinct pixel values of a PNG; empty when it cannot be read.
std::set<std::uint32_t> ColoursOf(const std::string& png) {
    std::set<std::uint32_t> colours;
    cairo_surface_t* s = cairo_image_surface_create_from_png(png.c_str());
    if (cairo_surface_status(s) == CAIRO_STATUS_SUCCESS) {
        const int stride = cairo_image_surface_get_stride(s);
        for (int y = 0; y < cairo_image_surface_get_height(s); ++y) {
            const auto* row = reinterpret_cast<const std::uint32_t*>(
                cairo_image_surface_get_data(s) + y * stride);
            colours.insert(row, row + cairo_image_surface_get_width(s));
        }
    }
    cairo_surface_destroy(s);
    return colours;
}

TEST_F(FrameCommand, LowQualityDrawsCrispEdges) {
    // A red circle: its edge crosses pixels at every slope.
    swfw::Movie m;
    m.Size(40, 40).Background(swfw::Rgb(255, 255, 255));
    swfw::Shape s(1);
    s.Fill(s.AddFill(swfw::FillStyle::Solid(swfw::Rgb(255, 0, 0)))).Circle(400, 400, 300);
    m.Define(s).Place(swfw::PlaceObject::New(1, 1)).ShowFrame();
    const std::string movie = (dir_ / "circle.swf").string();
    ASSERT_TRUE(m.Save(movie));
    const std::string low = (dir_ / "low.png").string(), high = (dir_ / "high.png").string();
    ASSERT_EQ(RunFilmcast(movie + " --quality low --size 80x80 -o " + low), 0);
    ASSERT_EQ(RunFilmcast(movie + " --size 80x80 -o " + high), 0);
    EXPECT_EQ(ColoursOf(low), (std::set<std::uint32_t>{0xFFFF0000u, 0xFFFFFFFFu}));
    EXPECT_GT(ColoursOf(high).size(), 2u);
}

}  // namespace
