#include "converter/statusline.h"

#include <QFontMetrics>
#include <QResizeEvent>

CStatusLine::CStatusLine(QWidget* parent) : QLabel(parent) {
    setObjectName("statusLine");
    setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    setTextFormat(Qt::PlainText);
    setFocusPolicy(Qt::NoFocus);
}

void CStatusLine::Say(const QString& message) {
    // One line whatever the reason holds.
    message_ = QString(message).replace('\n', ' ');
    ShowFitted();
}

void CStatusLine::Clear() {
    Say(QString());
}

void CStatusLine::resizeEvent(QResizeEvent* event) {
    QLabel::resizeEvent(event);
    ShowFitted();
}

void CStatusLine::ShowFitted() {
    const QString shown =
        fontMetrics().elidedText(message_, Qt::ElideMiddle, contentsRect().width());
    setText(shown);
    setToolTip(shown == message_ ? QString() : message_);
}
