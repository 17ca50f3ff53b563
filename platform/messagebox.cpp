#include "platform/messagebox.h"

#include <QApplication>
#include <QDialog>
#include <QMessageBox>

#include "platform/prompt.h"

namespace {

QMessageBox::Icon IconFor(int type) {
    switch (type & 0xF0) {
        case MB_ICONHAND:
            return QMessageBox::Critical;
        case MB_ICONQUESTION:
            return QMessageBox::Question;
        case MB_ICONEXCLAMATION:
            return QMessageBox::Warning;
        case MB_ICONASTERISK:
            return QMessageBox::Information;
        default:
            return QMessageBox::NoIcon;
    }
}

}  // namespace

int AfxMessageBox(const QString& text, int type) {
    return ShowMessageBox(text, QGuiApplication::applicationDisplayName(), type);
}

int ShowMessageBox(const QString& text, const QString& caption, int type) {
    prompt::Request request;
    request.kind = prompt::Kind::MessageBox;
    request.title = caption.toStdString();
    request.text = text.toStdString();
    request.buttons = type;
    if (auto answer = prompt::Intercept(request)) return answer->result;

    QMessageBox box(IconFor(type), caption, text, QMessageBox::Ok, QApplication::activeWindow());
    if ((type & 0x0F) == MB_OKCANCEL) box.addButton(QMessageBox::Cancel);
    return box.exec() == QMessageBox::Cancel ? 2 : 1;
}

int RunModal(QDialog& dialog) {
    prompt::Request request;
    request.kind = prompt::Kind::Modal;
    request.title = dialog.windowTitle().toStdString();
    if (auto answer = prompt::Intercept(request)) return answer->result;
    return dialog.exec();
}
