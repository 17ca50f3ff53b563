#include "controls/filedialogs.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QString>
#include <QStringList>
#include <array>
#include <optional>

#include "platform/prompt.h"

namespace {

constexpr char kDefaultFolderTitle[] = "Open";
constexpr char kOpenTitle[] = "Open";
constexpr char kSaveTitle[] = "Save As";

struct FileChoice {
    std::string path;
    int selectedFilter = 1;
};

std::vector<std::string> SplitAtBars(const std::string& text) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    for (std::size_t bar = text.find('|'); bar != std::string::npos; bar = text.find('|', start)) {
        parts.push_back(text.substr(start, bar - start));
        start = bar + 1;
    }
    if (start < text.size()) parts.push_back(text.substr(start));
    return parts;
}

QStringList ToQt(const std::vector<std::string>& texts) {
    QStringList list;
    for (const std::string& text : texts) list << QString::fromStdString(text);
    return list;
}

bool IsUnder(const QString& path, const QString& root) {
    const QString clean = QDir::cleanPath(QFileInfo(path).absoluteFilePath());
    const QString base = QDir::cleanPath(QFileInfo(root).absoluteFilePath());
    return clean == base || base == "/" || clean.startsWith(base + "/");
}

// The open or save dialog: the seam's answer, else a Qt dialog with no owner, no default
// extension and no initial name.
std::optional<FileChoice> AskForFile(prompt::Kind kind, const char* title,
                                     const std::string& filter) {
    prompt::Request request;
    request.kind = kind;
    request.title = title;
    request.text = filter;
    if (auto answer = prompt::Intercept(request)) {
        if (!answer->accepted) return std::nullopt;
        return FileChoice{answer->path, answer->selectedFilter};
    }
    const QStringList filters = ToQt(ToNameFilters(filter));
    QFileDialog dialog(nullptr, QString::fromUtf8(title));
    dialog.setAcceptMode(kind == prompt::Kind::SaveFile ? QFileDialog::AcceptSave
                                                        : QFileDialog::AcceptOpen);
    dialog.setFileMode(kind == prompt::Kind::SaveFile ? QFileDialog::AnyFile
                                                      : QFileDialog::ExistingFile);
    dialog.setNameFilters(filters);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return std::nullopt;
    }
    const int index = static_cast<int>(filters.indexOf(dialog.selectedNameFilter()));
    return FileChoice{dialog.selectedFiles().front().toStdString(), index < 0 ? 1 : index + 1};
}

}  // namespace

BOOL CFolderDialog::Browse() {
    if (!m_strRoot.empty() && !QFileInfo(QString::fromStdString(m_strRoot)).isDir()) return FALSE;
    const std::string title = m_strTitle.empty() ? kDefaultFolderTitle : m_strTitle;

    prompt::Request request;
    request.kind = prompt::Kind::Folder;
    request.title = title;
    request.initial = m_strInitialSelection;
    request.root = m_strRoot;
    if (auto answer = prompt::Intercept(request)) {
        if (!answer->accepted) return FALSE;
        m_strPath = answer->path;
        m_nImage = 0;
        return TRUE;
    }

    const QString root = QString::fromStdString(m_strRoot);
    QFileDialog dialog(nullptr, QString::fromStdString(title));
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly);
    if (!m_strRoot.empty()) {
        // Qt's picker cannot be rooted, so leaving the root sends it back.
        dialog.setOption(QFileDialog::DontUseNativeDialog);
        dialog.setDirectory(root);
        QObject::connect(&dialog, &QFileDialog::directoryEntered, &dialog,
                         [&dialog, root](const QString& folder) {
                             if (!IsUnder(folder, root)) dialog.setDirectory(root);
                         });
    }
    if (!m_strInitialSelection.empty()) {
        const QFileInfo initial(QString::fromStdString(m_strInitialSelection));
        dialog.setDirectory(initial.absolutePath());
        dialog.selectFile(initial.absoluteFilePath());
    }
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return FALSE;
    const QString chosen = dialog.selectedFiles().front();
    if (!m_strRoot.empty() && !IsUnder(chosen, root)) return FALSE;
    m_strPath = chosen.toStdString();
    m_nImage = 0;
    return TRUE;
}

BOOL PromptOpenMovie(std::string& path) {
    const auto choice = AskForFile(prompt::Kind::OpenFile, kOpenTitle, kMovieFilter);
    if (!choice) return FALSE;
    path = choice->path;
    return TRUE;
}

BOOL PromptSaveImage(std::string& path) {
    const auto choice = AskForFile(prompt::Kind::SaveFile, kSaveTitle, kImageFilter);
    if (!choice) return FALSE;
    path = WithDefaultExtension(choice->path, ImageFilterExtension(choice->selectedFilter));
    return TRUE;
}

std::string ImageFilterExtension(int filterIndex) {
    static const std::array<const char*, 5> kExtensions = {"bmp", "gif", "jpg", "png", "tif"};
    if (filterIndex < 1 || filterIndex > static_cast<int>(kExtensions.size())) return {};
    return kExtensions[static_cast<std::size_t>(filterIndex - 1)];
}

std::string WithDefaultExtension(const std::string& path, const std::string& extension) {
    const std::size_t slash = path.rfind('/');
    const std::size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
    if (extension.empty() || path.find('.', nameStart) != std::string::npos) return path;
    return path + "." + extension;
}

std::vector<std::string> ToNameFilters(const std::string& filter) {
    const std::vector<std::string> parts = SplitAtBars(filter);
    std::vector<std::string> filters;
    for (std::size_t i = 0; i + 1 < parts.size(); i += 2) {
        std::string description = parts[i];
        const std::size_t bracket = description.rfind(" (");
        if (bracket != std::string::npos && description.back() == ')') {
            description.erase(bracket);
        }
        std::string patterns = parts[i + 1];
        for (char& c : patterns) {
            if (c == ';') c = ' ';
        }
        filters.push_back(description + " (" + patterns + ")");
    }
    return filters;
}
