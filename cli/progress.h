// The progress bar of `filmcast`: one line on stderr redrawn in place, shown only when stderr
// is a terminal and the user did not ask for quiet.
#pragma once

#include <string>

namespace cli {

class CProgress {
  public:
    CProgress(std::string label, bool quiet);
    ~CProgress();
    void Show(long done, long total);
    // Clears the bar so a message can be printed on a clean line.
    void Clear();

  private:
    std::string label_;
    bool enabled_ = false;
    bool drawn_ = false;
    int lastPercent_ = -1;
};

}  // namespace cli
