#include "controls/linklabel.h"

#include <QApplication>
#include <QFontMetrics>
#include <QMouseEvent>

#include "platform/messagebox.h"
#include "platform/shell.h"

namespace {

QColor FromColorRef(COLORREF c) {
    return QColor(c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF);
}

QString ShellErrorText(int code) {
    switch (code) {
        case 0:
            return "The operating system is out\nof memory or resources.";
        case 2:
            return "The specified file was not found.";
        case 3:
            return "The specified path was not found.";
        case 5:
            return "The operating system denied\naccess to the specified file.";
        case 8:
            return "There was not enough memory to complete the operation.";
        case 11:
            return "The .EXE file is invalid\n(non-Win32 .EXE or error in .EXE image).";
        case 26:
            return "A sharing violation occurred. ";
        case 27:
            return "The filename association is\nincomplete or invalid.";
        case 28:
            return "The DDE transaction could not\nbe completed because the request timed out.";
        case 29:
            return "The DDE transaction failed.";
        case 30:
            return "The DDE transaction could not\nbe completed because other DDE "
                   "transactions\nwere "
                   "being processed.";
        case 31:
            return "There is no application associated\nwith the given filename extension.";
        case 32:
            return "The specified dynamic-link library was not found.";
        default:
            return QString("Unknown Error (%1) occurred.").arg(code);
    }
}

}  // namespace

CLinkLabel::CLinkLabel(QWidget* parent) : QLabel(parent) {
    setMouseTracking(true);
    setAlignment(Qt::AlignLeft | Qt::AlignTop);
    setCursor(Qt::PointingHandCursor);
}

void CLinkLabel::Attach() {
    if (m_url.isEmpty()) m_url = text();
    if (text().isEmpty()) setText(m_url);
    ApplyFont();
    FitToText();
    setToolTip(m_url);
    Repaint();
}

int CLinkLabel::OpenLink(const std::string& target) {
    const int result = ShellOpen(target);
    if (result > 32) return result;
    const std::optional<std::string> handler = DefaultWebHandlerCommand();
    if (!handler) return result;
    const std::optional<std::string> commandLine = BuildHandlerCommandLine(*handler, target);
    if (!commandLine) return result;
    return RunHandlerCommandLine(*commandLine, target);
}

QString CLinkLabel::ErrorMessage(int code) {
    return "Unable to open hyperlink:\n\n" + ShellErrorText(code);
}

void CLinkLabel::SetUrl(const QString& url) {
    m_url = url;
    setToolTip(m_url);
    FitToText();
    Repaint();
}

void CLinkLabel::SetColours(COLORREF link, COLORREF visited, COLORREF hover) {
    m_linkColor = link;
    m_visitedColor = visited;
    m_hoverColor = hover;
    Repaint();
}

void CLinkLabel::SetVisited(bool visited) {
    m_visited = visited;
    Repaint();
}

void CLinkLabel::SetLinkCursor(std::optional<QCursor> cursor) {
    setCursor(cursor.value_or(QCursor(Qt::PointingHandCursor)));
}

void CLinkLabel::SetUnderline(bool underline) {
    m_underline = underline;
    ApplyFont();
    Repaint();
}

void CLinkLabel::SetAutoSize(bool autoSize) {
    m_autoSize = autoSize;
    FitToText();
    Repaint();
}

QColor CLinkLabel::TextColour() const {
    if (m_hovering) {
        return m_hoverColor == COLORREF(-1) ? palette().color(QPalette::Highlight)
                                            : FromColorRef(m_hoverColor);
    }
    return FromColorRef(m_visited ? m_visitedColor : m_linkColor);
}

void CLinkLabel::mouseMoveEvent(QMouseEvent* event) {
    QLabel::mouseMoveEvent(event);
    if (!m_hovering) {
        m_hovering = true;
        Repaint();
        grabMouse();
    } else if (!rect().contains(event->position().toPoint())) {
        m_hovering = false;
        releaseMouse();
        Repaint();
    }
}

void CLinkLabel::mouseReleaseEvent(QMouseEvent* event) {
    QLabel::mouseReleaseEvent(event);
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
        OnClicked();
}

void CLinkLabel::OnClicked() {
    const int result = m_opener(m_url.toStdString());
    if (result > 32) {
        SetVisited(true);
    } else {
        SetVisited(false);
        QApplication::beep();
        AfxMessageBox(ErrorMessage(result), MB_ICONEXCLAMATION);
    }
    emit opened(result);
}

void CLinkLabel::FitToText() {
    if (!m_autoSize) return;
    QRect r = geometry();
    const QSize textSize = QFontMetrics(font()).size(Qt::TextSingleLine, text());
    const Qt::Alignment align = alignment();
    if (align & Qt::AlignVCenter) {
        r.adjust(0, (r.height() - textSize.height()) / 2, 0, -(r.height() - textSize.height()) / 2);
    } else {
        r.setHeight(textSize.height());
    }
    if (align & Qt::AlignHCenter) {
        r.adjust((r.width() - textSize.width()) / 2, 0, -(r.width() - textSize.width()) / 2, 0);
    } else if (align & Qt::AlignRight) {
        r.setLeft(r.right() + 1 - textSize.width());
    } else {
        r.setWidth(textSize.width());
    }
    setGeometry(r);
}

void CLinkLabel::ApplyFont() {
    QFont f = font();
    f.setUnderline(m_underline);
    setFont(f);
}

void CLinkLabel::Repaint() {
    QPalette p = palette();
    p.setColor(QPalette::WindowText, TextColour());
    setPalette(p);
    update();
}
