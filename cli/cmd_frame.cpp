// `filmcast frame`: renders the picture a stand-alone player shows after N ticks into an image
// file.
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>

#include "capture/frame_capture.h"
#include "capture/workfolders.h"
#include "cli/batch_files.h"
#include "cli/commands.h"
#include "cli/movie_job.h"
#include "cli/output_size.h"
#include "cli/quality_option.h"
#include "cli/script_options.h"
#include "player/player.h"

namespace cli {

namespace {

struct FrameOptions {
    std::string movie;
    int at = 0;
    std::string size;
    std::string output;
    player::Quality quality = player::Quality::kHigh;
    ScriptOptions scripts;
};

int Fail(const std::string& what, const std::string& reason) {
    std::fprintf(stderr, "filmcast frame: %s: %s\n", what.c_str(), reason.c_str());
    return 1;
}

void Note(const std::string& movie, const std::string& note) {
    if (!note.empty()) std::fprintf(stderr, "filmcast: %s: %s\n", movie.c_str(), note.c_str());
}

// The output's folder, made as the other commands make theirs ("" for the current folder).
std::string OutputFolder(const std::string& output) {
    const std::string parent = std::filesystem::path(output).parent_path().string();
    return parent.empty() || parent.back() == '/' ? parent : parent + "/";
}

int DrawAndSave(player::Player& movie, int at, int width, int height, const std::string& temp,
                const std::string& output) {
    movie.PlayTicksFromStart(at);
    CSurface surface(width, height);
    if (!surface.IsValid())
        return Fail(output, "cannot allocate a " + std::to_string(width) + "x" +
                                std::to_string(height) + " picture");
    movie.Render({surface.Pixels(), width, height, surface.Stride()});
    // The file's extension picks the format, as every image the program writes; the temporary
    // name keeps it.
    std::string error;
    if (!capture::SaveSurface(surface, temp, &error)) {
        // The reason names the temporary file; the user knows the output's name.
        if (const auto found = error.find(temp); found != std::string::npos)
            error.replace(found, temp.size(), output);
        return Fail(output, error);
    }
    if (std::rename(temp.c_str(), output.c_str()) != 0)
        return Fail(output, "cannot write " + output + ": " + std::strerror(errno));
    return 0;
}

int RunFrame(const FrameOptions& options) {
    SizeOption size;
    if (!options.size.empty()) {
        const auto parsed = ParseSize(options.size);
        if (!parsed) {
            std::fprintf(stderr, "filmcast frame: bad --size '%s' (expected WxH)\n",
                         options.size.c_str());
            return 2;
        }
        size = *parsed;
    }
    std::string error;
    auto movie = player::Player::LoadFile(options.movie, &error);
    if (!movie) return Fail(options.movie, error);
    movie->SetQuality(options.quality);
    movie->SetScripting(options.scripts.Settings());
    if (movie->UsesActionScript3()) Note(options.movie, "ActionScript 3 is not run");
    Note(options.movie, EndedEarlyNote(movie->Stage()));
    int width = 0, height = 0;
    std::string note;
    ChooseOutputSize(size, movie->Stage(), &width, &height, &note);
    Note(options.movie, note);
    const std::string folder = OutputFolder(options.output);
    if (!capture::EnsureFolder(folder, &error)) return Fail(options.output, error);
    // Written under a temporary name and renamed once complete: an interrupt, a full disk or a
    // failed save never leaves a partial picture nor removes an older one.
    Reservation temp = ReserveTemporarySibling(options.output, &error);
    if (!temp.Valid()) return Fail(options.output, error);
    RemoveOnInterrupt(temp.Path());
    const int status = DrawAndSave(*movie, options.at, width, height, temp.Path(), options.output);
    RemoveOnInterrupt("");
    temp.Remove();
    if (status == 0 && movie->FramesCut() > 0)
        Note(options.movie,
             "the frame needed more drawing work than a frame may take; it keeps what it drew "
             "before that");
    return status;
}

}  // namespace

void AddFrameCommand(CLI::App& app, RunState& state) {
    auto options = std::make_shared<FrameOptions>();
    CLI::App* cmd = app.add_subcommand(
        "frame",
        "Render the picture shown after N ticks to an image (bmp, gif, jpg, png, tif, tga)");
    cmd->add_option("movie", options->movie, "Flash movie (.swf)")->required();
    cmd->add_option("--at", options->at, "ticks played from the start (0 = first frame)")
        ->check(CLI::Range(0, 1000000));
    cmd->add_option("--size", options->size, "picture size WxH (default: the stage size)");
    AddQualityOption(cmd, &options->quality);
    AddScriptOptions(cmd, &options->scripts);
    cmd->add_option("-o,--output", options->output,
                    "image file to write; its extension picks the format")
        ->required();
    cmd->callback([options, &state] { state.status = RunFrame(*options); });
}

}  // namespace cli
