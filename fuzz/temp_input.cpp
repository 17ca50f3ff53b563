#include "fuzz/temp_input.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>

namespace fuzz {

namespace {

struct Folder {
    std::string path;
    Folder() {
        const char* base = std::getenv("TMPDIR");
        std::string pattern = std::string(base && *base ? base : "/tmp") + "/filmcast-fuzz-XXXXXX";
        if (!mkdtemp(pattern.data())) {
            std::perror("filmcast fuzz: mkdtemp");
            std::abort();
        }
        path = pattern + "/";
    }
    ~Folder() {
        std::error_code ignored;
        std::filesystem::remove_all(path, ignored);
    }
};

}  // namespace

const std::string& TempFolder() {
    static Folder folder;
    return folder.path;
}

std::string WriteTempInput(const std::string& name, const std::uint8_t* data, std::size_t size) {
    const std::string path = TempFolder() + name;
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file || (size > 0 && std::fwrite(data, 1, size, file) != size) || std::fclose(file) != 0) {
        std::perror("filmcast fuzz: writing the input");
        std::abort();
    }
    return path;
}

}  // namespace fuzz
