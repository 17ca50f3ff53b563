#include "cli/child_batch.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <map>

namespace cli {

namespace {

volatile sig_atomic_t g_interrupted = 0;
// In a child: the pipe to the parent's reader of progress and reasons.
int g_toParent = -1;

void OnInterrupt(int) {
    g_interrupted = 1;
}

// Installs the interrupt handler for the parent's lifetime in RunInChildren; poll then returns
// early so the children can be stopped and their files removed.
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
    // A parent gone mid-write must not end the child before it cleans up.
    signal(SIGPIPE, SIG_IGN);
    prctl(PR_SET_PDEATHSIG, SIGTERM);
    if (getppid() != parent) g_interrupted = 1;  // the parent died before the line above
}

void WriteAll(int fd, const std::string& text) {
    std::size_t written = 0;
    while (written < text.size()) {
        const ssize_t n = write(fd, text.data() + written, text.size() - written);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;
        written += static_cast<std::size_t>(n);
    }
}

// Text arriving from a pipe, cut into lines.
struct LineReader {
    int fd = -1;
    std::string pending;
    // Reads what is there; calls `line` for each complete line. False at end of file.
    template <class OnLine>
    bool Read(OnLine line) {
        char buffer[4096];
        const ssize_t n = read(fd, buffer, sizeof buffer);
        if (n < 0) return errno == EINTR || errno == EAGAIN;
        if (n == 0) {
            if (!pending.empty()) line(pending);
            pending.clear();
            return false;
        }
        pending.append(buffer, static_cast<std::size_t>(n));
        std::size_t start = 0;
        for (std::size_t end; (end = pending.find('\n', start)) != std::string::npos;
             start = end + 1)
            line(pending.substr(start, end - start));
        pending.erase(0, start);
        // A child that never ends its line cannot make the parent hold more than this.
        if (pending.size() > kMaxLine) {
            line(pending);
            pending.clear();
        }
        return true;
    }
    void Close() {
        if (fd >= 0) close(fd);
        fd = -1;
    }
    static constexpr std::size_t kMaxLine = 64 * 1024;
};

struct Running {
    std::size_t index = 0;
    LineReader err;      // the child's stderr
    LineReader channel;  // its progress and reasons
    long done = 0;
    long total = 0;
    std::string reason;
    std::chrono::steady_clock::time_point start;
};

// The progress and reason lines a child sends: "F done total" and "E reason".
void Hear(Running& child, const std::string& line) {
    if (line.rfind("F ", 0) == 0) {
        char* end = nullptr;
        const long done = std::strtol(line.c_str() + 2, &end, 10);
        const long total = std::strtol(end, nullptr, 10);
        if (done >= 0 && total >= 0 && done <= total) {
            child.done = done;
            child.total = total;
        }
    } else if (line.rfind("E ", 0) == 0) {
        child.reason = line.substr(2);
    }
}

class Batch {
  public:
    Batch(std::vector<BatchItem>& items, int jobs, CProgress& progress)
        : items_(items), jobs_(std::max(jobs, 1)), progress_(progress) {}

    int Run() {
        while (next_ < items_.size() || !running_.empty()) {
            while (!g_interrupted && next_ < items_.size() &&
                   static_cast<int>(running_.size()) < jobs_)
                Start(next_++);
            if (running_.empty()) break;
            if (g_interrupted)
                for (const auto& [pid, child] : running_) kill(pid, SIGTERM);
            Listen();
            Reap();
            ShowProgress();
        }
        return worst_;
    }

  private:
    void Start(std::size_t index) {
        BatchItem& item = items_[index];
        std::string reason;
        progress_.Clear();
        if (item.prepare && !item.prepare(&reason)) {
            Finish(item, Failed(item, reason));
            return;
        }
        int err[2], channel[2];
        if (pipe(err) != 0) {
            Finish(item, Failed(item, "cannot start a process for it"));
            return;
        }
        if (pipe(channel) != 0) {
            close(err[0]);
            close(err[1]);
            Finish(item, Failed(item, "cannot start a process for it"));
            return;
        }
        std::fflush(stdout);
        std::fflush(stderr);
        const pid_t parent = getpid();
        const pid_t pid = fork();
        if (pid == 0) {
            close(err[0]);
            close(channel[0]);
            dup2(err[1], STDERR_FILENO);
            close(err[1]);
            g_toParent = channel[1];
            BecomeChildOf(parent);
            const int status = item.work();
            std::fflush(stdout);
            std::fflush(stderr);
            _exit(status);
        }
        close(err[1]);
        close(channel[1]);
        if (pid < 0) {
            close(err[0]);
            close(channel[0]);
            Finish(item, Failed(item, "cannot start a process for it"));
            return;
        }
        Running& child = running_[pid];
        child.index = index;
        child.err.fd = err[0];
        child.channel.fd = channel[0];
        child.start = std::chrono::steady_clock::now();
    }

    ItemOutcome Failed(const BatchItem& item, const std::string& reason) {
        ItemOutcome outcome;
        outcome.reason = reason;
        progress_.Print("filmcast: " + item.input + ": " + reason);
        return outcome;
    }

    void Finish(BatchItem& item, const ItemOutcome& outcome) {
        if (item.afterwards) item.afterwards(outcome);
        worst_ = std::max(worst_, outcome.status == 2 ? 2 : (outcome.status != 0 ? 1 : 0));
        ++finished_;
        framesFinished_ += outcome.frames;
    }

    // Waits up to a tenth of a second for text from the children and passes it on.
    void Listen() {
        std::vector<pollfd> fds;
        std::vector<LineReader*> readers;
        std::vector<Running*> owners;
        for (auto& [pid, child] : running_) {
            for (LineReader* reader : {&child.err, &child.channel}) {
                if (reader->fd < 0) continue;
                fds.push_back({reader->fd, POLLIN, 0});
                readers.push_back(reader);
                owners.push_back(&child);
            }
        }
        if (fds.empty()) {
            usleep(20000);
            return;
        }
        if (poll(fds.data(), fds.size(), 100) <= 0) return;
        for (std::size_t i = 0; i < fds.size(); ++i) {
            if (fds[i].revents == 0) continue;
            ReadFrom(*owners[i], *readers[i]);
        }
    }

    void ReadFrom(Running& child, LineReader& reader) {
        const bool open = reader.Read([&](const std::string& line) {
            if (&reader == &child.err) progress_.Print(line);
            else Hear(child, line);
        });
        if (!open) reader.Close();
    }

    void Reap() {
        int waitStatus = 0;
        rusage usage{};
        pid_t pid;
        while ((pid = wait4(-1, &waitStatus, WNOHANG, &usage)) > 0) {
            const auto it = running_.find(pid);
            if (it == running_.end()) continue;
            Running& child = it->second;
            // What the child wrote before it ended is still in the pipes.
            while (child.err.fd >= 0) ReadFrom(child, child.err);
            while (child.channel.fd >= 0) ReadFrom(child, child.channel);
            ItemOutcome outcome;
            outcome.started = true;
            outcome.frames = child.done;
            outcome.peakKiB = usage.ru_maxrss;
            outcome.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() -
                                                            child.start)
                                  .count();
            outcome.reason = child.reason;
            if (WIFEXITED(waitStatus)) {
                outcome.status = WEXITSTATUS(waitStatus);
            } else if (WIFSIGNALED(waitStatus)) {
                outcome.signal = WTERMSIG(waitStatus);
                if (g_interrupted) {
                    outcome.reason = "interrupted";
                } else {
                    outcome.reason = "the conversion crashed (signal " +
                                     std::to_string(outcome.signal) + ")";
                    progress_.Print("filmcast: " + items_[child.index].input + ": " +
                                    outcome.reason);
                }
            }
            BatchItem& item = items_[child.index];
            running_.erase(it);
            Finish(item, outcome);
        }
    }

    void ShowProgress() {
        ProgressCounts counts;
        counts.movies = static_cast<long>(items_.size());
        counts.moviesDone = finished_;
        counts.framesDone = framesFinished_;
        counts.framesKnown = framesFinished_;
        double share = finished_;
        for (const auto& [pid, child] : running_) {
            counts.framesDone += child.done;
            counts.framesKnown += child.total;
            if (child.total > 0) share += static_cast<double>(child.done) / child.total;
        }
        counts.shareDone = counts.movies > 0 ? share / counts.movies : 1.0;
        progress_.Show(counts);
    }

    std::vector<BatchItem>& items_;
    const int jobs_;
    CProgress& progress_;
    std::map<pid_t, Running> running_;
    std::size_t next_ = 0;
    long finished_ = 0;
    long framesFinished_ = 0;
    int worst_ = 0;
};

}  // namespace

bool Interrupted() {
    return g_interrupted != 0;
}

int RunInChildren(std::vector<BatchItem>& items, int jobs, CProgress& progress) {
    InterruptGuard guard;
    Batch batch(items, jobs, progress);
    const int worst = batch.Run();
    progress.Clear();
    return worst;
}

void ReportFrames(long done, long total) {
    if (g_toParent >= 0)
        WriteAll(g_toParent, "F " + std::to_string(done) + " " + std::to_string(total) + "\n");
}

void ReportFailure(const std::string& reason) {
    if (g_toParent < 0) return;
    std::string line = reason;
    std::replace(line.begin(), line.end(), '\n', ' ');
    WriteAll(g_toParent, "E " + line + "\n");
}

}  // namespace cli
