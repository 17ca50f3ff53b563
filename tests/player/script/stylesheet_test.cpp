// TextField.StyleSheet through the whole engine: the class is there from version 7, CSS
// values become TextFormat values, a field's sheet changes how its HTML text is laid out, and
// a sheet loads only files beside the movie.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>
#include <vector>

#include "player/player.h"
#include "tests/support/avm1_asm.h"
#include "tests/support/script_traces.h"
#include "tests/support/swf_writer.h"

namespace {

using swfw::Asm;
using Op = swfw::Op;

// s = new TextField.StyleSheet()
Asm& NewSheet(Asm& a) {
    return a.Push("s", 0).GetVariable("TextField").Push("StyleSheet").Op(Op::kNewMethod)
        .Op(Op::kSetVariable);
}

// s.parseCSS(css), its result left unused.
Asm& Parse(Asm& a, const std::string& css) {
    return a.Push(css).CallMethod("parseCSS", 1, [](Asm& b) { b.GetVariable("s"); })
        .Op(Op::kPop);
}

swfw::Movie Versioned(int version) {
    swfw::Movie m;
    m.Version(version);
    return m;
}

TEST(StyleSheetScript, IsATextFieldMemberFromVersion7) {
    for (const auto& [version, type] :
         {std::pair{6, "undefined"}, {7, "function"}, {8, "function"}}) {
        swfw::Movie m = Versioned(version);
        Asm a;
        a.GetVariable("TextField").Push("StyleSheet").Op(Op::kGetMember).Op(Op::kTypeOf).Trace();
        m.Do(a).ShowFrame();
        EXPECT_EQ(swfw::PlayTraces(m), std::vector<std::string>{type}) << version;
    }
}

TEST(StyleSheetScript, TransformTurnsCssIntoTextFormatValues) {
    struct Case {
        const char* css;
        const char* member;
        const char* value;
    };
    const Case cases[] = {
        {"color: #FF0000", "color", "16711680"},
        {"color: #0f0", "color", "65280"},
        {"color: red", "color", "null"},
        {"font-family: Arial, sans-serif", "font", "Arial"},
        {"font-family: sans-serif", "font", "_sans"},
        {"font-family: mono", "font", "_typewriter"},
        {"font-size: 14px", "size", "14"},
        {"font-size: big", "size", "null"},
        {"font-weight: bold", "bold", "true"},
        {"font-weight: normal", "bold", "false"},
        {"font-style: italic", "italic", "true"},
        {"text-decoration: underline", "underline", "true"},
        {"text-decoration: none", "underline", "false"},
        {"text-align: center", "align", "center"},
        {"text-align: sideways", "align", "null"},
        {"margin-left: 5px", "leftMargin", "5"},
        {"margin-right: 6", "rightMargin", "6"},
        {"text-indent: 7px", "indent", "7"},
        {"letter-spacing: 1.5px", "letterSpacing", "1.5"},
        {"kerning: true", "kerning", "true"},
        {"display: inline", "display", "inline"},
        {"display: none", "display", "none"},
        {"display: sideways", "display", "block"},
        {"unknown: 1", "bold", "null"},
    };
    for (const Case& c : cases) {
        swfw::Movie m = Versioned(8);
        Asm a;
        NewSheet(a);
        Parse(a, std::string("x { ") + c.css + " }");
        a.GetVariable("s").Push("_styles").Op(Op::kGetMember).Push("x").Op(Op::kGetMember)
            .Push(c.member).Op(Op::kGetMember).Trace();
        m.Do(a).ShowFrame();
        EXPECT_EQ(swfw::PlayTraces(m), std::vector<std::string>{c.value}) << c.css;
    }
}

// A movie with an HTML field "t" whose laid-out width is traced with and without a sheet.
std::vector<std::string> FieldWidths(const std::string& css, const std::string& html) {
    swfw::Movie m = Versioned(8);
    swfw::EditText field;
    field.id = 1;
    field.bounds = {0, 8000, 0, 2000};
    field.fontClass = "_sans";
    field.fontHeight = 240;
    field.html = true;
    field.readOnly = true;
    m.Define(field);
    m.Place(swfw::PlaceObject::New(1, 1).Name("t"));
    Asm a;
    NewSheet(a);
    Parse(a, css);
    a.GetVariable("t").Push("htmlText", html).Op(Op::kSetMember);
    a.GetVariable("t").Push("textWidth").Op(Op::kGetMember).Trace();
    a.GetVariable("t").Push("styleSheet").GetVariable("s").Op(Op::kSetMember);
    a.GetVariable("t").Push("htmlText", html).Op(Op::kSetMember);
    a.GetVariable("t").Push("textWidth").Op(Op::kGetMember).Trace();
    a.GetVariable("t").Push("styleSheet").Op(Op::kGetMember).GetVariable("s")
        .Op(Op::kStrictEquals).Trace();
    a.GetVariable("t").Push("htmlText").Op(Op::kGetMember).Trace();
    m.Do(a).ShowFrame();
    return swfw::PlayTraces(m);
}

TEST(StyleSheetScript, AFieldsSheetStylesItsHtmlText) {
    const std::string html = "<p>ab <span class=\"big\">cd</span></p>";
    const auto bigger = FieldWidths(".big { font-size: 40px }", html);
    ASSERT_EQ(bigger.size(), 4u);
    EXPECT_GT(std::stod(bigger[1]), std::stod(bigger[0]) + 10);
    // The sheet reads back; the HTML text reads back written out from its runs.
    EXPECT_EQ(bigger[2], "true");
    EXPECT_NE(bigger[3].find(">ab cd<"), std::string::npos) << bigger[3];

    const auto hidden = FieldWidths("span { display: none }", html);
    ASSERT_EQ(hidden.size(), 4u);
    EXPECT_LT(std::stod(hidden[1]), std::stod(hidden[0]));
}

class StyleSheetLoading : public ::testing::Test {
  protected:
    void SetUp() override {
        root_ = std::filesystem::temp_directory_path() /
                ("fc_sheet_" + std::to_string(::getpid()) + "_" +
                 ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::remove_all(root_);
        std::filesystem::create_directories(root_ / "movie");
        Write(root_ / "movie" / "ok.css", "a { color: #0000FF }");
        Write(root_ / "movie" / "bad.css", "a { color: #0000FF } b doesn't parse");
        Write(root_ / "outside.css", "a { color: #0000FF }");
    }
    void TearDown() override { std::filesystem::remove_all(root_); }

    static void Write(const std::filesystem::path& path, const std::string& text) {
        std::ofstream(path, std::ios::binary) << text;
    }

    // Loads `url` into a sheet whose onLoad traces its argument and the style of "a".
    std::vector<std::string> Load(const std::string& url) {
        swfw::Movie m = Versioned(8);
        Asm a;
        NewSheet(a);
        a.GetVariable("s").Push("onLoad");
        a.DefineFunction("", {"ok"}, [](Asm& f) {
            f.GetVariable("ok").Trace();
            f.Push("a").CallMethod("getStyle", 1, [](Asm& b) { b.GetVariable("s"); })
                .Push("color").Op(Op::kGetMember).Trace();
        });
        a.Op(Op::kSetMember);
        a.Push(url).CallMethod("load", 1, [](Asm& b) { b.GetVariable("s"); }).Trace();
        m.Do(a).ShowFrame().ShowFrame().ShowFrame();
        const std::filesystem::path file = root_ / "movie" / "movie.swf";
        const auto bytes = m.Bytes();
        std::ofstream(file, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
        std::vector<std::string> lines;
        std::string error;
        auto player = player::Player::LoadFile(file.string(), &error);
        EXPECT_TRUE(player) << error;
        if (!player) return lines;
        player::ScriptSettings settings;
        settings.trace = [&lines](std::string_view line) { lines.emplace_back(line); };
        player->SetScripting(std::move(settings));
        player->Tick(false, true);
        player->Tick(false, true);
        return lines;
    }

    std::filesystem::path root_;
};

TEST_F(StyleSheetLoading, ReadsOnlyFilesBesideTheMovie) {
    const std::pair<const char*, std::vector<std::string>> cases[] = {
        // Values keep the space before the closing brace.
        {"ok.css", {"true", "true", "#0000FF "}},
        {"bad.css", {"true", "false", "undefined"}},
        {"missing.css", {"true", "false", "undefined"}},
        {"../outside.css", {"true", "false", "undefined"}},
        {"/etc/passwd", {"true", "false", "undefined"}},
    };
    for (const auto& [url, lines] : cases) EXPECT_EQ(Load(url), lines) << url;
}

}  // namespace
