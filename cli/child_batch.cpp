#include "cli/child_batch.h"

#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <map>

namespace cli {

namespace {

volatile sig_atomic_t g_interrupted = 0;

void OnInterrupt(int) {
    g_interrupted = 1;
}

// Installs the interrupt handler for the parent's lifetime in RunInChildren; waitpid then
// returns early so the children can be stopped and their files removed.
class InterruptGuard {
  public:
    InterruptGuard() {
        struct sigaction action {};
        action.sa_handler = OnInterrupt;
        sigemptyset(&action.sa_mask);
        sigaction(SIGINT, &action, &oldInt_);
        sigaction(SIGTERM, &action, &oldTerm_);
    }
    ~InterruptGuard() {
        sigaction(SIGINT, &oldInt_, nullptr);
        sigaction(SIGTERM, &oldTerm_, nullptr);
    }

  private:
    struct sigaction oldInt_ {};
    struct sigaction oldTerm_ {};
};

// In a child: SIGINT and SIGTERM ask the work to stop (it checks Interrupted() and cleans up
// after itself), and the parent's death sends SIGTERM, so no child converts on alone.
void BecomeChildOf(pid_t parent) {
    g_interrupted = 0;
    struct sigaction action {};
    action.sa_handler = OnInterrupt;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    prctl(PR_SET_PDEATHSIG, SIGTERM);
    if (getppid() != parent) g_interrupted = 1;  // the parent died before the line above
}

bool Succeeded(int waitStatus) {
    return WIFEXITED(waitStatus) && WEXITSTATUS(waitStatus) == 0;
}

void ReportCrash(const BatchItem& item, int waitStatus) {
    if (WIFSIGNALED(waitStatus) && !g_interrupted) {
        std::fprintf(stderr, "filmcast: %s: the conversion crashed (signal %d)\n",
                     item.input.c_str(), WTERMSIG(waitStatus));
    }
}

}  // namespace

bool Interrupted() {
    return g_interrupted != 0;
}

int RunInChildren(std::vector<BatchItem>& items, int jobs,
                  const std::function<void(long, long)>& done) {
    InterruptGuard guard;
    std::map<pid_t, std::size_t> running;
    std::size_t next = 0;
    long finished = 0;
    int failed = 0;
    const long total = static_cast<long>(items.size());
    if (jobs < 1) jobs = 1;

    while ((next < items.size() || !running.empty())) {
        while (!g_interrupted && next < items.size() && static_cast<int>(running.size()) < jobs) {
            if (items[next].prepare && !items[next].prepare()) {
                ++failed;
                if (done) done(++finished, total);
                ++next;
                continue;
            }
            std::fflush(stdout);
            std::fflush(stderr);
            const pid_t parent = getpid();
            const pid_t pid = fork();
            if (pid == 0) {
                BecomeChildOf(parent);
                const int status = items[next].work();
                std::fflush(stdout);
                std::fflush(stderr);
                _exit(status);
            }
            if (pid < 0) {
                std::fprintf(stderr, "filmcast: %s: cannot start a process for it\n",
                             items[next].input.c_str());
                if (items[next].afterwards) items[next].afterwards(false);
                ++failed;
                ++finished;
            } else {
                running[pid] = next;
            }
            ++next;
        }
        if (running.empty()) break;
        if (g_interrupted) {
            for (const auto& [pid, index] : running) kill(pid, SIGTERM);
        }
        int waitStatus = 0;
        const pid_t pid = waitpid(-1, &waitStatus, 0);
        if (pid < 0) {
            if (errno == EINTR) continue;
            break;
        }
        const auto it = running.find(pid);
        if (it == running.end()) continue;
        BatchItem& item = items[it->second];
        running.erase(it);
        ReportCrash(item, waitStatus);
        const bool ok = Succeeded(waitStatus);
        if (item.afterwards) item.afterwards(ok);
        if (!ok) ++failed;
        if (done) done(++finished, total);
    }
    return failed;
}

}  // namespace cli
