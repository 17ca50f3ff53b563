// FFmpeg's loader: the libraries of the versions compiled against load with every function
// bound, a library or a function that is missing is a clear reason and never a crash, and
// loading is once per library however many threads ask. This binary links no FFmpeg library.
#include "player/avlib/av_library.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <thread>
#include <vector>

namespace {

using avlib::Library;

constexpr Library kAll[] = {Library::kAvUtil, Library::kAvCodec, Library::kAvFormat,
                            Library::kSwResample, Library::kSwScale};

// Whether a library whose file name starts with `prefix` is mapped into this process.
bool IsMapped(const std::string& prefix) {
    std::ifstream maps("/proc/self/maps");
    std::string line;
    while (std::getline(maps, line))
        if (line.find("/" + prefix) != std::string::npos) return true;
    return false;
}

// Every pointer of the table set: none of the listed names is missing from its library.
bool AllBound(const avlib::Functions& table) {
    bool all = true;
#define FILMCAST_TEST_BOUND(name) all = all && table.name != nullptr;
    FILMCAST_AVUTIL_FUNCTIONS(FILMCAST_TEST_BOUND)
    FILMCAST_AVCODEC_FUNCTIONS(FILMCAST_TEST_BOUND)
    FILMCAST_AVFORMAT_FUNCTIONS(FILMCAST_TEST_BOUND)
    FILMCAST_SWRESAMPLE_FUNCTIONS(FILMCAST_TEST_BOUND)
    FILMCAST_SWSCALE_FUNCTIONS(FILMCAST_TEST_BOUND)
#undef FILMCAST_TEST_BOUND
    return all;
}

avlib::Sonames WithSoname(Library library, const std::string& soname) {
    avlib::Sonames names = avlib::CompiledSonames();
    names[static_cast<std::size_t>(library)] = soname;
    return names;
}

TEST(AvLibrary, NothingIsLoadedBeforeItIsAskedFor) {
    // Runs first in this binary: no test before it has asked the shared loader for anything.
    for (const Library library : kAll) EXPECT_FALSE(avlib::SharedLoader().IsLoaded(library));
    EXPECT_FALSE(IsMapped("libavcodec.so"));
    EXPECT_FALSE(IsMapped("libavformat.so"));
}

TEST(AvLibrary, CompiledSonamesNameEachLibraryWithItsMajorVersion) {
    const avlib::Sonames names = avlib::CompiledSonames();
    for (const Library library : kAll) {
        const std::string& name = names[static_cast<std::size_t>(library)];
        const std::string stem = std::string(avlib::LibraryName(library)) + ".so.";
        EXPECT_EQ(name.rfind(stem, 0), 0u) << name;
        ASSERT_GT(name.size(), stem.size()) << name;
        EXPECT_EQ(name.find_first_not_of("0123456789", stem.size()), std::string::npos) << name;
    }
}

TEST(AvLibrary, EveryLibraryLoadsWithEveryFunctionBound) {
    std::string reason;
    const avlib::Functions* table =
        avlib::Load({Library::kAvUtil, Library::kAvCodec, Library::kAvFormat, Library::kSwResample,
                     Library::kSwScale},
                    &reason);
    ASSERT_NE(table, nullptr) << reason;
    EXPECT_TRUE(AllBound(*table));
    for (const Library library : kAll) EXPECT_TRUE(avlib::SharedLoader().IsLoaded(library));
    EXPECT_TRUE(IsMapped("libavcodec.so"));
    // The bound functions are the library's own: a decoder FFmpeg always has is found.
    EXPECT_NE(table->avcodec_find_decoder(AV_CODEC_ID_FLV1), nullptr);
    EXPECT_STREQ(table->avcodec_get_name(AV_CODEC_ID_VP6F), "vp6f");
}

TEST(AvLibrary, OnlyTheLibrariesAskedForAreLoaded) {
    avlib::Loader loader(avlib::CompiledSonames());
    std::string reason;
    const avlib::Functions* table = loader.Load({Library::kAvUtil}, &reason);
    ASSERT_NE(table, nullptr) << reason;
    EXPECT_NE(table->av_frame_alloc, nullptr);
    EXPECT_EQ(table->avcodec_open2, nullptr);
    EXPECT_EQ(table->sws_scale, nullptr);
    EXPECT_TRUE(loader.IsLoaded(Library::kAvUtil));
    EXPECT_FALSE(loader.IsLoaded(Library::kAvCodec));
    EXPECT_FALSE(loader.IsLoaded(Library::kSwScale));
}

struct MissingCase {
    const char* name;
    Library library;
    std::string soname;
    std::string reasonStart;  // what the reason begins with
    std::string reasonHas;    // and what the system says about it
};

class AvLibraryMissing : public ::testing::TestWithParam<MissingCase> {};

TEST_P(AvLibraryMissing, IsAReasonNamingTheLibraryAndStaysFailed) {
    const MissingCase& c = GetParam();
    avlib::Loader loader(WithSoname(c.library, c.soname));
    for (int attempt = 0; attempt < 2; ++attempt) {
        std::string reason;
        EXPECT_EQ(loader.Load({Library::kAvUtil, c.library}, &reason), nullptr);
        EXPECT_EQ(reason.rfind(c.reasonStart, 0), 0u) << reason;
        EXPECT_NE(reason.find(c.reasonHas), std::string::npos) << reason;
        EXPECT_FALSE(loader.IsLoaded(c.library));
    }
    // The libraries that did load still serve.
    std::string reason;
    EXPECT_NE(loader.Load({Library::kAvUtil}, &reason), nullptr) << reason;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, AvLibraryMissing,
    ::testing::Values(
        MissingCase{"NoSuchFile", Library::kAvCodec, "libavcodec.so.999",
                    "cannot load libavcodec.so.999: ", "cannot open shared object file"},
        MissingCase{"NoSuchPath", Library::kSwScale, "/nonexistent/libswscale.so.6",
                    "cannot load /nonexistent/libswscale.so.6: ", "No such file"},
        // A library that loads but lacks the functions: the first one looked up is named.
        MissingCase{"LacksAFunction", Library::kAvFormat, "libz.so.1",
                    "cannot load av_interleaved_write_frame from libz.so.1: ", "undefined symbol"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(AvLibrary, ALibraryLackingAFunctionLeavesItsPointersUnset) {
    avlib::Loader loader(WithSoname(Library::kSwResample, "libz.so.1"));
    std::string reason;
    EXPECT_EQ(loader.Load({Library::kSwResample}, &reason), nullptr);
    const avlib::Functions* table = loader.Load({Library::kAvUtil}, &reason);
    ASSERT_NE(table, nullptr) << reason;
    EXPECT_EQ(table->swr_alloc_set_opts2, nullptr);
    EXPECT_EQ(table->swr_convert, nullptr);
}

TEST(AvLibrary, ThreadsAskingAtOnceShareOneLoad) {
    avlib::Loader loader(avlib::CompiledSonames());
    constexpr int kThreads = 8;
    std::vector<const avlib::Functions*> tables(kThreads);
    std::vector<std::thread> threads;
    for (int i = 0; i < kThreads; ++i) {
        threads.emplace_back([&, i] {
            std::string reason;
            // Half ask for the codec first, half for the resampler first.
            tables[i] = i % 2 ? loader.Load({Library::kAvCodec, Library::kSwResample}, &reason)
                              : loader.Load({Library::kSwResample, Library::kAvCodec}, &reason);
        });
    }
    for (auto& thread : threads) thread.join();
    for (const avlib::Functions* table : tables) {
        ASSERT_NE(table, nullptr);
        EXPECT_EQ(table, tables[0]);
        EXPECT_NE(table->avcodec_send_packet, nullptr);
        EXPECT_NE(table->swr_convert, nullptr);
    }
}

}  // namespace
