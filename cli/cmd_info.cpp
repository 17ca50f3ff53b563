// `filmcast info MOVIE... [--json]`: the six header values of each movie, as the window's
// property list shows them, or as a JSON list.
#include <cstdio>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "swf/swfheader.h"

namespace cli {
namespace {

struct MovieInfo {
    std::string file;
    int version = 0;
    int length = 0;
    int width = 0;
    int height = 0;
    int rate = 0;
    int count = 0;
};

std::string JsonString(const std::string& text) {
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

void PrintTable(const std::vector<MovieInfo>& movies) {
    for (std::size_t i = 0; i < movies.size(); ++i) {
        const MovieInfo& m = movies[i];
        if (i > 0) std::printf("\n");
        std::printf("%s\n", m.file.c_str());
        std::printf("  %-14s%d\n", "Flash Ver", m.version);
        std::printf("  %-14s%d\n", "Flash Length", m.length);
        std::printf("  %-14s%d\n", "Frame Width", m.width);
        std::printf("  %-14s%d\n", "Frame Height", m.height);
        std::printf("  %-14s%d\n", "Frame Rate", m.rate);
        std::printf("  %-14s%d\n", "Frame Count", m.count);
    }
}

void PrintJson(const std::vector<MovieInfo>& movies) {
    std::printf("[");
    for (std::size_t i = 0; i < movies.size(); ++i) {
        const MovieInfo& m = movies[i];
        std::printf(
            "%s\n  {\"file\": %s, \"flash_ver\": %d, \"flash_length\": %d, \"frame_width\": %d, "
            "\"frame_height\": %d, \"frame_rate\": %d, \"frame_count\": %d}",
            i > 0 ? "," : "", JsonString(m.file).c_str(), m.version, m.length, m.width, m.height,
            m.rate, m.count);
    }
    std::printf("%s]\n", movies.empty() ? "" : "\n");
}

// Reads the movies' headers; a movie whose header is missing or wrong is reported on stderr.
int RunInfo(const std::vector<std::string>& files, bool json) {
    std::vector<MovieInfo> movies;
    int status = 0;
    for (const std::string& file : files) {
        const CSwfHeader header(file);
        if (header.LastError() != SwfHeaderError::None) {
            std::fprintf(stderr, "filmcast: %s: %s\n", file.c_str(),
                         header.LastErrorText().c_str());
            status = 1;
            continue;
        }
        movies.push_back({file, header.m_version, header.m_fileLength, header.m_width,
                          header.m_height, header.m_frameRate, header.m_frameCount});
    }
    if (json) {
        PrintJson(movies);
    } else {
        PrintTable(movies);
    }
    return status;
}

}  // namespace

void AddInfoCommand(CLI::App& app, RunState& state) {
    CLI::App* info = app.add_subcommand("info", "Print the header values of each movie");
    auto files = std::make_shared<std::vector<std::string>>();
    auto json = std::make_shared<bool>(false);
    info->add_option("MOVIE", *files, "Movie files (.swf)")->required();
    info->add_flag("--json", *json, "Print a JSON list of objects instead of a table");
    info->callback([files, json, &state] { state.status = RunInfo(*files, *json); });
}

}  // namespace cli
