// How the command line names what it writes and which movies a run takes: the format's file
// extension, default output names, folders mirrored under the output folder, movie lists, the
// share of a list one machine takes, and the JSON text of a run's report.
#pragma once

#include <cstddef>
#include <istream>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace cli {

// The extension (".gif") a file of the format ends in; "" for a format this table lacks.
std::string_view FormatExtension(std::string_view format);

// Whether `-o` names the output file itself rather than a folder: it ends in the format's
// extension (any case) after a file name, and is not a folder already.
bool NamesOutputFile(const std::string& output, std::string_view format);

// The movie's file name without its extension: "demo" for "films/demo.swf".
std::string MovieStem(const std::string& moviePath);

// A numbered sequence frame: "demo-00042.png" for ("demo", 42, ".png").
std::string SequenceFrameName(const std::string& stem, long frame, const std::string& extension);

// The folder a movie's outputs go to below the output folder when the input tree is mirrored:
// the movie's own folder as given, "" for none, "/"-terminated otherwise, absolute paths taken
// below the root. Nothing when the path climbs out with "..".
std::optional<std::string> MirroredFolder(const std::string& moviePath);

// The movies a list names, one a line: blank lines (spaces and tabs at most) are skipped, a
// trailing '\r' dropped, other spaces kept as part of the name.
// False, with the reason, past `maxMovies` movies or on a line longer than a path may be.
bool ReadMovieList(std::istream& in, std::size_t maxMovies, std::vector<std::string>* movies,
                   std::string* error);

// `--shard K/N`: this run takes every N-th movie from the K-th (K from 1 to N).
struct Shard {
    std::size_t index = 1;
    std::size_t count = 1;
};
std::optional<Shard> ParseShard(const std::string& text);
std::vector<std::string> TakeShard(const std::vector<std::string>& movies, const Shard& shard);

// The text as a JSON string, quotes included; bytes below 0x20 escaped.
std::string JsonString(std::string_view text);

}  // namespace cli
