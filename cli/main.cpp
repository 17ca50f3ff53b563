// filmcast: the command-line converter. Headless; links no Qt.
#include <signal.h>

#include <cstdio>

#include "cli/commands.h"

int main(int argc, char** argv) {
    // A write past the file-size limit fails with EFBIG like any full disk, instead of ending
    // the process before it can clean up.
    signal(SIGXFSZ, SIG_IGN);
    // A reader of standard output that goes away makes a write fail with EPIPE, so the
    // command still removes its temporary files and says why.
    signal(SIGPIPE, SIG_IGN);
    CLI::App app{
        "filmcast - convert Flash movies (.swf) to animated GIFs, images and frame sequences",
        "filmcast"};
    app.set_version_flag("--version", "filmcast 1.0.0");
    app.require_subcommand(1);
    cli::RunState state;
    cli::AddFrameCommand(app, state);
    cli::AddInfoCommand(app, state);
    cli::AddConvertCommand(app, state);
    cli::AddFramesCommand(app, state);
    cli::AddTraceCommand(app, state);
    cli::AddSoundCommand(app, state);

    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp& e) {
        return app.exit(e);
    } catch (const CLI::CallForAllHelp& e) {
        return app.exit(e);
    } catch (const CLI::CallForVersion& e) {
        return app.exit(e);
    } catch (const CLI::ParseError& e) {
        app.exit(e);
        std::fprintf(stderr, "Run 'filmcast --help' for usage.\n");
        return 2;
    }
    return state.status;
}
