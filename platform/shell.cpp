#include "platform/shell.h"

#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <array>

namespace {

constexpr int kOpenerWaitMs = 2000;
constexpr qint64 kMaxDesktopFileBytes = 64 * 1024;

std::string_view TrimRight(std::string_view text) {
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
    return text;
}

// Position where the command line is cut: the opening quotation mark of a quoted placeholder,
// else a bare placeholder; npos when the line has none.
std::size_t PlaceholderCut(std::string_view exec) {
    static constexpr std::array<std::string_view, 4> kPlaceholders{"%u", "%U", "%f", "%F"};
    std::size_t quoted = std::string_view::npos;
    std::size_t bare = std::string_view::npos;
    for (std::string_view p : kPlaceholders) {
        const std::string withQuotes = "\"" + std::string(p) + "\"";
        quoted = std::min(quoted, exec.find(withQuotes));
        bare = std::min(bare, exec.find(p));
    }
    return quoted != std::string_view::npos ? quoted : bare;
}

}  // namespace

int RunOpener(const QString& program, const QStringList& arguments, int timeoutMs) {
    auto* process = new QProcess;
    process->setProgram(program);
    process->setArguments(arguments);
    process->setStandardOutputFile(QProcess::nullDevice());
    process->setStandardErrorFile(QProcess::nullDevice());
    process->start();
    if (!process->waitForStarted(timeoutMs)) {
        delete process;
        return kShellNoAssociation;
    }
    if (!process->waitForFinished(timeoutMs)) {
        // Still running: the application took the target. Let it run on; the process object
        // goes when it ends.
        QObject::connect(process, &QProcess::finished, process, &QObject::deleteLater);
        return kShellOpened;
    }
    const bool normalExit = process->exitStatus() == QProcess::NormalExit;
    const int code = process->exitCode();
    delete process;
    if (!normalExit) return kShellNoAssociation;
    if (code == 0) return kShellOpened;
    if (code == 2) return kShellFileNotFound;
    return kShellNoAssociation;
}

int ShellOpen(const std::string& target) {
    return RunOpener("xdg-open", {QString::fromStdString(target)}, kOpenerWaitMs);
}

std::optional<std::string> DesktopEntryExec(std::string_view desktopFile) {
    bool inEntryGroup = false;
    while (!desktopFile.empty()) {
        const std::size_t end = desktopFile.find('\n');
        std::string_view line = desktopFile.substr(0, end);
        desktopFile =
            end == std::string_view::npos ? std::string_view{} : desktopFile.substr(end + 1);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (line.starts_with('[')) {
            inEntryGroup = line == "[Desktop Entry]";
        } else if (inEntryGroup && line.starts_with("Exec=")) {
            line.remove_prefix(5);
            if (line.empty() || line.size() >= kMaxCommandLine) return std::nullopt;
            return std::string(line);
        }
    }
    return std::nullopt;
}

std::optional<std::string> DefaultWebHandlerCommand() {
    QProcess query;
    query.start("xdg-mime", {"query", "default", "x-scheme-handler/http"});
    if (!query.waitForFinished(kOpenerWaitMs) || query.exitCode() != 0) return std::nullopt;
    const QString desktopId = QString::fromUtf8(query.readAllStandardOutput()).trimmed();
    if (desktopId.isEmpty() || desktopId.contains('/')) return std::nullopt;
    const QString path = QStandardPaths::locate(QStandardPaths::ApplicationsLocation, desktopId);
    QFile file(path);
    if (path.isEmpty() || !file.open(QIODevice::ReadOnly)) return std::nullopt;
    const QByteArray text = file.read(kMaxDesktopFileBytes);
    return DesktopEntryExec(std::string_view(text.constData(), text.size()));
}

std::optional<std::string> BuildHandlerCommandLine(std::string_view exec, std::string_view target) {
    const std::size_t cut = PlaceholderCut(exec);
    std::string line(TrimRight(exec.substr(0, cut)));
    line += ' ';
    line += target;
    if (line.size() >= kMaxCommandLine) return std::nullopt;
    return line;
}

int RunHandlerCommandLine(const std::string& commandLine, const std::string& target) {
    if (!std::string_view(commandLine).ends_with(target)) return kShellFileNotFound;
    const std::string program = commandLine.substr(0, commandLine.size() - target.size());
    QStringList arguments = QProcess::splitCommand(QString::fromStdString(program));
    if (arguments.isEmpty()) return kShellFileNotFound;
    const QString executable = arguments.takeFirst();
    arguments << QString::fromStdString(target);
    return QProcess::startDetached(executable, arguments) ? kCommandStarted : kShellFileNotFound;
}
