#include "converter/outputfolder.h"

#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <vector>

std::string g_strOutputFolder;

const std::string& GetModuleDir() {
    static std::string moduleDir;
    if (moduleDir.empty()) {
        std::vector<char> path(PATH_MAX + 1, '\0');
        const ssize_t length = readlink("/proc/self/exe", path.data(), PATH_MAX);
        if (length > 0) {
            const std::string exe(path.data(), static_cast<std::size_t>(length));
            const std::size_t slash = exe.find_last_of('/');
            if (slash != std::string::npos) moduleDir = exe.substr(0, slash + 1);
        }
    }
    return moduleDir;
}

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
