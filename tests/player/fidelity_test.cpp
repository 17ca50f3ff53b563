// Runs the shared fidelity scorer on the corpus tests this engine's features cover and fails
// when one stops matching the reference picture visually. Skips without ../shared (a fresh
// clone); CI has it.
#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <string>

namespace {

namespace fs = std::filesystem;

const fs::path kShared = FILMCAST_SHARED_DIR;
const fs::path kScorer = kShared / "tools" / "fidelity.py";
const fs::path kCorpus = kShared / "corpus" / "visual";
const fs::path kFilmcast = fs::path(FILMCAST_BINARY_DIR) / "filmcast";
// Draws each test at the quality its manifest entry names.
const fs::path kRenderer = fs::path(FILMCAST_SOURCE_DIR) / "tools" / "frame_at_quality.py";

// Runs a command and returns what it printed on stdout.
std::string Capture(const std::string& command) {
    std::string out;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return out;
    std::array<char, 4096> chunk;
    while (std::size_t n = std::fread(chunk.data(), 1, chunk.size(), pipe))
        out.append(chunk.data(), n);
    pclose(pipe);
    return out;
}

std::string Quote(const std::string& s) {
    return "'" + s + "'";
}

class Fidelity : public ::testing::TestWithParam<const char*> {};

TEST_P(Fidelity, MatchesTheReferenceVisually) {
    const std::string name = GetParam();
    if (!fs::exists(kScorer) || !fs::exists(kCorpus / name)) GTEST_SKIP() << "no shared corpus";
    ASSERT_TRUE(fs::exists(kFilmcast)) << kFilmcast;
    const std::string python = fs::exists("/usr/bin/python3") ? "/usr/bin/python3" : "python3";
    const std::string renderer = python + " " + kRenderer.string() + " " + kFilmcast.string() +
                                 " {swf} {frame} {width}x{height} {out}";
    const std::string out =
        Capture(python + " " + Quote(kScorer.string()) + " --only " + name + " " + Quote(renderer) +
                " " + Quote(kCorpus.string()) + " 2>&1");
    // One line per test: "PASS|FAIL  name [...] image@frame: ..., visual match|differs".
    std::string line;
    for (std::size_t at = 0; at < out.size();) {
        const std::size_t end = out.find('\n', at);
        const std::string candidate = out.substr(at, end == std::string::npos ? end : end - at);
        if (candidate.find("  " + name + " ") != std::string::npos) line = candidate;
        if (end == std::string::npos) break;
        at = end + 1;
    }
    ASSERT_FALSE(line.empty()) << out;
    EXPECT_NE(line.find("visual match"), std::string::npos) << line;
    EXPECT_EQ(line.find("visual differs"), std::string::npos) << line;
}

INSTANTIATE_TEST_SUITE_P(
    Corpus, Fidelity,
    ::testing::Values("color_transform_issue_9698", "gradient_issue_9892", "gradient_same_ratios",
                      "simple_shapes__gradients__focal_radial", "simple_shapes__gradients__radial",
                      "simple_shapes__heavy_tesselation", "simple_shapes__layers",
                      "simple_shapes__masks_equal_clipdepth",
                      "cache_as_bitmap__nested_color_transform", "blend_modes__lighten",
                      "blend_modes__overlay", "cache_as_bitmap__avm2_button_state",
                      "filters__drop_shadow_scales_with_screen", "video__colorconversion__h263",
                      "video__vp6_dispsize", "blend_modes__alpha_no_layer",
                      "blend_modes__erase_no_layer", "blend_modes__multiply",
                      "blend_modes__subtract", "cache_as_bitmap__avm2_button",
                      "filters__bevel_full", "filters__bevel_inner",
                      // text fields: border and background on whole pixels
                      "edittext__edittext_caret_empty", "edittext__edittext_border_filters"));

// Movies whose picture their ActionScript makes: clips moved and tinted, drawing-API shapes,
// text fields coloured by script.
INSTANTIATE_TEST_SUITE_P(
    Scripted, Fidelity,
    ::testing::Values("cache_as_bitmap__color_transform", "cache_as_bitmap__drawing_api",
                      "cache_as_bitmap__nested_rotation", "drawing_api__fills_and_lines",
                      "edittext__edittext_background_basic", "edittext__edittext_border_basic",
                      "cache_as_bitmap__scroll_rect", "opaque_background",
                      "simple_shapes__scroll_rect_mask"));

}  // namespace
