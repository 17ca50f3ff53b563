// Runs the movies of a batch each in a child process of its own, a few at a time, so that one
// broken movie cannot take the others down. Ctrl-C stops the children and still cleans up, and
// a child whose parent dies (killed, even by SIGKILL) is told to stop and clean up too.
// Children tell the parent how far they are and why they failed over a pipe; what they print
// on stderr reaches the parent's stderr line by line, above the progress line.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "cli/progress.h"

namespace cli {

// How one item's child ended, as the parent saw it.
struct ItemOutcome {
    bool started = false;
    int status = 1;            // the child's exit status (1 when killed or not started)
    int signal = 0;            // the signal that ended the child, 0 if it exited
    long frames = 0;           // frames the child reported done
    long peakKiB = 0;          // the child's peak resident memory
    double seconds = 0;        // wall time from start to end
    std::string reason;        // why it failed, as the child or prepare said
};

struct BatchItem {
    std::string input;  // named in messages about this item
    // Runs in the parent just before the child starts (temporary names are made only for
    // items that start); false, with the reason, fails the item without starting it.
    std::function<bool(std::string* reason)> prepare;
    std::function<int()> work;  // runs in the child; its result is the child's exit status
    std::function<void(const ItemOutcome&)> afterwards;  // runs in the parent when it ended
};

// Runs every item, at most `jobs` at once, showing the frames done of all of them on
// `progress`. Returns the worst outcome: 0 when every item succeeded, 2 when any child ended
// with 2 (a usage error found once the movie was read), 1 otherwise.
int RunInChildren(std::vector<BatchItem>& items, int jobs, CProgress& progress);

// True once SIGINT or SIGTERM reached the parent during RunInChildren, or, in a child, once
// the child was told to stop (by a signal, or because its parent died).
bool Interrupted();

// In a child: how many of its frames are done, and why it fails. Nothing outside a child.
void ReportFrames(long done, long total);
void ReportFailure(const std::string& reason);

}  // namespace cli
