#include "converter/helpfile.h"

#include <QDir>
#include <QFileInfo>

#include "res/resource.h"

namespace helpfile {

namespace {

constexpr const char* kManualPage = "index.html";
// Beside the program in the build tree.
constexpr const char* kManualInBuildTree = "manual";

}  // namespace

QStringList ManualCandidates(const QString& programFolder) {
    const QDir program(programFolder);
    return {QDir::cleanPath(program.filePath(QString(kManualInBuildTree) + "/" + kManualPage)),
            QDir::cleanPath(
                program.filePath(QString(FILMCAST_MANUAL_FROM_PROGRAM) + "/" + kManualPage))};
}

HelpLocation FindHelp(const QString& currentFolder, const QString& programFolder) {
    const QFileInfo helpFile(QDir(currentFolder).filePath(kHelpFileName));
    if (helpFile.isFile()) return {HelpKind::HelpFile, helpFile.absoluteFilePath()};
    for (const QString& manual : ManualCandidates(programFolder))
        if (QFileInfo(manual).isFile())
            return {HelpKind::Manual, QFileInfo(manual).absoluteFilePath()};
    return {};
}

}  // namespace helpfile
