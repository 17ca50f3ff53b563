// One QApplication for a test program (window tests run on the offscreen platform).
#pragma once

#include <QApplication>

inline void EnsureQtApplication() {
    static int argc = 1;
    static char name[] = "filmcast-tests";
    static char* argv[] = {name, nullptr};
    if (!qApp) new QApplication(argc, argv);
}
