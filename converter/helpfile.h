// Where the window's Help button finds help: the help file "Tarnwick_Filmcast.chm" in the
// current folder when it is there, else the HTML manual that comes with the program (beside it
// in the build tree, under share/doc when installed).
#pragma once

#include <QString>
#include <QStringList>

namespace helpfile {

enum class HelpKind { None, HelpFile, Manual };

struct HelpLocation {
    HelpKind kind = HelpKind::None;
    QString path;  // absolute; empty for None
};

// The manual's possible places for a program in `programFolder`, in the order they are tried.
QStringList ManualCandidates(const QString& programFolder);

// The help to open: the help file in `currentFolder`, else the first manual candidate that
// exists, else None.
HelpLocation FindHelp(const QString& currentFolder, const QString& programFolder);

}  // namespace helpfile
