#include "cli/batch_files.h"

#include <signal.h>
#include <unistd.h>

#include <climits>
#include <cstring>

namespace cli {

namespace {

char g_removeOnInterrupt[PATH_MAX] = {};

void RemoveAndExit(int) {
    if (g_removeOnInterrupt[0] != '\0') unlink(g_removeOnInterrupt);
    _exit(130);
}

}  // namespace

void RemoveOnInterrupt(const std::string& path) {
    struct sigaction action {};
    sigemptyset(&action.sa_mask);
    if (path.empty() || path.size() >= sizeof g_removeOnInterrupt) {
        g_removeOnInterrupt[0] = '\0';
        action.sa_handler = SIG_DFL;
    } else {
        // Written before the handler is set, so the handler never reads a half-copied name.
        std::memcpy(g_removeOnInterrupt, path.c_str(), path.size() + 1);
        action.sa_handler = RemoveAndExit;
    }
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

}  // namespace cli
