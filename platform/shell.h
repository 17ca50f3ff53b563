// Handing files and addresses to the desktop: the stand-in for the shell's "open" (xdg-open,
// with the shell's result codes) and for running the default web browser's own command line.
#pragma once

#include <QString>
#include <QStringList>
#include <optional>
#include <string>
#include <string_view>

// Result codes of an open, as the shell reports them: above 32 is success.
constexpr int kShellOpened = 42;
constexpr int kShellFileNotFound = 2;
constexpr int kShellNoAssociation = 31;
// A started command line (above 31 is success).
constexpr int kCommandStarted = 33;

// The longest command line or registered handler value, terminating zero included.
constexpr std::size_t kMaxCommandLine = 260;

// Opens a file, folder or address with the desktop's preferred application.
int ShellOpen(const std::string& target);
// Runs an opener and waits for it up to timeoutMs: exit 0 or still running gives kShellOpened,
// exit 2 kShellFileNotFound, any other outcome (3, 4, not startable) kShellNoAssociation.
int RunOpener(const QString& program, const QStringList& arguments, int timeoutMs);

// The Exec= line of the desktop's default web handler, or nothing when there is none or it
// is longer than kMaxCommandLine - 1 bytes.
std::optional<std::string> DefaultWebHandlerCommand();
// Reads the Exec= line of the [Desktop Entry] group from a desktop file's text.
std::optional<std::string> DesktopEntryExec(std::string_view desktopFile);
// The handler's command line cut before its file placeholder (%u, %U, %f or %F, with the
// quotation marks around it when it has them), then one blank and the target. Nothing when
// the result would not fit kMaxCommandLine.
std::optional<std::string> BuildHandlerCommandLine(std::string_view exec, std::string_view target);
// Starts a command line built by BuildHandlerCommandLine (the target is passed as one
// argument); kCommandStarted, or kShellFileNotFound when the program cannot be started.
int RunHandlerCommandLine(const std::string& commandLine, const std::string& target);
