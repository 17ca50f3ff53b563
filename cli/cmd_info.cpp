// `filmcast info MOVIE... [--json]`: the six header values of each movie, as the window's
// property list shows them, or as a JSON list. Values are listed as the file states them; a
// length field that does not match the movie is said on stderr.
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "cli/output_names.h"
#include "swf/bodylength.h"
#include "swf/swfheader.h"

namespace cli {
namespace {

struct MovieInfo {
    std::string file;
    int version = 0;
    std::uint32_t length = 0;
    int width = 0;
    int height = 0;
    int rate = 0;
    int count = 0;
};

void PrintTable(const std::vector<MovieInfo>& movies) {
    for (std::size_t i = 0; i < movies.size(); ++i) {
        const MovieInfo& m = movies[i];
        if (i > 0) std::printf("\n");
        std::printf("%s\n", m.file.c_str());
        std::printf("  %-14s%d\n", "Flash Ver", m.version);
        std::printf("  %-14s%u\n", "Flash Length", m.length);
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
            "%s\n  {\"file\": %s, \"flash_ver\": %d, \"flash_length\": %u, \"frame_width\": %d, "
            "\"frame_height\": %d, \"frame_rate\": %d, \"frame_count\": %d}",
            i > 0 ? "," : "", JsonString(m.file).c_str(), m.version, m.length, m.width, m.height,
            m.rate, m.count);
    }
    std::printf("%s]\n", movies.empty() ? "" : "\n");
}

// Bytes of a movie read to measure its body: the largest movie the engine plays.
constexpr std::size_t kMaxMeasuredFile = 256u << 20;

std::vector<std::uint8_t> ReadPrefix(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::vector<std::uint8_t> bytes;
    char chunk[1 << 16];
    while (in && bytes.size() < kMaxMeasuredFile) {
        in.read(chunk, sizeof chunk);
        bytes.insert(bytes.end(), chunk, chunk + in.gcount());
    }
    return bytes;
}

// Says on stderr how the movie's length compares with its length field: a note when the field
// is 0 or smaller than the movie (players play it whole), a warning when the body is shorter
// than the field or cannot be inflated. Returns false for a warning.
bool ReportLength(const std::string& file, const swf::BodyLength& body) {
    const char* name = file.c_str();
    const unsigned long long real = body.real;
    switch (body.state) {
        case swf::BodyState::kCorrupt:
            std::fprintf(stderr,
                         "filmcast: %s: warning: the compressed body cannot be inflated past "
                         "%llu of the %u bytes its length field gives\n",
                         name, real, body.declared);
            return false;
        case swf::BodyState::kShort:
            std::fprintf(stderr,
                         "filmcast: %s: warning: the movie is truncated: its length field gives "
                         "%u bytes, the file holds %llu%s\n",
                         name, body.declared, real,
                         body.declared == 0 ? " and its compressed body breaks off" : "");
            return false;
        case swf::BodyState::kComplete:
            break;
    }
    if (body.declared == 0) {
        std::fprintf(stderr, "filmcast: %s: the length field is 0; the movie holds %s%llu bytes\n",
                     name, body.capped ? "at least " : "", real);
    } else if (real > body.declared) {
        std::fprintf(stderr,
                     "filmcast: %s: the length field gives %u bytes, fewer than the movie "
                     "holds; it is played whole\n",
                     name, body.declared);
    }
    return true;
}

// Reads the movies' headers and lists them as they state them. Only a file that is not a
// movie (or cannot be read) is left out; a length that does not match is said on stderr.
int RunInfo(const std::vector<std::string>& files, bool json) {
    std::vector<MovieInfo> movies;
    int status = 0;
    for (const std::string& file : files) {
        const CSwfHeader header(file);
        if (header.LastError() != SwfHeaderError::None &&
            header.LastError() != SwfHeaderError::BadLength) {
            std::fprintf(stderr, "filmcast: %s: %s\n", file.c_str(),
                         header.LastErrorText().c_str());
            status = 1;
            continue;
        }
        movies.push_back({file, header.m_version, static_cast<std::uint32_t>(header.m_fileLength),
                          header.m_width, header.m_height, header.m_frameRate,
                          header.m_frameCount});
        if (!ReportLength(file, swf::MeasureBody(ReadPrefix(file)))) status = 1;
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
