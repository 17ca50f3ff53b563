// Message boxes and modal windows of the window program. Each goes through the prompt seam
// first, so tests answer it; otherwise a real Qt dialog is shown.
#pragma once

#include <QString>

class QDialog;

// Button and icon bits of a message box.
constexpr int MB_OK = 0x00;
constexpr int MB_OKCANCEL = 0x01;
constexpr int MB_ICONHAND = 0x10;
constexpr int MB_ICONQUESTION = 0x20;
constexpr int MB_ICONEXCLAMATION = 0x30;
constexpr int MB_ICONASTERISK = 0x40;

// A message box captioned with the application's display name; returns the button pressed
// (IDOK = 1, IDCANCEL = 2).
int AfxMessageBox(const QString& text, int type = MB_OK);
// A message box with a caption of the caller's choosing.
int ShowMessageBox(const QString& text, const QString& caption, int type);
// Runs a window modally; returns its result.
int RunModal(QDialog& dialog);
