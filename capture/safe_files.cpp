#include "capture/safe_files.h"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <system_error>
#include <vector>

namespace capture {

namespace fs = std::filesystem;

namespace {

constexpr char kWorkFolderPrefix[] = "filmcast-";
constexpr std::size_t kRandomPart = 6;  // the XXXXXX of mkstemp and mkdtemp

std::string SystemError(int code) {
    return std::strerror(code);
}

fs::path TemporaryFolder() {
    std::error_code error;
    fs::path base = fs::temp_directory_path(error);
    return error ? fs::path("/tmp") : base;
}

long NameLimit(const fs::path& folder) {
    const long limit = pathconf(folder.empty() ? "." : folder.c_str(), _PC_NAME_MAX);
    return limit > 0 ? limit : 255;
}

// A temporary sibling's name is "." + the file name + "." + the random part + the file's own
// extension (which picks the format an image is written in). The start and the end of it:
// the file name is cut (at a character boundary) so that the whole fits the folder's limit.
struct SiblingName {
    std::string prefix, suffix;
};

SiblingName SiblingNameFor(const fs::path& finalPath) {
    std::string name = finalPath.filename().string();
    const std::string extension = finalPath.extension().string();
    const long room =
        NameLimit(finalPath.parent_path()) - 2 - long(kRandomPart) - long(extension.size());
    if (room > 0 && long(name.size()) > room) {
        std::size_t cut = static_cast<std::size_t>(room);
        while (cut > 0 && (static_cast<unsigned char>(name[cut]) & 0xC0) == 0x80) --cut;
        name.resize(cut);
    }
    return {"." + name + ".", extension};
}

bool Locked(int fd) {
    return flock(fd, LOCK_EX | LOCK_NB) == 0;
}

// True for an entry of ours that no live process holds and nobody has touched for a while;
// on true the entry stays locked by `*fd` until the caller closes it.
bool IsStale(const fs::path& path, bool folder, int* fd) {
    struct stat status {};
    if (lstat(path.c_str(), &status) != 0 || status.st_uid != getuid()) return false;
    if (folder ? !S_ISDIR(status.st_mode) : !S_ISREG(status.st_mode)) return false;
    if (std::time(nullptr) - status.st_mtime < kStaleAfterSeconds) return false;
    *fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | (folder ? O_DIRECTORY : 0));
    if (*fd < 0) return false;
    if (Locked(*fd)) return true;
    close(*fd);
    *fd = -1;
    return false;
}

bool IsSibling(const std::string& name, const SiblingName& sibling) {
    return name.size() == sibling.prefix.size() + kRandomPart + sibling.suffix.size() &&
           name.compare(0, sibling.prefix.size(), sibling.prefix) == 0 &&
           name.compare(name.size() - sibling.suffix.size(), std::string::npos, sibling.suffix) ==
               0;
}

bool CopyFile(const std::string& from, const std::string& to, std::string* error) {
    const int in = open(from.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0) {
        *error = "cannot read " + from + ": " + SystemError(errno);
        return false;
    }
    const int out = open(to.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
    if (out < 0) {
        *error = "cannot write " + to + ": " + SystemError(errno);
        close(in);
        return false;
    }
    std::vector<char> buffer(1 << 20);
    bool ok = true;
    for (;;) {
        const ssize_t got = read(in, buffer.data(), buffer.size());
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) {
            if (got < 0) *error = "cannot read " + from + ": " + SystemError(errno);
            ok = got == 0;
            break;
        }
        for (ssize_t done = 0; ok && done < got;) {
            const ssize_t put =
                write(out, buffer.data() + done, static_cast<std::size_t>(got - done));
            if (put < 0 && errno == EINTR) continue;
            if (put < 0) {
                *error = "cannot write " + to + ": " + SystemError(errno);
                ok = false;
            } else {
                done += put;
            }
        }
        if (!ok) break;
    }
    if (close(out) != 0 && ok) {
        *error = "cannot write " + to + ": " + SystemError(errno);
        ok = false;
    }
    close(in);
    return ok;
}

}  // namespace

Reservation::Reservation(std::string path, int fd, bool folder)
    : path_(std::move(path)), fd_(fd), folder_(folder) {}

Reservation::~Reservation() {
    Release();
}

Reservation::Reservation(Reservation&& other) noexcept
    : path_(std::move(other.path_)), fd_(other.fd_), folder_(other.folder_) {
    other.fd_ = -1;
}

Reservation& Reservation::operator=(Reservation&& other) noexcept {
    if (this != &other) {
        Release();
        path_ = std::move(other.path_);
        fd_ = other.fd_;
        folder_ = other.folder_;
        other.fd_ = -1;
    }
    return *this;
}

void Reservation::Release() {
    if (fd_ >= 0) close(fd_);
    fd_ = -1;
}

bool Reservation::StillOurs() const {
    struct stat held {
    }, named{};
    return fd_ >= 0 && fstat(fd_, &held) == 0 && lstat(path_.c_str(), &named) == 0 &&
           held.st_dev == named.st_dev && held.st_ino == named.st_ino;
}

void Reservation::Remove() {
    if (StillOurs()) {
        std::error_code ignored;
        if (folder_)
            fs::remove_all(path_, ignored);
        else
            fs::remove(path_, ignored);
    }
    Release();
}

Reservation MakePrivateWorkFolder(std::string* error) {
    std::string pattern =
        (TemporaryFolder() / (std::string(kWorkFolderPrefix) + "XXXXXX")).string();
    if (!mkdtemp(pattern.data())) {
        *error = "cannot create a working folder in " + TemporaryFolder().string() + ": " +
                 SystemError(errno);
        return {};
    }
    const int fd = open(pattern.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0 || !Locked(fd)) {
        *error = "cannot lock the working folder " + pattern + ": " + SystemError(errno);
        if (fd >= 0) close(fd);
        rmdir(pattern.c_str());
        return {};
    }
    return Reservation(pattern + "/", fd, true);
}

Reservation ReserveTemporarySibling(const std::string& finalPath, std::string* error) {
    const fs::path target(finalPath);
    const SiblingName name = SiblingNameFor(target);
    std::string pattern = (target.parent_path() / (name.prefix + "XXXXXX" + name.suffix)).string();
    const int fd = mkostemps(pattern.data(), static_cast<int>(name.suffix.size()), O_CLOEXEC);
    if (fd < 0) {
        *error = "cannot create a temporary file beside " + finalPath + ": " + SystemError(errno);
        return {};
    }
    if (!Locked(fd)) {
        *error = "cannot lock " + pattern + ": " + SystemError(errno);
        close(fd);
        unlink(pattern.c_str());
        return {};
    }
    // mkstemp makes the file private; the output gets the permissions any new file gets.
    const mode_t mask = umask(0);
    umask(mask);
    fchmod(fd, 0666 & ~mask);
    return Reservation(pattern, fd, false);
}

void RemoveStaleWorkFolders() {
    std::error_code error;
    const std::size_t prefix = std::strlen(kWorkFolderPrefix);
    for (const auto& entry : fs::directory_iterator(TemporaryFolder(), error)) {
        const std::string name = entry.path().filename().string();
        if (name.size() != prefix + kRandomPart || name.compare(0, prefix, kWorkFolderPrefix) != 0)
            continue;
        int fd = -1;
        if (!IsStale(entry.path(), true, &fd)) continue;
        std::error_code ignored;
        fs::remove_all(entry.path(), ignored);
        close(fd);
    }
}

void RemoveStaleTemporarySiblings(const std::string& finalPath) {
    const fs::path target(finalPath);
    const SiblingName sibling = SiblingNameFor(target);
    const fs::path folder = target.parent_path().empty() ? fs::path(".") : target.parent_path();
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(folder, error)) {
        if (!IsSibling(entry.path().filename().string(), sibling)) continue;
        int fd = -1;
        if (!IsStale(entry.path(), false, &fd)) continue;
        unlink(entry.path().c_str());
        close(fd);
    }
}

bool PublishFile(const std::string& from, const Reservation& through, const std::string& to,
                 std::string* error) {
    if (rename(from.c_str(), to.c_str()) == 0) return true;
    if (errno != EXDEV) {
        *error = "cannot write " + to + ": " + SystemError(errno);
        return false;
    }
    if (!through.Valid()) {
        *error = "cannot write " + to + ": no temporary name beside it";
        return false;
    }
    if (!CopyFile(from, through.Path(), error)) return false;
    if (rename(through.Path().c_str(), to.c_str()) != 0) {
        *error = "cannot write " + to + ": " + SystemError(errno);
        return false;
    }
    return true;
}

void RemoveTree(const std::string& folder) {
    if (folder.empty()) return;
    std::error_code ignored;
    fs::remove_all(folder, ignored);
}

}  // namespace capture
