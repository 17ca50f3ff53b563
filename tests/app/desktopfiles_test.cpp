// The desktop entry and the metainfo file pass the desktop's own validators, when installed.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

namespace {

bool HaveTool(const std::string& tool) {
    return std::system(("command -v " + tool + " >/dev/null").c_str()) == 0;
}

std::string LinuxFile(const std::string& name) {
    return std::string(FILMCAST_SOURCE_DIR) + "/res/linux/" + name;
}

TEST(DesktopFiles, DesktopEntryIsValid) {
    if (!HaveTool("desktop-file-validate")) GTEST_SKIP() << "desktop-file-validate not installed";
    const std::string command =
        "desktop-file-validate '" + LinuxFile("com.example.FilmcastConverter.desktop") + "' >&2";
    EXPECT_EQ(std::system(command.c_str()), 0);
}

TEST(DesktopFiles, MetainfoIsValid) {
    if (!HaveTool("appstreamcli")) GTEST_SKIP() << "appstreamcli not installed";
    const std::string command = "appstreamcli validate --no-net '" +
                                LinuxFile("com.example.FilmcastConverter.metainfo.xml") + "' >&2";
    EXPECT_EQ(std::system(command.c_str()), 0);
}

TEST(DesktopFiles, InstallPutsThemWhereTheDesktopLooks) {
    const std::string prefix = std::string(FILMCAST_BINARY_DIR) + "/install-test";
    const std::string command = "rm -rf '" + prefix + "' && cmake --install '" +
                                FILMCAST_BINARY_DIR + "' --prefix '" + prefix +
                                "' --component Unspecified >/dev/null";
    ASSERT_EQ(std::system(command.c_str()), 0);
    for (const std::string& path :
         {"/bin/filmcast-converter", "/share/applications/com.example.FilmcastConverter.desktop",
          "/share/metainfo/com.example.FilmcastConverter.metainfo.xml",
          "/share/icons/hicolor/48x48/apps/filmcast-converter.png",
          "/share/icons/hicolor/256x256/apps/filmcast-converter.png",
          "/share/icons/hicolor/scalable/apps/filmcast-converter.svg"}) {
        EXPECT_EQ(std::system(("test -f '" + prefix + path + "'").c_str()), 0) << path;
    }
}

}  // namespace
