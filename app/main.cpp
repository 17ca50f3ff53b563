// filmcast-converter: the window program. One optional argument: a movie to open at start-up.
#include <QApplication>

#include "app/converterapp.h"

int main(int argc, char** argv) {
    QApplication qt(argc, argv);
    QApplication::setApplicationName("filmcast-converter");
    QApplication::setDesktopFileName("com.example.FilmcastConverter");
    CConverterApp app;
    app.InitInstance(QApplication::arguments().value(1));
    return 0;
}
