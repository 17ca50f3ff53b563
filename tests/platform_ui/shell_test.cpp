#include "platform/shell.h"

#include <gtest/gtest.h>

#include "tests/support/qtapp.h"

namespace {

struct OpenerCase {
    const char* name;
    const char* script;
    int result;
};

class ShellOpener : public ::testing::TestWithParam<OpenerCase> {
  protected:
    static void SetUpTestSuite() { EnsureQtApplication(); }
};

TEST_P(ShellOpener, MapsTheOpenersOutcomeToShellResults) {
    EXPECT_EQ(RunOpener("/bin/sh", {"-c", GetParam().script}, 500), GetParam().result);
}

INSTANTIATE_TEST_SUITE_P(ExitCodes, ShellOpener,
                         ::testing::Values(OpenerCase{"Opened", "exit 0", kShellOpened},
                                           OpenerCase{"FileNotFound", "exit 2", kShellFileNotFound},
                                           OpenerCase{"NoTool", "exit 3", kShellNoAssociation},
                                           OpenerCase{"ActionFailed", "exit 4",
                                                      kShellNoAssociation},
                                           OpenerCase{"SyntaxError", "exit 1", kShellNoAssociation},
                                           OpenerCase{"StillRunning", "sleep 3", kShellOpened},
                                           OpenerCase{"Killed", "kill -9 $$", kShellNoAssociation}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(ShellOpenerMissing, ProgramThatCannotStartHasNoAssociation) {
    EnsureQtApplication();
    EXPECT_EQ(RunOpener("/nonexistent/opener", {"x"}, 500), kShellNoAssociation);
}

struct CommandCase {
    const char* name;
    const char* exec;
    const char* line;  // nullptr: refused
};

class HandlerCommand : public ::testing::TestWithParam<CommandCase> {};

TEST_P(HandlerCommand, CutsAtThePlaceholderAndAppendsTheTarget) {
    const auto line = BuildHandlerCommandLine(GetParam().exec, "https://www.example.com/");
    if (!GetParam().line) {
        EXPECT_FALSE(line.has_value());
    } else {
        ASSERT_TRUE(line.has_value());
        EXPECT_EQ(*line, GetParam().line);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Lines, HandlerCommand,
    ::testing::Values(
        CommandCase{"QuotedPlaceholder", "/usr/bin/browser \"%u\"",
                    "/usr/bin/browser https://www.example.com/"},
        CommandCase{"BarePlaceholder", "browser %U", "browser https://www.example.com/"},
        CommandCase{"FilePlaceholder", "browser --new-window %f",
                    "browser --new-window https://www.example.com/"},
        CommandCase{"QuotedProgramKept", "\"/opt/My Browser/run\" %u --flag",
                    "\"/opt/My Browser/run\" https://www.example.com/"},
        CommandCase{"QuotedBeforeBare", "browser %U \"%u\"", "browser %U https://www.example.com/"},
        CommandCase{"NoPlaceholder", "browser", "browser https://www.example.com/"},
        CommandCase{"TooLong",
                    "/usr/bin/"
                    "aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa"
                    "aaaaaaaaaaaaa"
                    "aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa"
                    "aaaaaaaaaaaaaaa"
                    "aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa %u",
                    nullptr}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(HandlerCommandLength, FitsExactlyUpToTheBuffer) {
    const std::string exec(259 - 1 - 3, 'b');
    EXPECT_TRUE(BuildHandlerCommandLine(exec, "abc").has_value());
    EXPECT_FALSE(BuildHandlerCommandLine(exec, "abcd").has_value());
}

TEST(DesktopEntry, ReadsExecOfTheMainGroupOnly) {
    EXPECT_EQ(DesktopEntryExec(
                  "[Desktop Entry]\nName=B\nExec=browser %u\r\n[Desktop Action new]\nExec=x\n"),
              "browser %u");
    EXPECT_EQ(DesktopEntryExec("[Desktop Action new]\nExec=x\n[Desktop Entry]\nExec=y %U\n"),
              "y %U");
    EXPECT_FALSE(DesktopEntryExec("[Desktop Entry]\nName=B\n").has_value());
    EXPECT_FALSE(DesktopEntryExec("[Desktop Entry]\nExec=\n").has_value());
    EXPECT_FALSE(
        DesktopEntryExec("[Desktop Entry]\nExec=" + std::string(300, 'a') + "\n").has_value());
}

TEST(HandlerRun, StartsTheProgramWithTheTargetAsOneArgument) {
    EnsureQtApplication();
    EXPECT_EQ(RunHandlerCommandLine("/bin/true https://x/", "https://x/"), kCommandStarted);
    EXPECT_EQ(RunHandlerCommandLine("/nonexistent/browser https://x/", "https://x/"),
              kShellFileNotFound);
    EXPECT_EQ(RunHandlerCommandLine("/bin/true other", "https://x/"), kShellFileNotFound);
}

}  // namespace
