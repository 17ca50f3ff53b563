// Reads a whole movie file into the typed model: decompression, header, then the tag stream of
// the root and of every sprite. Fatal only when there is no header to read; everything after it
// is read as far as it goes, with problems noted in Movie::problems.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "player/limits.h"
#include "player/load_error.h"
#include "player/model.h"

namespace player {

// Returns the movie, or nullptr with *error set (not a movie, unreadable or oversized body).
std::shared_ptr<const Movie> ReadMovie(std::span<const std::uint8_t> file, std::string* error,
                                       const Limits& limits = {});
// The same with the reason as a value (kNone on success).
std::shared_ptr<const Movie> ReadMovie(std::span<const std::uint8_t> file, LoadError* error,
                                       const Limits& limits = {});
// The same, read under the budget's caps and charged to it (several movies can share one).
std::shared_ptr<const Movie> ReadMovie(std::span<const std::uint8_t> file, LoadError* error,
                                       ModelBudget& budget);

// Reads a tag stream into a timeline until its End tag or the end of the data. Definitions met
// on the way go into movie->dictionary when movie is given. Returns true when the End tag
// was reached. Stops where the budget runs out.
bool ReadTimeline(std::span<const std::uint8_t> data, int nesting, ModelBudget& budget,
                  Timeline* timeline, std::vector<std::string>* problems, Movie* movie = nullptr,
                  int swfVersion = 10);

}  // namespace player
