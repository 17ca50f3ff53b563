#include "cli/output_names.h"

#include <climits>
#include <cstdio>
#include <filesystem>
#include <strings.h>

namespace cli {

namespace {

namespace fs = std::filesystem;

struct FormatName {
    std::string_view format;
    std::string_view extension;
};

// One row a format the command line writes.
constexpr FormatName kFormats[] = {
    {"gif", ".gif"}, {"mp4", ".mp4"}, {"webm", ".webm"}, {"apng", ".png"}, {"webp", ".webp"},
};

bool EndsWithIgnoringCase(const std::string& text, std::string_view end) {
    return text.size() >= end.size() &&
           strncasecmp(text.c_str() + text.size() - end.size(), end.data(), end.size()) == 0;
}

}  // namespace

std::string_view FormatExtension(std::string_view format) {
    for (const FormatName& row : kFormats)
        if (row.format == format) return row.extension;
    return "";
}

bool NamesOutputFile(const std::string& output, std::string_view format) {
    const std::string_view extension = FormatExtension(format);
    if (extension.empty() || output.size() <= extension.size()) return false;
    if (!EndsWithIgnoringCase(output, extension)) return false;
    if (output[output.size() - extension.size() - 1] == '/') return false;  // "out/.gif"
    std::error_code error;
    return !fs::is_directory(output, error);
}

std::string MovieStem(const std::string& moviePath) {
    std::string name = fs::path(moviePath).filename().string();
    const auto dot = name.rfind('.');
    if (dot != std::string::npos && dot > 0) name.erase(dot);
    return name.empty() ? "movie" : name;
}

std::string SequenceFrameName(const std::string& stem, long frame, const std::string& extension) {
    char number[24];
    std::snprintf(number, sizeof number, "-%05ld", frame);
    return stem + number + extension;
}

std::optional<std::string> MirroredFolder(const std::string& moviePath) {
    const fs::path folder = fs::path(moviePath).relative_path().parent_path().lexically_normal();
    std::string text;
    for (const fs::path& part : folder) {
        if (part == "..") return std::nullopt;
        if (part == "." || part.empty()) continue;
        text += part.string() + "/";
    }
    return text;
}

bool ReadMovieList(std::istream& in, std::size_t maxMovies, std::vector<std::string>* movies,
                   std::string* error) {
    std::string line;
    std::size_t number = 0;
    while (std::getline(in, line)) {
        ++number;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.size() >= PATH_MAX) {
            *error = "line " + std::to_string(number) + " is longer than a path may be";
            return false;
        }
        if (line.find_first_not_of(" \t") == std::string::npos) continue;
        if (movies->size() >= maxMovies) {
            *error = "more than " + std::to_string(maxMovies) + " movies";
            return false;
        }
        movies->push_back(line);
    }
    if (in.bad()) {
        *error = "cannot read it";
        return false;
    }
    return true;
}

std::optional<Shard> ParseShard(const std::string& text) {
    const auto slash = text.find('/');
    if (slash == std::string::npos) return std::nullopt;
    auto number = [](const std::string& digits) -> std::optional<std::size_t> {
        if (digits.empty() || digits.size() > 9 ||
            digits.find_first_not_of("0123456789") != std::string::npos)
            return std::nullopt;
        return static_cast<std::size_t>(std::stoul(digits));
    };
    const auto k = number(text.substr(0, slash)), n = number(text.substr(slash + 1));
    if (!k || !n || *k < 1 || *k > *n) return std::nullopt;
    return Shard{*k, *n};
}

std::vector<std::string> TakeShard(const std::vector<std::string>& movies, const Shard& shard) {
    std::vector<std::string> taken;
    for (std::size_t i = shard.index - 1; i < movies.size(); i += shard.count)
        taken.push_back(movies[i]);
    return taken;
}

std::string JsonString(std::string_view text) {
    std::string out = "\"";
    for (const unsigned char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
            out += escaped;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out + "\"";
}

}  // namespace cli
