#include "player/loading.h"

#include <cctype>
#include <filesystem>
#include <fstream>
#include <system_error>

#include "player/script/utf8.h"

namespace player {

namespace fs = std::filesystem;

namespace {

// "%41" and the like decoded; a stray '%' stays.
std::string PercentDecoded(std::string_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size() &&
            std::isxdigit(static_cast<unsigned char>(text[i + 1])) &&
            std::isxdigit(static_cast<unsigned char>(text[i + 2]))) {
            out += static_cast<char>(std::stoi(std::string(text.substr(i + 1, 2)), nullptr, 16));
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

// "http:", "file:", "C:": anything before a ':' that could be a scheme or a drive.
bool HasScheme(std::string_view text) {
    const auto colon = text.find(':');
    if (colon == std::string_view::npos || colon == 0) return false;
    for (std::size_t i = 0; i < colon; ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (!std::isalnum(c) && c != '+' && c != '-' && c != '.') return false;
    }
    return true;
}

// Whether `inner` lies inside `outer` (both canonical).
bool Inside(const fs::path& outer, const fs::path& inner) {
    auto o = outer.begin(), i = inner.begin();
    for (; o != outer.end(); ++o, ++i) {
        if (o->empty()) continue;  // a trailing separator
        if (i == inner.end() || *o != *i) return false;
    }
    return i != inner.end();
}

bool ValidUtf8(std::string_view s) {
    for (std::size_t i = 0; i < s.size();) {
        const auto c = static_cast<unsigned char>(s[i]);
        const int extra = c < 0x80            ? 0
                          : (c & 0xE0) == 0xC0 ? 1
                          : (c & 0xF0) == 0xE0 ? 2
                          : (c & 0xF8) == 0xF0 ? 3
                                               : -1;
        if (extra < 0 || i + static_cast<std::size_t>(extra) >= s.size()) return false;
        for (int k = 1; k <= extra; ++k)
            if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return false;
        i += 1 + static_cast<std::size_t>(extra);
    }
    return true;
}

}  // namespace

bool ReadBesideMovie(const std::string& folder, std::string_view address, std::size_t maxBytes,
                     std::string* bytes, std::string* reason) {
    const std::string_view path = address.substr(0, address.find_first_of("?#"));
    if (folder.empty()) {
        *reason = "the movie's folder is not known, so nothing beside it can be loaded";
        return false;
    }
    if (path.empty()) {
        *reason = "no file is named";
        return false;
    }
    const std::string decoded = PercentDecoded(path);
    if (HasScheme(decoded) || decoded.front() == '/' || decoded.front() == '\\' ||
        decoded.find('\0') != std::string::npos) {
        *reason = "only files beside the movie are loaded";
        return false;
    }
    std::error_code error;
    const fs::path base = fs::weakly_canonical(fs::path(folder), error);
    if (error) {
        *reason = "the movie's folder cannot be read";
        return false;
    }
    const fs::path target = fs::weakly_canonical(base / fs::path(decoded), error);
    if (error || !Inside(base, target)) {
        *reason = "only files beside the movie are loaded";
        return false;
    }
    if (!fs::is_regular_file(target, error)) {
        *reason = "there is no such file beside the movie";
        return false;
    }
    const std::uintmax_t size = fs::file_size(target, error);
    if (error || size > maxBytes) {
        *reason = error ? "the file cannot be read"
                        : "the file is larger than the " + std::to_string(maxBytes) +
                              " bytes a movie may load";
        return false;
    }
    std::ifstream in(target, std::ios::binary);
    bytes->assign(static_cast<std::size_t>(size), '\0');
    if (!in || !in.read(bytes->data(), static_cast<std::streamsize>(size))) {
        *reason = "the file cannot be read";
        bytes->clear();
        return false;
    }
    return true;
}

std::string LoadedText(std::string bytes) {
    if (bytes.size() >= 3 && static_cast<unsigned char>(bytes[0]) == 0xEF &&
        static_cast<unsigned char>(bytes[1]) == 0xBB && static_cast<unsigned char>(bytes[2]) == 0xBF)
        bytes.erase(0, 3);
    if (ValidUtf8(bytes)) return bytes;
    std::string out;
    for (char c : bytes) script::AppendUtf8(out, static_cast<unsigned char>(c));
    return out;
}

}  // namespace player
