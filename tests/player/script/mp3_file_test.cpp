// Reading an MP3 file a script loads: ID3 tags of each version and text encoding, the play
// time of its frames, and files cut short or lying about their lengths.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "player/script/mp3_file.h"

namespace {

using player::script::Id3Field;
using player::script::Mp3DurationMs;
using player::script::ReadId3;
using Bytes = std::vector<std::uint8_t>;

void Append(Bytes& out, const std::string& text) { out.insert(out.end(), text.begin(), text.end()); }

void AppendBigEndian(Bytes& out, std::uint32_t v, int bytes) {
    for (int i = bytes - 1; i >= 0; --i) out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

void AppendSyncSafe(Bytes& out, std::uint32_t v) {
    for (int i = 3; i >= 0; --i) out.push_back(static_cast<std::uint8_t>((v >> (7 * i)) & 0x7F));
}

// A version 2.3 or 2.4 frame.
Bytes Frame(int version, const std::string& id, const Bytes& body) {
    Bytes out;
    Append(out, id);
    if (version == 4) {
        AppendSyncSafe(out, static_cast<std::uint32_t>(body.size()));
    } else {
        AppendBigEndian(out, static_cast<std::uint32_t>(body.size()), 4);
    }
    out.insert(out.end(), {0, 0});
    out.insert(out.end(), body.begin(), body.end());
    return out;
}

Bytes Text(std::uint8_t encoding, const Bytes& text) {
    Bytes out{encoding};
    out.insert(out.end(), text.begin(), text.end());
    return out;
}

Bytes Latin1(const std::string& s) { return Bytes(s.begin(), s.end()); }

Bytes Tag(int version, const std::vector<Bytes>& frames, std::uint32_t padding = 0) {
    Bytes body;
    for (const Bytes& f : frames) body.insert(body.end(), f.begin(), f.end());
    body.resize(body.size() + padding);
    Bytes out;
    Append(out, "ID3");
    out.insert(out.end(), {static_cast<std::uint8_t>(version), 0, 0});
    AppendSyncSafe(out, static_cast<std::uint32_t>(body.size()));
    out.insert(out.end(), body.begin(), body.end());
    return out;
}

// MPEG-1 layer III frames at 128 kbit/s and 44.1 kHz: 417 bytes, 1152 samples each.
Bytes Mp3Frames(int count) {
    Bytes out;
    for (int i = 0; i < count; ++i) {
        const std::size_t start = out.size();
        out.insert(out.end(), {0xFF, 0xFB, 0x90, 0x00});
        out.resize(start + 417, 0x55);
    }
    return out;
}

std::vector<std::string> Flatten(const std::vector<Id3Field>& fields) {
    std::vector<std::string> out;
    for (const Id3Field& f : fields) out.push_back(f.id + "=" + f.text);
    return out;
}

TEST(Id3, TextFramesInEachEncoding) {
    struct Case {
        const char* name;
        Bytes body;
        const char* text;
    };
    const Case cases[] = {
        {"latin-1", Text(0, Latin1("Caf\xE9")), "Caf\xC3\xA9"},
        {"utf-16 little-endian", Text(1, {0xFF, 0xFE, 'H', 0, 'i', 0}), "Hi"},
        {"utf-16 big-endian mark", Text(1, {0xFE, 0xFF, 0, 'H', 0, 'i'}), "Hi"},
        {"utf-16 surrogate pair", Text(2, {0xD8, 0x3D, 0xDE, 0x00}), "\xF0\x9F\x98\x80"},
        {"utf-8", Text(3, Latin1("\xC3\xA9t\xC3\xA9")), "\xC3\xA9t\xC3\xA9"},
        {"stops at the terminator", Text(0, Latin1(std::string("ab\0cd", 5))), "ab"},
        {"odd utf-16 byte dropped", Text(2, {0, 'a', 0}), "a"},
    };
    for (const Case& c : cases) {
        for (const int version : {3, 4}) {
            const auto fields = ReadId3(Tag(version, {Frame(version, "TIT2", c.body)}));
            ASSERT_EQ(fields.size(), 1u) << c.name;
            EXPECT_EQ(fields[0].id, "TIT2");
            EXPECT_EQ(fields[0].text, c.text) << c.name << " in version " << version;
        }
    }
}

TEST(Id3, CommentsTakeTheirTextAndOtherFramesAreLeftOut) {
    Bytes comment = Text(0, Latin1("eng"));
    Append(comment, std::string("About\0The text", 14));
    const Bytes file = Tag(3, {Frame(3, "WOAR", Latin1("http://example.org")),
                               Frame(3, "TXXX", Text(0, Latin1("x"))),
                               Frame(3, "COMM", comment), Frame(3, "TPE1", Text(0, Latin1("Me")))},
                           20);
    EXPECT_EQ(Flatten(ReadId3(file)), (std::vector<std::string>{"COMM=The text", "TPE1=Me"}));
}

TEST(Id3, OldShortNamesComeOutUnderTheLaterOnes) {
    Bytes body;
    for (const char* id : {"TT2", "TP1", "XYZ"}) {
        Append(body, id);
        AppendBigEndian(body, 3, 3);
        body.push_back(0);
        Append(body, "ab");
    }
    Bytes file;
    Append(file, "ID3");
    file.insert(file.end(), {2, 0, 0});
    AppendSyncSafe(file, static_cast<std::uint32_t>(body.size()));
    file.insert(file.end(), body.begin(), body.end());
    EXPECT_EQ(Flatten(ReadId3(file)), (std::vector<std::string>{"TIT2=ab", "TPE1=ab"}));
}

TEST(Id3, VersionOneTagAtTheEnd) {
    Bytes file = Mp3Frames(2);
    Bytes tag(128, 0);
    const auto put = [&](std::size_t at, const std::string& text) {
        std::copy(text.begin(), text.end(), tag.begin() + static_cast<std::ptrdiff_t>(at));
    };
    put(0, "TAG");
    put(3, "Title   ");
    put(33, "Artist");
    put(93, "1999");
    put(97, "Note");
    tag[126] = 7;  // a track number after a zero
    tag[127] = 17;
    file.insert(file.end(), tag.begin(), tag.end());
    EXPECT_EQ(Flatten(ReadId3(file)),
              (std::vector<std::string>{"TIT2=Title", "TPE1=Artist", "TYER=1999", "COMM=Note",
                                        "TRCK=7", "TCON=17"}));
    // The tag is not played.
    EXPECT_NEAR(*Mp3DurationMs(file), 2 * 1152 * 1000.0 / 44100, 1e-9);
}

TEST(Id3, LengthsThatOverrunTheFileStopTheReading) {
    Bytes file = Tag(3, {Frame(3, "TIT2", Text(0, Latin1("ok")))});
    Bytes liar = Frame(3, "TPE1", Text(0, Latin1("cut")));
    liar[7] = 0xFF;  // claims 255 bytes
    file.insert(file.end(), liar.begin(), liar.end());
    // The header's size still covers only the first frame: the liar is outside the tag.
    EXPECT_EQ(Flatten(ReadId3(file)), (std::vector<std::string>{"TIT2=ok"}));

    Bytes whole = Tag(3, {Frame(3, "TIT2", Text(0, Latin1("ok"))), liar});
    EXPECT_EQ(Flatten(ReadId3(whole)), (std::vector<std::string>{"TIT2=ok"}));

    Bytes header = Tag(3, {});
    header[9] = 0x7F;  // a tag far longer than the file
    EXPECT_TRUE(ReadId3(header).empty());
    for (std::size_t n = 0; n < whole.size(); ++n) {
        const Bytes cut(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(n));
        EXPECT_LE(ReadId3(cut).size(), 1u);
        EXPECT_FALSE(Mp3DurationMs(cut).has_value()) << n;
    }
}

TEST(Mp3Duration, FramesAfterTheTagAreCounted) {
    struct Case {
        const char* name;
        Bytes file;
        double ms;
    };
    Bytes tagged = Tag(3, {Frame(3, "TIT2", Text(0, Latin1("x")))});
    const Bytes frames = Mp3Frames(40);
    tagged.insert(tagged.end(), frames.begin(), frames.end());
    Bytes junkFirst = Latin1("junk");
    junkFirst.insert(junkFirst.end(), frames.begin(), frames.end());
    const Case cases[] = {
        {"bare", Mp3Frames(40), 40 * 1152 * 1000.0 / 44100},
        {"tagged", tagged, 40 * 1152 * 1000.0 / 44100},
        {"junk first", junkFirst, 40 * 1152 * 1000.0 / 44100},
    };
    for (const Case& c : cases) {
        const auto ms = Mp3DurationMs(c.file);
        ASSERT_TRUE(ms.has_value()) << c.name;
        EXPECT_NEAR(*ms, c.ms, 1e-9) << c.name;
    }
    EXPECT_FALSE(Mp3DurationMs(Latin1("not a sound at all")).has_value());
    EXPECT_FALSE(Mp3DurationMs(Bytes{0xFF, 0xFF, 0xFF, 0xFF}).has_value());  // bad indices
}

}  // namespace
