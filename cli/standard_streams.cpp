#include "cli/standard_streams.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "player/limits.h"

namespace cli {

namespace {

constexpr std::size_t kChunk = 1 << 16;

bool WriteAll(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t n = write(fd, data, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

ssize_t ReadSome(int fd, char* buffer, std::size_t size) {
    ssize_t n;
    do {
        n = read(fd, buffer, size);
    } while (n < 0 && errno == EINTR);
    return n;
}

}  // namespace

bool SpoolStandardInput(const std::string& folder, std::string* path, std::string* error) {
    *path = folder + "standard-input.swf";
    const int out = open(path->c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (out < 0) {
        *error = "cannot keep standard input in " + *path + ": " + std::strerror(errno);
        return false;
    }
    char buffer[kChunk];
    std::size_t total = 0;
    bool ok = true;
    for (;;) {
        const ssize_t n = ReadSome(STDIN_FILENO, buffer, sizeof buffer);
        if (n == 0) break;
        if (n < 0) {
            *error = std::string("cannot read standard input: ") + std::strerror(errno);
            ok = false;
            break;
        }
        total += static_cast<std::size_t>(n);
        if (total > player::Limits{}.maxMovieBytes) {
            *error = "standard input holds more than the engine accepts (" +
                     std::to_string(player::Limits{}.maxMovieBytes >> 20) + " MiB)";
            ok = false;
            break;
        }
        if (!WriteAll(out, buffer, static_cast<std::size_t>(n))) {
            *error = "cannot keep standard input in " + *path + ": " + std::strerror(errno);
            ok = false;
            break;
        }
    }
    if (close(out) != 0 && ok) {
        *error = "cannot keep standard input in " + *path + ": " + std::strerror(errno);
        ok = false;
    }
    return ok;
}

bool CopyToStandardOutput(const std::string& path, std::string* error) {
    const int in = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0) {
        *error = "cannot read " + path + ": " + std::strerror(errno);
        return false;
    }
    char buffer[kChunk];
    bool ok = true;
    for (;;) {
        const ssize_t n = ReadSome(in, buffer, sizeof buffer);
        if (n == 0) break;
        if (n < 0 || !WriteAll(STDOUT_FILENO, buffer, static_cast<std::size_t>(n))) {
            *error = std::string("cannot write standard output: ") + std::strerror(errno);
            ok = false;
            break;
        }
    }
    close(in);
    return ok;
}

}  // namespace cli
