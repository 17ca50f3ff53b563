#include "app/converterapp.h"

#include <QApplication>
#include <QFile>
#include <QFileInfo>

#include "controls/fileutil.h"
#include "converter/converterdlg.h"
#include "converter/outputfolder.h"
#include "platform/messagebox.h"
#include "res/resource.h"

namespace {

constexpr qint64 kMaxSkinBytes = 1024 * 1024;

}  // namespace

CConverterApp::CConverterApp() {
    gdiplus::GdiplusStartup(&m_gdiplusToken);
}

CConverterApp::~CConverterApp() {
    gdiplus::GdiplusShutdown(m_gdiplusToken);
}

bool CConverterApp::LoadSkin(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() > kMaxSkinBytes) return false;
    qApp->setStyleSheet(QString::fromUtf8(file.readAll()));
    return true;
}

BOOL CConverterApp::InitInstance(const QString& moviePath) {
    LoadSkin(QFile::decodeName(QByteArray::fromStdString(GetModuleDir())) + kSkinFileName);
    QApplication::setApplicationDisplayName(kAppDisplayName);
    CConverterDlg dialog;
    if (!moviePath.isEmpty() && QFileInfo(moviePath).isFile())
        dialog.OpenMovie(QFileInfo(moviePath).absoluteFilePath());
    RunModal(dialog);
    return FALSE;
}
