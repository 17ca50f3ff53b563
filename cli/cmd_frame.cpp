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
#include "cli/common_options.h"
#include "cli/standard_streams.h"
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
    CommonOptions common;
    std::string output;
    player::Quality quality = player::Quality::kHigh;
    ScriptOptions scripts;
};

int Fail(const std::string& what, const std::string& reason) {
    std::fprintf(stderr, "filmcast frame: %s: %s\n", what.c_str(), reason.c_str());
    return 1;
}

int UsageError(const std::string& message) {
    std::fprintf(stderr, "filmcast frame: %s\nRun 'filmcast frame --help' for usage.\n",
                 message.c_str());
    return 2;
}

// The picture a movie read from standard input is written as when -o is '-'.
constexpr char kStandardOutputPicture[] = "frame.png";

// The output's folder, made as the other commands make theirs ("" for the current folder).
std::string OutputFolder(const std::string& output) {
    const std::string parent = std::filesystem::path(output).parent_path().string();
    return parent.empty() || parent.back() == '/' ? parent : parent + "/";
}

// Draws the picture into `temp` and moves it to `output` (or copies it to standard output).
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
    if (output == kStandardStream) {
        if (!CopyToStandardOutput(temp, &error)) return Fail("standard output", error);
        return 0;
    }
    if (std::rename(temp.c_str(), output.c_str()) != 0)
        return Fail(output, "cannot write " + output + ": " + std::strerror(errno));
    return 0;
}

int RunFrame(const FrameOptions& options) {
    SizeOption size;
    if (!ToSizeOption(options.common, &size))
        return UsageError("bad --size '" + options.common.size + "' (expected WxH)");
    const bool toOutput = options.output == kStandardStream;
    const bool fromInput = options.movie == kStandardStream;
    const std::string label = fromInput ? kStandardInputLabel : options.movie;
    auto note = [&](const std::string& text) {
        if (!text.empty() && !options.common.quiet)
            std::fprintf(stderr, "filmcast: %s: %s\n", label.c_str(), text.c_str());
    };
    std::error_code missing;
    if (!toOutput && options.common.noClobber &&
        std::filesystem::exists(std::filesystem::symlink_status(options.output, missing)))
        return Fail(options.output, "exists; not replaced (--no-clobber)");
    std::string error;
    // A movie from standard input, and a picture for standard output, are kept in a private
    // folder meanwhile.
    Reservation work;
    std::string moviePath = options.movie;
    if (fromInput || toOutput) {
        work = MakePrivateWorkFolder(&error);
        if (!work.Valid()) return Fail(label, "cannot create temporary files: " + error);
    }
    if (fromInput && !SpoolStandardInput(work.Path(), &moviePath, &error)) {
        work.Remove();
        return Fail(label, error);
    }
    auto movie = player::Player::LoadFile(moviePath, &error);
    if (!movie) {
        work.Remove();
        return Fail(label, error);
    }
    movie->SetQuality(options.quality);
    movie->SetScripting(options.scripts.Settings());
    if (movie->UsesActionScript3()) note("ActionScript 3 is not run");
    note(EndedEarlyNote(movie->Stage()));
    int width = 0, height = 0;
    std::string sizeNote;
    if (!ChooseOutputSize(size, movie->Stage(), &width, &height, &sizeNote)) {
        work.Remove();
        return Fail(label, "the output size is too large");
    }
    note(sizeNote);
    Reservation temp;
    std::string tempPath;
    if (toOutput) {
        tempPath = work.Path() + kStandardOutputPicture;
    } else {
        const std::string folder = OutputFolder(options.output);
        if (!capture::EnsureFolder(folder, &error)) {
            work.Remove();
            return Fail(options.output, error);
        }
        // Written under a temporary name and renamed once complete: an interrupt, a full disk
        // or a failed save never leaves a partial picture nor removes an older one.
        temp = ReserveTemporarySibling(options.output, &error);
        if (!temp.Valid()) {
            work.Remove();
            return Fail(options.output, error);
        }
        tempPath = temp.Path();
    }
    if (options.common.verbose)
        std::fprintf(stderr, "filmcast: %s: drawing tick %d at %dx%d\n", label.c_str(),
                     options.at, width, height);
    RemoveOnInterrupt(tempPath);
    const int status = DrawAndSave(*movie, options.at, width, height, tempPath, options.output);
    RemoveOnInterrupt("");
    temp.Remove();
    work.Remove();
    if (status == 0 && movie->FramesCut() > 0)
        note("the frame needed more drawing work than a frame may take; it keeps what it drew "
             "before that");
    if (status == 0 && options.common.verbose)
        std::fprintf(stderr, "filmcast: %s: wrote %s\n", label.c_str(),
                     toOutput ? "standard output" : options.output.c_str());
    return status;
}

}  // namespace

void AddFrameCommand(CLI::App& app, RunState& state) {
    auto options = std::make_shared<FrameOptions>();
    CLI::App* cmd = app.add_subcommand(
        "frame",
        "Render the picture shown after N ticks to an image (bmp, gif, jpg, png, tif, tga)");
    cmd->add_option("movie", options->movie,
                    "Flash movie (.swf); '-' reads it from standard input")
        ->required();
    cmd->add_option("--at", options->at, "ticks played from the start (0 = first frame)")
        ->check(CLI::Range(0, 1000000));
    AddSizeOptions(cmd, &options->common, "picture");
    AddQualityOption(cmd, &options->quality);
    AddScriptOptions(cmd, &options->scripts);
    cmd->add_option("-o,--output", options->output,
                    "image file to write; its extension picks the format ('-': a PNG on "
                    "standard output)")
        ->required();
    AddOverwriteOptions(cmd, &options->common);
    AddTalkOptions(cmd, &options->common, false);
    cmd->callback([options, &state] { state.status = RunFrame(*options); });
}

}  // namespace cli
