// The seam every modal prompt of the program passes through: file and folder dialogs, message
// boxes and modal windows. Front ends ask Intercept() first; when a responder is installed
// (tests do this) its answer is used and no window is shown. Without one, Intercept() returns
// nothing and the caller shows its real dialog. Every request is recorded so tests can check
// what the user would have seen.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace prompt {

enum class Kind { OpenFile, SaveFile, Folder, MessageBox, Modal };

struct Request {
    Kind kind = Kind::MessageBox;
    std::string title;    // window caption
    std::string text;     // message text, or the filter string of a file dialog
    std::string initial;  // initial path or selection
    int buttons = 0;      // message boxes: MB_* style bits
    int selectedFilter = 1;
    std::string root;  // folder pickers: the folder browsing stays under; "" = anywhere
};

struct Answer {
    bool accepted = true;  // false = cancelled
    std::string path;      // chosen file or folder
    int selectedFilter = 1;
    int result = 1;        // message boxes and modal windows: the button / modal result
};

using Responder = std::function<Answer(const Request&)>;

// Installs a responder (tests); an empty one restores real dialogs. Clears the record.
void SetResponder(Responder responder);
// The installed responder's answer, or nothing when real dialogs are to be shown.
std::optional<Answer> Intercept(const Request& request);
// Requests seen while a responder was installed, oldest first.
const std::vector<Request>& Recorded();
void ClearRecorded();

}  // namespace prompt
