// The window's HTML manual lies beside the program in the build tree and is installed where the
// installed program's Help finds it.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <cstdlib>
#include <string>

#include "converter/helpfile.h"
#include "res/templates.h"

namespace {

QByteArray Contents(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

const QString kSourceManual = QString(FILMCAST_SOURCE_DIR) + "/docs/manual/index.html";

TEST(Manual, LiesBesideTheProgramInTheBuildTree) {
    const QString built = QString(FILMCAST_BINARY_DIR) + "/manual/index.html";
    ASSERT_TRUE(QFile::exists(QString(FILMCAST_BINARY_DIR) + "/filmcast-converter"));
    ASSERT_TRUE(QFile::exists(built));
    EXPECT_EQ(Contents(built), Contents(kSourceManual));
    QTemporaryDir elsewhere;
    const helpfile::HelpLocation help = helpfile::FindHelp(elsewhere.path(), FILMCAST_BINARY_DIR);
    EXPECT_EQ(help.kind, helpfile::HelpKind::Manual);
    EXPECT_EQ(help.path, QDir::cleanPath(built));
}

TEST(Manual, InstalledWhereTheInstalledProgramLooks) {
    const std::string prefix = std::string(FILMCAST_BINARY_DIR) + "/install-manual-test";
    const std::string command = "rm -rf '" + prefix + "' && cmake --install '" +
                                FILMCAST_BINARY_DIR + "' --prefix '" + prefix +
                                "' --component Unspecified >/dev/null";
    ASSERT_EQ(std::system(command.c_str()), 0);
    const QString installed =
        QString::fromStdString(prefix) + "/share/doc/filmcast/manual/index.html";
    EXPECT_EQ(Contents(installed), Contents(kSourceManual));
    QTemporaryDir elsewhere;
    const helpfile::HelpLocation help =
        helpfile::FindHelp(elsewhere.path(), QString::fromStdString(prefix) + "/bin");
    EXPECT_EQ(help.kind, helpfile::HelpKind::Manual);
    EXPECT_EQ(help.path, installed);
    std::system(("rm -rf '" + prefix + "'").c_str());
}

// The manual keeps up with the window: every button and menu item is named in it.
TEST(Manual, NamesEveryButtonAndMenuItem) {
    const QString text = QString::fromUtf8(Contents(kSourceManual));
    for (const ControlTemplate& t : kConverterControls) {
        if (t.kind == ControlKind::PushButton || t.kind == ControlKind::DefPushButton) {
            EXPECT_TRUE(text.contains("<b>" + QString(t.caption) + "</b>")) << t.caption;
        }
    }
    for (const MenuItemTemplate& item : kContextMenu)
        EXPECT_TRUE(text.contains(item.text)) << item.text;
    EXPECT_TRUE(text.contains("filmcast --help"));
}

}  // namespace
