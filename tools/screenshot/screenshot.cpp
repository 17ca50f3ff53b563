// filmcast-screenshot: shows the converter window with a movie loaded and saves a picture of
// it, and of the About box when asked. Usage:
//   filmcast-screenshot MOVIE OUTPUT.png [MILLISECONDS [ABOUT.png]] [--folder DIR] [--convert]
// --folder shows DIR as the output folder (and converts into it); --convert runs a conversion
// to its end before the picture is taken, instead of playing the movie.
#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPixmap>
#include <cstdio>

#include "converter/aboutdlg.h"
#include "converter/converterdlg.h"
#include "converter/outputfolder.h"
#include "res/resource.h"

namespace {

void ProcessEventsFor(int milliseconds) {
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < milliseconds) QApplication::processEvents(QEventLoop::AllEvents, 50);
}

// Clicks Convert and lets timer 1 run until the conversion has ended.
void ConvertToEnd(CConverterDlg& dialog) {
    dialog.OnConvert();
    QElapsedTimer clock;
    clock.start();
    constexpr int kMostMs = 120000;
    while (dialog.m_bConverting && clock.elapsed() < kMostMs)
        QApplication::processEvents(QEventLoop::AllEvents, 50);
}

}  // namespace

int main(int argc, char** argv) {
    QApplication qt(argc, argv);
    QStringList args = QApplication::arguments();
    const bool convert = args.removeAll("--convert") > 0;
    // The last --folder counts.
    QString folder;
    for (qsizetype at = args.indexOf("--folder"); at >= 0 && at + 1 < args.size();
         at = args.indexOf("--folder")) {
        folder = args[at + 1];
        if (!folder.endsWith('/')) folder += '/';
        args.remove(at, 2);
    }
    if (args.size() < 3) {
        std::fprintf(stderr,
                     "usage: filmcast-screenshot MOVIE OUTPUT.png [MILLISECONDS [ABOUT.png]] "
                     "[--folder DIR] [--convert]\n");
        return 2;
    }
    QApplication::setApplicationDisplayName(kAppDisplayName);
    CConverterDlg dialog;
    dialog.OpenMovie(args[1]);
    // Set after the movie is open, whose working folder is made in the folder then current.
    if (!folder.isEmpty()) {
        dialog.m_editOutputFolder->setText(folder);
        g_strOutputFolder = folder.toStdString();
    }
    dialog.show();
    const int waitMs = args.size() > 3 ? args[3].toInt() : 1500;
    if (convert) {
        ConvertToEnd(dialog);
    } else {
        // Let the movie play for a moment so the picture shows it running.
        dialog.OnStart();
    }
    ProcessEventsFor(waitMs);
    if (!dialog.grab().save(args[2])) {
        std::fprintf(stderr, "filmcast-screenshot: cannot write %s\n", qPrintable(args[2]));
        return 1;
    }
    if (args.size() > 4) {
        CAboutDlg about(&dialog);
        about.show();
        QApplication::processEvents();
        if (!about.grab().save(args[4])) return 1;
    }
    return 0;
}
