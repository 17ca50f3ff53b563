#include "converter/outputfolder.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include "controls/fileutil.h"

TEST(OutputFolder, ModuleDirIsTheTestProgramsFolder) {
    const std::string dir = GetModuleDir();
    EXPECT_EQ(dir, std::string(FILMCAST_BINARY_DIR) + "/tests/converter/");
}

TEST(OutputFolder, WritableProgramFolderIsKept) {
    QTemporaryDir dir;
    const std::string folder = dir.path().toStdString() + "/";
    EXPECT_EQ(StartupOutputFolder(folder, "/home/someone/Pictures"), folder);
}

TEST(OutputFolder, UnwritableProgramFolderFallsBackToPictures) {
    // Nobody can create files in /proc, whatever their rights.
    EXPECT_FALSE(IsWritableFolder("/proc/"));
    EXPECT_EQ(StartupOutputFolder("/proc/", "/home/someone/Pictures"), "/home/someone/Pictures/");
    EXPECT_EQ(StartupOutputFolder("/proc/", "/home/someone/Pictures/"), "/home/someone/Pictures/");
    EXPECT_EQ(StartupOutputFolder("/proc/", ""), "/proc/");
}

TEST(OutputFolder, WriteProbeLeavesNothingBehind) {
    QTemporaryDir dir;
    EXPECT_TRUE(IsWritableFolder(dir.path().toStdString()));
    EXPECT_TRUE(QDir(dir.path())
                    .entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot)
                    .isEmpty());
}
