// filmcast-screenshot: shows the converter window with a movie loaded and saves a picture of
// it, and of the About box when asked. Usage:
//   filmcast-screenshot MOVIE OUTPUT.png [MILLISECONDS [ABOUT.png]]
#include <QApplication>
#include <QElapsedTimer>
#include <QPixmap>
#include <cstdio>

#include "converter/aboutdlg.h"
#include "converter/converterdlg.h"
#include "res/resource.h"

int main(int argc, char** argv) {
    QApplication qt(argc, argv);
    const QStringList args = QApplication::arguments();
    if (args.size() < 3) {
        std::fprintf(stderr, "usage: filmcast-screenshot MOVIE OUTPUT.png [MILLISECONDS]\n");
        return 2;
    }
    QApplication::setApplicationDisplayName(kAppDisplayName);
    CConverterDlg dialog;
    dialog.OpenMovie(args[1]);
    dialog.show();
    // Let the movie play for a moment so the picture shows it running.
    dialog.OnStart();
    const int waitMs = args.size() > 3 ? args[3].toInt() : 1500;
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < waitMs) QApplication::processEvents(QEventLoop::AllEvents, 50);
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
