#include "converter/outputfolder.h"

#include <unistd.h>

#include <cstdlib>

std::string g_strOutputFolder;

bool IsWritableFolder(const std::string& folder) {
    if (folder.empty()) return false;
    std::string probe = folder;
    if (probe.back() != '/') probe += '/';
    probe += ".filmcast-write-test-XXXXXX";
    const int fd = mkstemp(probe.data());
    if (fd < 0) return false;
    close(fd);
    unlink(probe.c_str());
    return true;
}

std::string StartupOutputFolder(const std::string& moduleDir, const std::string& picturesDir) {
    if (IsWritableFolder(moduleDir) || picturesDir.empty()) return moduleDir;
    return picturesDir.back() == '/' ? picturesDir : picturesDir + '/';
}
