// The folder picker and the movie-open and image-save dialogs. Each asks the prompt seam
// (platform/prompt.h) first, so tests can answer it; otherwise it shows a Qt file dialog.
// Filter strings are written as "Description|patterns|...|", patterns separated by ";".
#pragma once

#include <string>
#include <vector>

#include "platform/wintypes.h"

inline constexpr char kMovieFilter[] = "Flash Files (*.swf)|*.swf|";
inline constexpr char kImageFilter[] =
    "BMP File (*.bmp)|*.bmp|"
    "GIF File (*.gif)|*.gif|"
    "JPEG File (*.jpg;*.jpeg)|*.jpg;*.jpeg|"
    "PNG Files (*.png)|*.png|"
    "TIFF Files (*.tif;*.tiff)|*.tif;*.tiff|";

// Picks a folder. The options may be set before Browse; none is needed.
class CFolderDialog {
  public:
    CFolderDialog() = default;
    virtual ~CFolderDialog() = default;

    // Shows the picker. TRUE with the folder in m_strPath; FALSE on cancel, or when m_strRoot
    // is set and is no folder, with m_strPath unchanged.
    BOOL Browse();

    std::string m_strPath;              // the chosen folder's full path
    std::string m_strRoot;              // browsing stays at or below this folder; "" = anywhere
    std::string m_strInitialSelection;  // folder selected when the picker opens; "" = none
    std::string m_strTitle;             // caption; "" = "Open"
    int m_nImage = 0;                   // kept for callers; the picker has no image list
};

// Asks for a movie to open. On OK stores the full path and returns TRUE; on cancel returns
// FALSE and leaves `path` unchanged.
BOOL PromptOpenMovie(std::string& path);

// Asks for an image file to save. On OK stores the path, with "." and the selected filter's
// extension appended when the file name has no "." of its own, and returns TRUE; on cancel
// returns FALSE and leaves `path` unchanged.
BOOL PromptSaveImage(std::string& path);

// The extension for a 1-based filter of kImageFilter ("bmp", "gif", "jpg", "png", "tif"); ""
// for any other number.
std::string ImageFilterExtension(int filterIndex);

// `path` with "." + extension appended when its file name (the text after the last "/") holds
// no "."; dots in folder names do not count.
std::string WithDefaultExtension(const std::string& path, const std::string& extension);

// The filters of a filter string in the form Qt's file dialogs take: "JPEG File (*.jpg *.jpeg)".
std::vector<std::string> ToNameFilters(const std::string& filter);
