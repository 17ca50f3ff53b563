// Runs the movies of a batch each in a child process of its own, a few at a time, so that one
// broken movie cannot take the others down. Ctrl-C stops the children and still cleans up, and
// a child whose parent dies (killed, even by SIGKILL) is told to stop and clean up too.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace cli {

struct BatchItem {
    std::string input;  // named in messages about this item
    // Runs in the parent just before the child starts (temporary names are made only for
    // items that start); false, after a message, fails the item without starting it.
    std::function<bool()> prepare;
    std::function<int()> work;  // runs in the child; its result is the child's exit status
    std::function<void(bool succeeded)> afterwards;  // runs in the parent when the child ended
};

// Runs every item, at most `jobs` at once; `done(k, n)` after each one. Returns the number of
// items that failed (exit status not 0, or killed). Interrupted by a signal: 130 + stops.
int RunInChildren(std::vector<BatchItem>& items, int jobs,
                  const std::function<void(long, long)>& done);

// True once SIGINT or SIGTERM reached the parent during RunInChildren, or, in a child, once
// the child was told to stop (by a signal, or because its parent died).
bool Interrupted();

}  // namespace cli
