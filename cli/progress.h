// The progress line of `filmcast`: one line on stderr, redrawn in place, counting the frames of
// every movie of the run; notes are printed above it, never onto it. Shown only when stderr is
// a terminal and the user did not ask for quiet.
#pragma once

#include <chrono>
#include <string>

namespace cli {

// What the line counts. Frames are those of the movies started so far (a movie's count is
// known once it is loaded); `shareDone` is the run's done part, 0 to 1.
struct ProgressCounts {
    long moviesDone = 0;
    long movies = 0;
    long framesDone = 0;
    long framesKnown = 0;
    double shareDone = 0;
};

// The line's text: "[=====     ]  340/1200 frames  2/5 movies" (the movies only when several).
std::string ProgressLine(const ProgressCounts& counts);

class CProgress {
  public:
    explicit CProgress(bool quiet);
    ~CProgress();
    CProgress(const CProgress&) = delete;
    CProgress& operator=(const CProgress&) = delete;

    // Redraws the line when its text changed (at most ten times a second, and always once
    // everything is done).
    void Show(const ProgressCounts& counts);
    // Prints one line of text (a note or an error) above the progress line.
    void Print(const std::string& line);
    // Removes the line.
    void Clear();

  private:
    void Draw();

    bool enabled_ = false;
    bool drawn_ = false;
    std::string text_;
    std::chrono::steady_clock::time_point lastDraw_{};
};

}  // namespace cli
