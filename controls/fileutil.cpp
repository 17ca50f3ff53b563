#include "controls/fileutil.h"

#include <dirent.h>
#include <fnmatch.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <memory>

namespace {

constexpr int kMaxPaddedWidth = 64;

bool IsPattern(const std::string& name) {
    return name.find_first_of("*?") != std::string::npos;
}

// Whether any entry of the folder other than "." and ".." matches the pattern.
bool FolderHasMatch(const std::string& folder, std::string pattern) {
    if (pattern == "*.*") pattern = "*";
    std::unique_ptr<DIR, int (*)(DIR*)> dir(opendir(folder.empty() ? "." : folder.c_str()),
                                            closedir);
    if (!dir) return false;
    while (const dirent* entry = readdir(dir.get())) {
        const std::string name = entry->d_name;
        if (name == "." || name == "..") continue;
        if (fnmatch(pattern.c_str(), name.c_str(), 0) == 0) return true;
    }
    return false;
}

std::string WithoutTrailingSlashes(std::string path) {
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    return path;
}

}  // namespace

BOOL FileExists(const std::string& nameOrPattern) {
    const std::size_t slash = nameOrPattern.rfind('/');
    const std::string last =
        slash == std::string::npos ? nameOrPattern : nameOrPattern.substr(slash + 1);
    if (IsPattern(last)) {
        const std::string folder =
            slash == std::string::npos ? std::string() : nameOrPattern.substr(0, slash + 1);
        return FolderHasMatch(folder, last) ? TRUE : FALSE;
    }
    struct stat status {};
    return !nameOrPattern.empty() && stat(nameOrPattern.c_str(), &status) == 0 ? TRUE : FALSE;
}

BOOL DirectoryExists(const std::string& path) {
    struct stat status {};
    return !path.empty() && stat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode) ? TRUE
                                                                                        : FALSE;
}

BOOL CreateDirectoryTree(const std::string& requested) {
    if (requested.empty()) return FALSE;
    const std::string path = WithoutTrailingSlashes(requested);
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos || path == "/") return FALSE;
    const std::string parent = path.substr(0, slash);
    if (!parent.empty() && !DirectoryExists(parent) && !CreateDirectoryTree(parent)) return FALSE;
    return mkdir(path.c_str(), 0777) == 0 ? TRUE : FALSE;
}

std::string GetFileNameFromPath(const std::string& path) {
    const std::size_t separator = path.find_last_of("/\\");
    return separator == std::string::npos ? path : path.substr(separator + 1);
}

std::string FormatZeroPadded(int number, int width) {
    width = std::clamp(width, 0, kMaxPaddedWidth);
    char text[kMaxPaddedWidth + 16];
    std::snprintf(text, sizeof text, "%0*d", width, number);
    return text;
}

std::string GetModuleDir() {
    std::string path(4096, '\0');
    const ssize_t length = readlink("/proc/self/exe", path.data(), path.size());
    if (length <= 0 || static_cast<std::size_t>(length) >= path.size()) return {};
    path.resize(static_cast<std::size_t>(length));
    return path.substr(0, path.rfind('/') + 1);
}
