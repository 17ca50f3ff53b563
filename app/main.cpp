// filmcast-converter: the window program.
#include <QApplication>
#include <QMessageBox>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationDisplayName("Filmcast Converter 1.0");
    return 0;
}
