// CConverterApp: start-up and shut-down of the window program. It holds the graphics library
// open for its whole life, sets the display name that captions every message box, applies the
// optional style sheet, runs the converter window modally and returns when it closes.
#pragma once

#include <QString>

#include "platform/gdiplus.h"
#include "platform/wintypes.h"

// The optional style sheet, looked up in the program's folder.
inline constexpr const char* kSkinFileName = "soft.qss";

class CConverterApp {
  public:
    CConverterApp();
    ~CConverterApp();
    CConverterApp(const CConverterApp&) = delete;
    CConverterApp& operator=(const CConverterApp&) = delete;

    // Runs the converter window; `moviePath` (may be empty) is opened at start-up as Open
    // would open it. Returns FALSE: there is no message loop of the program's own to run.
    BOOL InitInstance(const QString& moviePath);

    // Applies a style sheet file when it exists and is of sensible size; false otherwise.
    static bool LoadSkin(const QString& path);

    gdiplus::StartupToken m_gdiplusToken = 0;
};
