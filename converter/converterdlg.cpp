#include "converter/converterdlg.h"

#include <QApplication>
#include <QButtonGroup>
#include <QContextMenuEvent>
#include <QDesktopServices>
#include <QDir>
#include <QDragEnterEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QFile>
#include <QFileInfo>
#include <QFontDatabase>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QPushButton>
#include <QRadioButton>
#include <QShortcut>
#include <QSlider>
#include <QStandardPaths>
#include <QTreeWidget>
#include <QUrl>

#include "capture/workfolders.h"
#include "controls/filedialogs.h"
#include "controls/fileutil.h"
#include "controls/flashplayerwidget.h"
#include "controls/numberspin.h"
#include "converter/aboutdlg.h"
#include "converter/helpfile.h"
#include "converter/outputfolder.h"
#include "converter/statusline.h"
#include "platform/dataexchange.h"
#include "platform/messagebox.h"
#include "platform/prompt.h"
#include "platform/shell.h"
#include "res/templates.h"
#include "swf/swfheader.h"

// The window icon is compiled into this library; a static library must register it itself.
static void InitIconResource() {
    Q_INIT_RESOURCE(icons);
}

namespace {

constexpr int kTimer1 = 1;
constexpr int kTimerPeriodMs = 100;
constexpr int kPropertyColumnWidth = 90;
constexpr const char* kAboutShortcut = "Ctrl+Shift+A";

QRect PixelRect(const DialogRect& units) {
    const DialogRect px = DialogUnitsToPixels(units);
    return {px.x, px.y, px.width, px.height};
}

// A static text that does not fit its box widens (and grows) to its text.
void FitStaticToText(QLabel* label) {
    const QSize text = label->fontMetrics().size(Qt::TextSingleLine, label->text());
    QRect r = label->geometry();
    if (r.width() < text.width()) r.setWidth(text.width());
    if (r.height() < text.height()) r.setHeight(text.height());
    label->setGeometry(r);
}

// A radio button whose caption does not fit widens to it.
void FitRadioToText(QRadioButton* radio) {
    if (radio->width() < radio->sizeHint().width())
        radio->resize(radio->sizeHint().width(), radio->height());
}

QString PathFromBytes(const std::string& bytes) {
    return QFile::decodeName(QByteArray::fromStdString(bytes));
}
std::string BytesFromPath(const QString& path) {
    return QFile::encodeName(path).toStdString();
}

// The program file's name without its extension: the caption of the window's own messages.
QString ProgramBaseName() {
    return QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName();
}

}  // namespace

CConverterDlg::CConverterDlg(QWidget* parent, CPlayerControl* player) : QDialog(parent) {
    InitIconResource();
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint);
    setWindowTitle(kConverterDialog.caption);
    QFont dialogFont = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    dialogFont.setPointSize(8);
    setFont(dialogFont);
    const DialogRect size = DialogUnitsToPixels(kConverterDialog.size);
    setFixedSize(size.width, size.height);
    CreateControls();
    m_flashPlayer = player ? player : m_playerView;
    m_timer.setInterval(kTimerPeriodMs);
    BindCommands();
    qApp->installEventFilter(this);
    OnInitDialog();
}

CConverterDlg::~CConverterDlg() {
    qApp->removeEventFilter(this);
    OnDestroy();
}

void CConverterDlg::CreateControls() {
    m_sizeOptions = new QButtonGroup(this);
    QWidget* previous = nullptr;
    for (const ControlTemplate& t : kConverterControls) {
        QWidget* w = nullptr;
        switch (t.kind) {
            case ControlKind::DefPushButton:
            case ControlKind::PushButton: {
                auto* button = new QPushButton(t.caption, this);
                button->setDefault(t.kind == ControlKind::DefPushButton);
                w = button;
                break;
            }
            case ControlKind::Trackbar: {
                m_slider = new QSlider(Qt::Horizontal, this);
                m_slider->setRange(0, 100);
                m_slider->setTickPosition(QSlider::NoTicks);
                m_slider->setEnabled(false);
                w = m_slider;
                break;
            }
            case ControlKind::Edit:
                w = new QLineEdit(this);
                break;
            case ControlKind::UpDown: {
                m_spinFrame = new CNumberSpin(this);
                m_spinFrame->SetBuddy(qobject_cast<QLineEdit*>(previous));
                w = m_spinFrame;
                break;
            }
            case ControlKind::ListView: {
                m_listProperties = new QTreeWidget(this);
                m_listProperties->setRootIsDecorated(false);
                m_listProperties->setItemsExpandable(false);
                m_listProperties->setUniformRowHeights(true);
                m_listProperties->setColumnCount(0);
                w = m_listProperties;
                break;
            }
            case ControlKind::FlashPlayer:
                w = m_playerView = new CFlashPlayerWidget(this);
                break;
            case ControlKind::Static:
            case ControlKind::RightStatic: {
                auto* label = new QLabel(t.caption, this);
                label->setAlignment(
                    (t.kind == ControlKind::RightStatic ? Qt::AlignRight : Qt::AlignLeft) |
                    Qt::AlignTop);
                w = label;
                break;
            }
            case ControlKind::RadioButton: {
                auto* radio = new QRadioButton(t.caption, this);
                m_sizeOptions->addButton(radio, t.id);
                w = radio;
                break;
            }
            case ControlKind::GroupBox: {
                auto* group = new QGroupBox(t.caption, this);
                group->lower();
                w = group;
                break;
            }
            case ControlKind::Icon:
            case ControlKind::Link:
            case ControlKind::NotifyStatic:
                continue;
        }
        w->setGeometry(PixelRect(t.rect));
        if (auto* label = qobject_cast<QLabel*>(w)) FitStaticToText(label);
        if (auto* radio = qobject_cast<QRadioButton*>(w)) FitRadioToText(radio);
        if (t.id > 0) {
            w->setObjectName(QString("control%1").arg(t.id));
            m_items[t.id] = w;
        }
        previous = w;
    }
    m_editOutputFolder = qobject_cast<QLineEdit*>(GetDlgItem(IDC_OUTPUT_FOLDER));
    m_editWidth = qobject_cast<QLineEdit*>(GetDlgItem(IDC_CUSTOM_WIDTH));
    m_editHeight = qobject_cast<QLineEdit*>(GetDlgItem(IDC_CUSTOM_HEIGHT));
    m_editFrameRate = qobject_cast<QLineEdit*>(GetDlgItem(IDC_FRAME_RATE));
    m_editFrame = qobject_cast<QLineEdit*>(GetDlgItem(IDC_FRAME_EDIT));
    m_editFrame->setReadOnly(true);
    m_labelFrameCount = qobject_cast<QLabel*>(GetDlgItem(IDC_FRAME_COUNT));
    for (QLineEdit* edit : {m_editWidth, m_editHeight, m_editFrameRate})
        edit->installEventFilter(this);
    statusLine_ = new CStatusLine(this);
    statusLine_->setGeometry(PixelRect(kStatusLineRect));
    // A file dropped anywhere on the window opens it: the edits take no drops of their own.
    setAcceptDrops(true);
    for (QLineEdit* edit : findChildren<QLineEdit*>()) edit->setAcceptDrops(false);
}

// The command table: which control or event runs which handler.
void CConverterDlg::BindCommands() {
    auto clicked = [this](int id, void (CConverterDlg::*handler)()) {
        connect(qobject_cast<QPushButton*>(GetDlgItem(id)), &QAbstractButton::clicked, this,
                handler);
    };
    auto optionClicked = [this](int id) {
        connect(qobject_cast<QAbstractButton*>(GetDlgItem(id)), &QAbstractButton::clicked, this,
                &CConverterDlg::OnSizeOption);
    };
    auto* aboutShortcut = new QShortcut(QKeySequence(kAboutShortcut), this);
    connect(aboutShortcut, &QShortcut::activated, this, [this] { OnSysCommand(IDM_ABOUTBOX); });
    connect(&m_timer, &QTimer::timeout, this, [this] { OnTimer(kTimer1); });
    clicked(IDC_START, &CConverterDlg::OnStart);
    clicked(IDC_PAUSE, &CConverterDlg::OnPause);
    clicked(IDC_CONVERT, &CConverterDlg::OnConvert);
    connect(m_slider, &QSlider::sliderReleased, this, &CConverterDlg::OnSliderReleased);
    // Focus leaving edits 1023, 1019 and 1020 arrives through eventFilter.
    // Right-button presses and the menu key arrive through eventFilter and contextMenuEvent.
    optionClicked(IDC_SIZE_HALF);
    clicked(IDC_BUY_NOW, &CConverterDlg::OnBuyNow);
    clicked(IDC_HELP_FILE, &CConverterDlg::OnHelpFile);
    clicked(IDC_ABOUT, &CConverterDlg::OnAbout);
    clicked(IDC_EXIT, &CConverterDlg::OnExit);
    clicked(IDC_OPEN, &CConverterDlg::OnOpen);
    connect(m_spinFrame, &CNumberSpin::deltaPos, this, &CConverterDlg::OnSpinDelta);
    optionClicked(IDC_SIZE_ORIGINAL);
    optionClicked(IDC_SIZE_DOUBLE);
    optionClicked(IDC_SIZE_TRIPLE);
    optionClicked(IDC_SIZE_CUSTOM);
    clicked(IDC_BROWSE_FOLDER, &CConverterDlg::OnBrowseFolder);
}

QWidget* CConverterDlg::GetDlgItem(int id) const {
    const auto it = m_items.find(id);
    return it == m_items.end() ? nullptr : it->second;
}

void CConverterDlg::OnInitDialog() {
    UpdateData(false);
    GetDlgItem(IDC_ABOUT)->setToolTip(
        QString("%1 (%2)").arg(QString(kAboutMenuText).remove('&'), QString(kAboutShortcut)));
    setWindowIcon(QIcon(":/icons/filmcast-converter.png"));
    m_pViewObject = m_playerView->Control().QueryViewObject();
    m_spinFrame->SetPrecision(0);
    m_spinFrame->SetTrimZeros(false);
    m_spinFrame->SetValue(0.0);
    m_labelFrameCount->setText("/0");
    DisableExportControls();
    m_listProperties->setHeaderLabels({"Property", "Value"});
    m_listProperties->header()->setDefaultAlignment(Qt::AlignLeft);
    m_listProperties->setColumnWidth(0, kPropertyColumnWidth);
    m_listProperties->setColumnWidth(1, kPropertyColumnWidth);
    qobject_cast<QRadioButton*>(GetDlgItem(IDC_SIZE_ORIGINAL))->setChecked(true);
    const QPoint playerTopLeft = m_playerView->mapToGlobal(QPoint(0, 0));
    m_rectPlayer =
        RECT{playerTopLeft.x(), playerTopLeft.y(), playerTopLeft.x() + m_playerView->width(),
             playerTopLeft.y() + m_playerView->height()};
    m_flashPlayer->SetLoop(FALSE);
    const std::string pictures =
        BytesFromPath(QStandardPaths::writableLocation(QStandardPaths::PicturesLocation));
    const std::string outputFolder = StartupOutputFolder(GetModuleDir(), pictures);
    if (outputFolder != GetModuleDir()) QDir().mkpath(PathFromBytes(outputFolder));
    m_editOutputFolder->setText(PathFromBytes(outputFolder));
    UpdateData(false);
    g_strOutputFolder = outputFolder;
    m_editOutputFolder->setEnabled(false);
    GetDlgItem(IDC_OPEN)->setFocus();
}

void CConverterDlg::DoDataExchange(CDataExchange& dx) {
    dx.Int(m_editWidth, m_nOutputWidth, 0, 1600);
    dx.Int(m_editHeight, m_nOutputHeight, 0, 1400);
    dx.Int(m_editFrameRate, m_nFrameRate, 1, 50);
}

bool CConverterDlg::UpdateData(bool saveAndValidate) {
    CDataExchange dx(saveAndValidate);
    DoDataExchange(dx);
    return !dx.Failed();
}

void CConverterDlg::EnableItem(int id, bool enable) {
    GetDlgItem(id)->setEnabled(enable);
}

void CConverterDlg::DisableExportControls() {
    for (int id :
         {IDC_START, IDC_PAUSE, IDC_CONVERT, IDC_FRAME_RATE, IDC_CUSTOM_WIDTH, IDC_CUSTOM_HEIGHT,
          IDC_SIZE_HALF, IDC_SIZE_ORIGINAL, IDC_SIZE_DOUBLE, IDC_SIZE_TRIPLE, IDC_SIZE_CUSTOM})
        EnableItem(id, false);
}

void CConverterDlg::EnableExportControls() {
    for (int id : {IDC_START, IDC_PAUSE, IDC_CONVERT, IDC_FRAME_RATE, IDC_SIZE_HALF,
                   IDC_SIZE_ORIGINAL, IDC_SIZE_DOUBLE, IDC_SIZE_TRIPLE, IDC_SIZE_CUSTOM})
        EnableItem(id, true);
}

void CConverterDlg::SetTimer1() {
    m_timer.start(kTimerPeriodMs);
}
void CConverterDlg::KillTimer1() {
    m_timer.stop();
}

void CConverterDlg::OnSysCommand(int id) {
    if ((id & 0xFFF0) == IDM_ABOUTBOX) OnAbout();
}

void CConverterDlg::OnTimer(int idEvent) {
    if (idEvent != kTimer1) return;
    if (m_bConverting) {
        ConversionStep();
        return;
    }
    const long total = m_flashPlayer->GetTotalFrames();
    const long current = m_flashPlayer->CurrentFrame();
    // A file that did not load as a movie has no frames: the position stays as it is.
    if (total != 0) {
        m_slider->setValue(static_cast<int>(static_cast<long long>(current) * 100 / total));
        m_spinFrame->SetValue(static_cast<double>(current));
    }
    if (current < total && !m_flashPlayer->IsPlaying() && m_bPlaying) m_flashPlayer->Play();
    if (current + 1 == total) {
        KillTimer1();
        TogglePlayback();
        m_flashPlayer->Rewind();
    }
}

void CConverterDlg::OnStart() {
    if (!m_strMovie.isEmpty()) TogglePlayback();
}

void CConverterDlg::OnPause() {
    if (!m_strMovie.isEmpty()) TogglePlayback();
}

void CConverterDlg::OnOpen() {
    std::string path;
    if (!PromptOpenMovie(path)) return;
    OpenMovie(PathFromBytes(path));
}

void CConverterDlg::OpenMovie(const QString& path) {
    statusLine_->Clear();
    m_listProperties->clear();
    m_strMovie = path;
    m_bPlaying = 1;
    PrepareWorkFolder();
    ShowMovieProperties();
    EnableExportControls();
    TogglePlayback();
    ReportLoadProblem();
}

void CConverterDlg::ReportLoadProblem() {
    const std::string problem = m_flashPlayer->LoadProblem();
    if (problem.empty()) return;
    statusLine_->Say(QFileInfo(m_strMovie).fileName() + ": " + PathFromBytes(problem));
}

QString CConverterDlg::StatusMessage() const {
    return statusLine_->Message();
}

void CConverterDlg::ShowMovieProperties() {
    const CSwfHeader header(BytesFromPath(m_strMovie));
    InsertPropertyRow({"Flash Ver", QString::number(unsigned(header.m_version))}, 0);
    InsertPropertyRow({"Flash Length", QString::number(header.m_fileLength)}, 0);
    InsertPropertyRow({"Frame Width", QString::number(header.m_width)}, 0);
    m_nOutputWidth = header.m_width;
    m_nMovieWidth = header.m_width;
    InsertPropertyRow({"Frame Height", QString::number(header.m_height)}, 0);
    m_nOutputHeight = header.m_height;
    m_nMovieHeight = header.m_height;
    InsertPropertyRow({"Frame Rate", QString::number(unsigned(header.m_frameRate))}, 0);
    m_nFrameRate = header.m_frameRate;
    InsertPropertyRow({"Frame Count", QString::number(unsigned(header.m_frameCount))}, 0);
    UpdateData(false);
}

void CConverterDlg::InsertPropertyRow(const QStringList& texts, int row) {
    if (texts.isEmpty()) return;
    auto* item = new QTreeWidgetItem;
    item->setText(0, texts[0]);
    m_listProperties->insertTopLevelItem(row, item);
    for (int i = 1; i < texts.size(); ++i) item->setText(i, texts[i]);
}

void CConverterDlg::TogglePlayback() {
    m_flashPlayer->SetMovie(BytesFromPath(m_strMovie));
    m_flashPlayer->Stop();
    if (!m_bPlaying) {
        EnableItem(IDC_START, false);
        EnableItem(IDC_PAUSE, true);
        m_bPlaying = 1;
        m_flashPlayer->Play();
    } else {
        EnableItem(IDC_START, true);
        EnableItem(IDC_PAUSE, false);
        m_bPlaying = 0;
        m_flashPlayer->Stop();
    }
    m_spinFrame->SetRangeAndStep(0.0, static_cast<double>(m_flashPlayer->GetTotalFrames()), 1.0);
    SetTimer1();
    m_labelFrameCount->setText(QString("/%1").arg(m_flashPlayer->GetTotalFrames()));
    FitStaticToText(m_labelFrameCount);
}

void CConverterDlg::OnSpinDelta(int position, int delta) {
    if (delta == 1) m_flashPlayer->GotoFrame(position + 1L);
    if (delta == -1) m_flashPlayer->GotoFrame(position - 1L);
}

void CConverterDlg::OnSliderReleased() {
    const long long total = m_flashPlayer->GetTotalFrames();
    m_flashPlayer->GotoFrame(static_cast<long>(m_slider->value() * total / 100));
}

void CConverterDlg::OnSizeOption() {
    EnableItem(IDC_CUSTOM_WIDTH, false);
    EnableItem(IDC_CUSTOM_HEIGHT, false);
    PrepareWorkFolder();
    auto checked = [this](int id) {
        return qobject_cast<QAbstractButton*>(GetDlgItem(id))->isChecked();
    };
    if (checked(IDC_SIZE_HALF)) {
        m_nOutputWidth = m_nMovieWidth / 2;
        m_nOutputHeight = m_nMovieHeight / 2;
        UpdateData(false);
    } else if (checked(IDC_SIZE_ORIGINAL)) {
        m_nOutputWidth = m_nMovieWidth;
        m_nOutputHeight = m_nMovieHeight;
        UpdateData(false);
    } else if (checked(IDC_SIZE_DOUBLE)) {
        m_nOutputWidth = 2 * m_nMovieWidth;
        m_nOutputHeight = 2 * m_nMovieHeight;
        UpdateData(false);
    } else if (checked(IDC_SIZE_TRIPLE)) {
        m_nOutputWidth = 3 * m_nMovieWidth;
        m_nOutputHeight = 3 * m_nMovieHeight;
        UpdateData(false);
    } else if (checked(IDC_SIZE_CUSTOM)) {
        EnableItem(IDC_CUSTOM_WIDTH, true);
        EnableItem(IDC_CUSTOM_HEIGHT, true);
    }
}

void CConverterDlg::OnSizeEditKillFocus() {
    UpdateData(true);
}
void CConverterDlg::OnFrameRateKillFocus() {
    UpdateData(true);
}

void CConverterDlg::OnBrowseFolder() {
    CFolderDialog folderDialog;
    folderDialog.Browse();
    QString path = PathFromBytes(folderDialog.m_strPath);
    if (!path.isEmpty() && !path.endsWith('/')) path += '/';
    m_editOutputFolder->setText(path);
    UpdateData(false);
    g_strOutputFolder = BytesFromPath(path);
}

void CConverterDlg::OnConvert() {
    // The filesystem root "/" is a folder like any other; only an empty folder is unchosen.
    if (g_strOutputFolder.empty()) {
        ShowMessageBox(kNoOutputFolderText, ProgramBaseName(), MB_OK);
        return;
    }
    if (m_bPlaying) {
        KillTimer1();
        m_bPlaying = 0;
        m_flashPlayer->GotoFrame(1);
        m_flashPlayer->StopPlay();
    }
    statusLine_->Clear();
    m_bConverting = 1;
    SetTimer1();
    m_flashPlayer->SetLoop(FALSE);
}

void CConverterDlg::PrepareWorkFolder() {
    capture::PrepareWorkFolder(g_strOutputFolder);
}

void CConverterDlg::OnAbout() {
    CAboutDlg about(this);
    RunModal(about);
}

// The help file in the current folder when it is there, else the manual that comes with the
// program, each opened by the desktop's handler; nothing found is as silent as a missing file.
void CConverterDlg::OnHelpFile() {
    const helpfile::HelpLocation help =
        helpfile::FindHelp(QDir::currentPath(), PathFromBytes(GetModuleDir()));
    if (help.kind == helpfile::HelpKind::None) {
        ShellOpen(kHelpFileName);
        return;
    }
    QDesktopServices::openUrl(QUrl::fromLocalFile(help.path));
}
void CConverterDlg::OnBuyNow() {
    ShellOpen(kPurchaseUrl);
}
void CConverterDlg::OnExit() {
    done(0);
}
void CConverterDlg::OnDestroy() {
    m_pViewObject = nullptr;
}

void CConverterDlg::contextMenuEvent(QContextMenuEvent* event) {
    OnContextMenu(event->reason() == QContextMenuEvent::Keyboard ? QPoint(-1, -1)
                                                                 : event->globalPos());
}

void CConverterDlg::OnContextMenu(QPoint screenPoint) {
    if (screenPoint == QPoint(-1, -1)) screenPoint = mapToGlobal(QPoint(0, 0)) + QPoint(5, 5);
    int command = 0;
    prompt::Request request;
    request.kind = prompt::Kind::Modal;
    request.title = "menu " + std::to_string(IDR_CONTEXT_MENU);
    for (const MenuItemTemplate& item : kContextMenu) request.text += std::string(item.text) + "\n";
    request.initial = std::to_string(screenPoint.x()) + "," + std::to_string(screenPoint.y());
    if (auto answer = prompt::Intercept(request)) {
        command = answer->result;
    } else {
        QMenu menu(window());
        for (const MenuItemTemplate& item : kContextMenu)
            menu.addAction(item.text)->setData(item.command);
        if (QAction* chosen = menu.exec(screenPoint)) command = chosen->data().toInt();
    }
    switch (command) {
        case ID_EXPORT_SINGLE:
            OnExportSingle();
            break;
        case ID_EXPORT_BMP:
            OnExportBmp();
            break;
        case ID_EXPORT_TGA:
            OnExportTga();
            break;
        default:
            break;
    }
}

bool CConverterDlg::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::FocusOut) {
        if (watched == m_editFrameRate) QueueValidation(&CConverterDlg::OnFrameRateKillFocus);
        if (watched == m_editWidth || watched == m_editHeight)
            QueueValidation(&CConverterDlg::OnSizeEditKillFocus);
        return false;
    }
    return RouteRightButton(watched, event);
}

// A right-button press on any part of the window is not delivered: the widget under it gets a
// context-menu event instead, which it handles or passes up to the window.
bool CConverterDlg::RouteRightButton(QObject* watched, QEvent* event) {
    auto* widget = qobject_cast<QWidget*>(watched);
    if (!widget || widget->window() != this) return false;
    if (event->type() == QEvent::MouseButtonPress || event->type() == QEvent::MouseButtonDblClick) {
        const auto* mouse = static_cast<QMouseEvent*>(event);
        if (mouse->button() != Qt::RightButton) return false;
        const QPoint global = mouse->globalPosition().toPoint();
        QContextMenuEvent menuEvent(QContextMenuEvent::Mouse, widget->mapFromGlobal(global),
                                    global);
        QCoreApplication::sendEvent(widget, &menuEvent);
        return true;
    }
    // The platform's own context-menu event for that press has been replaced above.
    if (event->type() == QEvent::ContextMenu && event->spontaneous())
        return static_cast<QContextMenuEvent*>(event)->reason() == QContextMenuEvent::Mouse;
    return false;
}

QString CConverterDlg::DroppableMovie(const QMimeData* data) const {
    if (m_bConverting || !data || !data->hasUrls()) return {};
    const QList<QUrl> urls = data->urls();
    if (urls.isEmpty() || !urls.front().isLocalFile()) return {};
    const QFileInfo file(urls.front().toLocalFile());
    return file.isFile() ? file.absoluteFilePath() : QString();
}

void CConverterDlg::dragEnterEvent(QDragEnterEvent* event) {
    dragMoveEvent(event);
}

void CConverterDlg::dragMoveEvent(QDragMoveEvent* event) {
    if (DroppableMovie(event->mimeData()).isEmpty()) {
        event->ignore();
        return;
    }
    event->acceptProposedAction();
}

void CConverterDlg::dropEvent(QDropEvent* event) {
    const QString movie = DroppableMovie(event->mimeData());
    if (movie.isEmpty()) {
        event->ignore();
        return;
    }
    event->acceptProposedAction();
    OpenMovie(movie);
}

void CConverterDlg::QueueValidation(void (CConverterDlg::*handler)()) {
    if (m_bValidating) return;
    QMetaObject::invokeMethod(
        this, [this, handler] { RunValidation(handler); }, Qt::QueuedConnection);
}

// A message box raised by the validation takes the focus and gives it back; the focus changes
// it causes must not start another validation, so the guard is lifted only after them.
void CConverterDlg::RunValidation(void (CConverterDlg::*handler)()) {
    if (m_bValidating) return;
    m_bValidating = true;
    (this->*handler)();
    QMetaObject::invokeMethod(
        this, [this] { m_bValidating = false; }, Qt::QueuedConnection);
}
