// filmcast-converter: the window program. One optional argument: a movie to open at start-up.
#include <QApplication>

#include "app/converterapp.h"

int main(int argc, char** argv) {
    // The application object outlives every window: the graphics library is started before the
    // first window and shut down after the last.
    CConverterApp app;
    QApplication qt(argc, argv);
    QApplication::setApplicationName("filmcast-converter");
    QApplication::setDesktopFileName("com.example.FilmcastConverter");
    app.InitInstance(QApplication::arguments().value(1));
    return 0;
}
