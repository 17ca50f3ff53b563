#include "converter/aboutdlg.h"

#include <QFontDatabase>
#include <QIcon>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>

#include "controls/linklabel.h"
#include "platform/shell.h"
#include "res/templates.h"

namespace {

QRect PixelRect(const DialogRect& units) {
    const DialogRect px = DialogUnitsToPixels(units);
    return {px.x, px.y, px.width, px.height};
}

}  // namespace

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent) {
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint);
    setWindowTitle(kAboutDialog.caption);
    QFont dialogFont = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    dialogFont.setPointSize(8);
    setFont(dialogFont);
    const DialogRect size = DialogUnitsToPixels(kAboutDialog.size);
    setFixedSize(size.width, size.height);

    for (const ControlTemplate& t : kAboutControls) {
        const QRect rect = PixelRect(t.rect);
        switch (t.kind) {
            case ControlKind::Icon: {
                auto* icon = new QLabel(this);
                icon->setPixmap(QIcon(":/icons/filmcast-converter.png").pixmap(32, 32));
                icon->setGeometry(rect.x(), rect.y(), 32, 32);
                break;
            }
            case ControlKind::DefPushButton: {
                auto* ok = new QPushButton(t.caption, this);
                ok->setDefault(true);
                ok->setGeometry(rect);
                connect(ok, &QPushButton::clicked, this, &QDialog::accept);
                m_ok = ok;
                break;
            }
            case ControlKind::Link: {
                m_homePage = new CLinkLabel(this);
                m_homePage->setText(t.caption);
                m_homePage->setGeometry(rect);
                m_homePage->Attach();
                break;
            }
            case ControlKind::NotifyStatic: {
                m_email = new QLabel(t.caption, this);
                m_email->setAlignment(Qt::AlignLeft | Qt::AlignTop);
                m_email->setGeometry(rect);
                m_email->installEventFilter(this);
                break;
            }
            default: {
                auto* label = new QLabel(t.caption, this);
                label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
                const QSize text = label->fontMetrics().size(Qt::TextSingleLine, label->text());
                label->setGeometry(QRect(rect.topLeft(), rect.size().expandedTo(text)));
                break;
            }
        }
    }
    m_ok->setFocus();
}

QWidget* CAboutDlg::GetDlgItem(int id) const {
    switch (id) {
        case IDOK:
            return m_ok;
        case IDC_HOMEPAGE_LINK:
            return m_homePage;
        case IDC_EMAIL:
            return m_email;
        default:
            return nullptr;
    }
}

void CAboutDlg::OnEmailClicked() {
    ShellOpen(std::string("mailto:") + kSupportEmail);
}

bool CAboutDlg::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_email && event->type() == QEvent::MouseButtonRelease &&
        static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
        OnEmailClicked();
        return true;
    }
    return QDialog::eventFilter(watched, event);
}
