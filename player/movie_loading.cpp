// Movies scripts load into clips and onto levels (loadMovie, loadMovieNum, MovieClipLoader):
// the file is read beside the movie under the loading rules (player/loading.h), parsed into a
// model of its own, and a fresh clip of its root timeline takes the target's place. The
// loaded clip and everything it places find their characters in its own library; the played
// movie's frame rate goes on ruling the clock.
#include <algorithm>
#include <cctype>
#include <string>

#include "player/loading.h"
#include "player/reader.h"
#include "player/timeline.h"

namespace player {

namespace {

bool SameLetters(std::string_view a, std::string_view b) {
    return std::ranges::equal(a, b, [](char x, char y) {
        return std::tolower(static_cast<unsigned char>(x)) ==
               std::tolower(static_cast<unsigned char>(y));
    });
}

}  // namespace

const MovieState::LoadedFile* MovieState::LoadedMovie(std::string_view address, bool* notMovie,
                                     std::string* reason) {
    *notMovie = false;
    const std::string_view file = address.substr(0, address.find_first_of("?#"));
    if (auto known = loadedMovies_.find(file); known != loadedMovies_.end())
        return &known->second;
    if (++loadsThisTick_ > Caps().maxLoadsPerTick) {
        *reason = "more than " + std::to_string(Caps().maxLoadsPerTick) +
                  " loads were asked for in one frame";
        return nullptr;
    }
    if (loadedMovies_.size() >= Caps().maxLoadedMovies) {
        *reason = "a movie may load at most " + std::to_string(Caps().maxLoadedMovies) +
                  " other movies";
        return nullptr;
    }
    std::string bytes;
    if (!ReadBesideMovie(folder_, address, Caps().maxLoadedFileBytes, &bytes, reason))
        return nullptr;
    LoadError error = LoadError::kNone;
    const auto* data = reinterpret_cast<const std::uint8_t*>(bytes.data());
    auto movie = ReadMovie(std::span(data, bytes.size()), &error, loadBudget_);
    if (!movie) {
        *notMovie = true;
        *reason = std::string("the file is not a movie (") + LoadErrorName(error) + ")";
        return nullptr;
    }
    if (loadBudget_.Exhausted()) {
        *reason = "the movies loaded so far took all the memory loaded movies may take";
        return nullptr;
    }
    LoadedFile& kept = loadedMovies_[std::string(file)];
    kept.movie = std::move(movie);
    kept.bytes = static_cast<double>(bytes.size());
    return &kept;
}

const Character* MovieState::FindCharacter(const Movie& movie, std::uint16_t id,
                                          const Movie** from, std::uint16_t* fromId) {
    *from = &movie;
    *fromId = id;
    if (const Character* own = movie.Find(id)) return own;
    auto imported = movie.imports.find(id);
    if (imported == movie.imports.end()) return nullptr;
    bool notMovie = false;
    std::string reason;
    const LoadedFile* file = LoadedMovie(imported->second.url, &notMovie, &reason);
    if (!file) {
        Problem("the movie imports \"" + imported->second.name + "\" from \"" +
                imported->second.url + "\": " + reason + "; it is left out");
        return nullptr;
    }
    const Movie& other = *file->movie;
    auto exported = other.exports.find(imported->second.name);
    if (exported == other.exports.end()) return nullptr;
    *from = &other;
    *fromId = exported->second;
    return other.Find(exported->second);
}

const Character* MovieState::FindExport(const Movie& movie, std::string_view name,
                                        const Movie** from, std::uint16_t* id) {
    *from = &movie;
    if (auto exported = movie.exports.find(std::string(name)); exported != movie.exports.end()) {
        *id = exported->second;
        return movie.Find(*id);
    }
    // Export names match without regard to case when no name matches exactly.
    for (const auto& [exportName, exportId] : movie.exports) {
        if (!SameLetters(exportName, name)) continue;
        *id = exportId;
        return movie.Find(*id);
    }
    for (const auto& [importedId, import] : movie.imports) {
        if (import.name != name) continue;
        *id = importedId;
        std::uint16_t fromId = 0;
        return FindCharacter(movie, importedId, from, &fromId);
    }
    return nullptr;
}

int MovieState::LoadNesting(const SpriteInstance& clip) const {
    int nesting = 0;
    for (const SpriteInstance* c = &clip; c; c = c->parent) nesting += c->loadedMovie;
    return nesting;
}

SpriteInstance* MovieState::ReplaceContent(SpriteInstance* clip, int level, const Movie* movie) {
    const Timeline& timeline = movie ? movie->root : EmptyTimeline();
    if (!clip) {
        // A level not there yet.
        std::shared_ptr<SpriteInstance>& slot = level == 0 ? root_ : levels_[level];
        slot = NewInstance(timeline, 0, nullptr, movie ? movie : movie_.get());
        slot->level = level;
        clip = slot.get();
    } else {
        // The clip stays itself to scripts (references to it go on working); what it showed
        // goes.
        for (auto& [depth, object] : clip->displayList) Unload(object.sprite);
        clip->displayList.clear();
        clip->drawing.reset();
        clip->timeline = &timeline;
        if (movie) clip->movie = movie;
        clip->frame = 0;
        clip->playing = true;
        clip->characterId = 0;
        clip->button = nullptr;
        clip->born = tick_;
    }
    clip->loadedMovie = movie != nullptr;
    if (!timeline.frames.empty()) {
        ApplyFrame(*clip, 0, true);
    }
    return clip;
}

script::ClipHost* MovieState::LoadMovie(std::string_view address, script::ClipHost* clip,
                                        int level, double* bytes, std::string* reason) {
    auto* target = dynamic_cast<SpriteInstance*>(clip);
    if (clip && !target) {
        *reason = "its target is not a clip";
        return nullptr;
    }
    if (!target && (level < 0 || level > Limits::kMaxLevel)) {
        *reason = "there is no level " + std::to_string(level);
        return nullptr;
    }
    if ((target ? LoadNesting(*target) : 0) + 1 > Caps().maxLoadNesting) {
        *reason = "movies loaded inside loaded movies go at most " +
                  std::to_string(Caps().maxLoadNesting) + " deep";
        return nullptr;
    }
    bool notMovie = false;
    const LoadedFile* file = LoadedMovie(address, &notMovie, reason);
    if (!file && !notMovie) return nullptr;
    // A file that is no movie arrives all the same, and leaves its target empty.
    if (notMovie) Problem("a script loaded \"" + std::string(address) + "\": " + *reason);
    *bytes = file ? file->bytes : 0;
    if (!target) target = static_cast<SpriteInstance*>(Level(level));
    // The clip stays itself to scripts, without the variables they gave it.
    if (target) vm_->ForgetClipVariables(target);
    return ReplaceContent(target, level, file ? file->movie.get() : nullptr);
}

void MovieState::UnloadMovie(script::ClipHost* clip) {
    auto* target = dynamic_cast<SpriteInstance*>(clip);
    if (!target) return;
    if (!target->parent && target->level > 0) {
        auto found = levels_.find(target->level);
        if (found == levels_.end() || found->second.get() != target) return;
        Unload(found->second);
        levels_.erase(found);
        return;
    }
    // Its unload handlers run, then it stays as an empty clip.
    if (vm_->ExistingClip(target) || target->clipActions)
        unloading_.push_back(target->shared_from_this());
    ReplaceContent(target, 0, nullptr);
}

void MovieState::FinishLoads() {
    if (!vm_->RunLoads()) return;
    RunActions();
    vm_->RunAfterFrames();
    RunActions();
}

// Queued, not run here: data arrives inside a built-in's call, and the handlers run with the
// tick's actions.
void MovieState::RunDataHandlers(SpriteInstance& s) { QueueClipEvents(s, kClipData); }

double SpriteInstance::MovieBytes() const {
    if (!state || !movie) return 0;
    for (const auto& [address, file] : state->loadedMovies_)
        if (file.movie.get() == movie) return file.bytes;
    return static_cast<double>(movie->fileBytes);
}

void SpriteInstance::DataArrived() {
    if (state) state->RunDataHandlers(*this);
}

}  // namespace player
