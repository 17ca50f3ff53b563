#include "capture/workfolders.h"

#include <dirent.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>

#include "controls/fileutil.h"

namespace capture {

std::string ConversionWorkFolder(const std::string& outputFolder) {
    return outputFolder + kConversionSubfolder;
}

std::string SequenceFolder(const std::string& outputFolder) {
    return outputFolder + kSequenceSubfolder;
}

std::string SequenceTempFolder(const std::string& outputFolder) {
    return outputFolder + kSequenceTempSubfolder;
}

std::string FrameFileName(const std::string& moviePath, int frame, const std::string& extension) {
    return GetFileNameFromPath(moviePath) + FormatZeroPadded(frame, kFrameNumberWidth) + extension;
}

std::string ConversionFramePath(const std::string& outputFolder, const std::string& moviePath,
                                int frame) {
    return ConversionWorkFolder(outputFolder) + FrameFileName(moviePath, frame, ".gif");
}

std::string OutputAnimationPath(const std::string& outputFolder, const std::string& moviePath) {
    return outputFolder + GetFileNameFromPath(moviePath) + ".gif";
}

std::string SequenceFramePath(const std::string& outputFolder, const std::string& moviePath,
                              int frame, const std::string& extension) {
    return SequenceFolder(outputFolder) + FrameFileName(moviePath, frame, extension);
}

BOOL EnsureFolder(const std::string& folder, std::string* reason) {
    if (folder.empty() || DirectoryExists(folder)) return TRUE;
    // A relative path's first part has no "/" before it; "./" gives it the current folder as
    // its parent.
    const BOOL created = CreateDirectoryTree(folder.front() == '/' ? folder : "./" + folder);
    // A file where a folder of the path should be makes mkdir say it exists.
    const int error = errno == EEXIST ? ENOTDIR : errno;
    if (DirectoryExists(folder)) return TRUE;
    if (reason) {
        *reason = "cannot create " + folder;
        if (!created && error != 0) *reason += std::string(": ") + std::strerror(error);
    }
    return FALSE;
}

BOOL PrepareWorkFolder(const std::string& outputFolder) {
    const std::string folder = ConversionWorkFolder(outputFolder);
    if (!EnsureFolder(folder)) return FALSE;
    std::unique_ptr<DIR, int (*)(DIR*)> dir(opendir(folder.c_str()), closedir);
    if (!dir) return TRUE;
    while (const dirent* entry = readdir(dir.get())) {
        const std::string name = entry->d_name;
        if (name == "." || name == "..") continue;
        unlink((folder + name).c_str());  // folders refuse unlink and stay
    }
    return TRUE;
}

}  // namespace capture
