#include "shell/frmZenivor.h"

#include <QActionGroup>
#include <QCloseEvent>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QIcon>
#include <QKeySequence>
#include <QLabel>
#include <QMenuBar>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>

#include "shell/CubePane.h"
#include "shell/DesktopIntegration.h"
#include "shell/PictureBox.h"
#include "shell/ShellDialogs.h"
#include "shell/StatusLine.h"
#include "util/SettingsStore.h"

namespace zenivor {
namespace {

// Below the status line: the folder line, then the row of the progress bar or of a bar that asks.
constexpr int kStatusTop = 524;
constexpr int kLineHeight = 17;
constexpr int kFolderTop = kStatusTop + kLineHeight + 2;
constexpr int kBarTop = kFolderTop + kLineHeight + 4;
constexpr int kBarHeight = 30;
constexpr int kContentHeight = kBarTop + kBarHeight + 8;
// The cube pane beside the picture, as tall as it, at least this wide.
constexpr int kPaneLeft = frmZenivor::kClientWidth;
constexpr int kPaneTop = 8;
constexpr int kPaneHeight = 508;
constexpr int kPaneMinimumWidth = 240;
constexpr int kDefaultContentWidth = 1180;

QHBoxLayout* BarLayout(QWidget* bar) {
    auto* layout = new QHBoxLayout(bar);
    layout->setContentsMargins(0, 0, 0, 0);
    return layout;
}

QDoubleSpinBox* AngleBox(QWidget* parent, double low, double high, const QString& suffix) {
    auto* box = new QDoubleSpinBox(parent);
    box->setRange(low, high);
    box->setDecimals(1);
    box->setSingleStep(1);
    box->setSuffix(suffix);
    box->setKeyboardTracking(true);
    return box;
}

}  // namespace

frmZenivor::frmZenivor(ShellDialogs& dialogs, MenuCommands commands)
    : dialogs_(dialogs), commands_(std::move(commands)) {
    setWindowTitle(QString::fromUtf8(kProgramTitle));
    setWindowIcon(WindowIcon());
    setAcceptDrops(true);
    CreateContent();
    CreateMenus();
    // As large as the window wants to be, where the screen has room; the content scrolls where not.
    QSize wanted(kDefaultContentWidth, kContentHeight + menuBar()->sizeHint().height());
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        wanted = wanted.boundedTo(screen->availableGeometry().size() - QSize(16, 48));
    resize(wanted);
}

frmZenivor::~frmZenivor() = default;

void frmZenivor::CreateContent() {
    scroll_ = new QScrollArea(this);
    scroll_->setWidgetResizable(true);
    scroll_->setFrameShape(QFrame::NoFrame);
    content_ = new QWidget(scroll_);
    content_->setMinimumSize(kPaneLeft + kPaneMinimumWidth + 12, kContentHeight);
    // The picture and the status line keep the places the first design gave them.
    picMap_ = new PictureBox(content_);
    picMap_->move(12, 8);
    lblStatus_ = new StatusLine(content_);
    lblStatus_->setGeometry(12, kStatusTop, 329, kLineHeight);
    lblFolder_ = new QLabel(content_);
    cubePane_ = new CubePane(content_);
    CreateBars(content_);
    scroll_->setWidget(content_);
    content_->installEventFilter(this);
    setCentralWidget(scroll_);
}

void frmZenivor::CreateBars(QWidget* content) {
    progress_ = new QProgressBar(content);
    progress_->setRange(0, 0);
    progress_->hide();
    cancel_ = new QPushButton(tr("Cancel"), content);
    cancel_->hide();
    connect(cancel_, &QPushButton::clicked, this, [this] {
        if (commands_.cancel) commands_.cancel();
    });

    askBar_ = new QWidget(content);
    QHBoxLayout* ask = BarLayout(askBar_);
    askText_ = new QLabel(askBar_);
    ask->addWidget(askText_, 1);
    askRemembered_ = new QPushButton(askBar_);
    ask->addWidget(askRemembered_);
    const std::pair<QString, WriteChoice> buttons[] = {{tr("Write beside the file"), WriteChoice::BesideTheFile},
                                                       {tr("Choose..."), WriteChoice::Chosen},
                                                       {tr("Cancel"), WriteChoice::Cancel}};
    connect(askRemembered_, &QPushButton::clicked, this, [this] { ChooseWrite(WriteChoice::Remembered); });
    for (const auto& [caption, choice] : buttons) {
        auto* button = new QPushButton(caption, askBar_);
        ask->addWidget(button);
        connect(button, &QPushButton::clicked, this, [this, choice = choice] { ChooseWrite(choice); });
    }
    askBar_->hide();

    panoramaBar_ = new QWidget(content);
    QHBoxLayout* bar = BarLayout(panoramaBar_);
    north_ = AngleBox(panoramaBar_, 0, 360, tr(" deg"));
    north_->setWrapping(true);
    pitch_ = AngleBox(panoramaBar_, -90, 90, tr(" deg"));
    roll_ = AngleBox(panoramaBar_, -90, 90, tr(" deg"));
    ground_ = new QComboBox(panoramaBar_);
    ground_->addItems({tr("Ground from the panorama"), tr("Ground template"), tr("Ground from a file...")});
    auto* write = new QPushButton(tr("&Write"), panoramaBar_);
    write->setDefault(true);
    write->setShortcut(QKeySequence(Qt::Key_Return));
    auto* cancel = new QPushButton(tr("Cancel"), panoramaBar_);
    for (auto [label, widget] :
         {std::pair<QString, QWidget*>{tr("North at"), north_}, {tr("Pitch"), pitch_}, {tr("Roll"), roll_}}) {
        bar->addWidget(new QLabel(label, panoramaBar_));
        bar->addWidget(widget);
    }
    bar->addWidget(ground_);
    bar->addStretch(1);
    bar->addWidget(write);
    bar->addWidget(cancel);
    for (QDoubleSpinBox* box : {north_, pitch_, roll_})
        connect(box, &QDoubleSpinBox::valueChanged, this, [this] { PanoramaChanged(); });
    connect(ground_, &QComboBox::currentIndexChanged, this, [this] { PanoramaChanged(); });
    connect(write, &QPushButton::clicked, this, [this] { WritePanorama(); });
    connect(cancel, &QPushButton::clicked, this, [this] { HidePanoramaControls(); });
    panoramaBar_->hide();
}

// Wide enough, the status line and the rows under it show their whole text; the cube pane takes
// the rest of the width.
void frmZenivor::LayOut() {
    const int width = std::max(content_->width(), content_->minimumWidth());
    const int lineWidth = std::max(329, width - 24);
    lblStatus_->setGeometry(12, kStatusTop, lineWidth, kLineHeight);
    lblFolder_->setGeometry(12, kFolderTop, lineWidth, kLineHeight);
    cubePane_->setGeometry(kPaneLeft, kPaneTop, width - kPaneLeft - 12, kPaneHeight);
    progress_->setGeometry(12, kBarTop + 4, 360, kBarHeight - 8);
    cancel_->setGeometry(380, kBarTop, 90, kBarHeight);
    askBar_->setGeometry(12, kBarTop, lineWidth, kBarHeight);
    panoramaBar_->setGeometry(12, kBarTop, lineWidth, kBarHeight);
}

bool frmZenivor::eventFilter(QObject* watched, QEvent* event) {
    if (watched == content_ && event->type() == QEvent::Resize) LayOut();
    return QMainWindow::eventFilter(watched, event);
}

QAction* frmZenivor::AddItem(QMenu* menu, const QString& caption, const QKeySequence& shortcut,
                             const std::function<void()>& command) {
    QAction* item = menu->addAction(caption);
    item->setShortcut(shortcut);
    connect(item, &QAction::triggered, this, [command] {
        if (command) command();
    });
    return item;
}

void frmZenivor::CreateMenus() {
    QMenu* mnuFile = menuBar()->addMenu(tr("&File"));
    // The usual keys, fixed rather than taken from the platform theme, which may leave Quit unbound.
    itmFileOpen_ = AddItem(mnuFile, tr("&Open"), QKeySequence(Qt::CTRL | Qt::Key_O), commands_.fileOpen);
    itmFileOpenPanorama_ = AddItem(mnuFile, tr("Open &Panorama..."), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_O),
                                   commands_.fileOpenPanorama);
    itmFileOpenCube_ =
        AddItem(mnuFile, tr("Open &Cube..."), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_C), commands_.fileOpenCube);
    mnuFileOpenRecent_ = mnuFile->addMenu(tr("Open &Recent"));
    itmFileOutputFolder_ = AddItem(mnuFile, tr("Output &Folder..."), QKeySequence(), commands_.fileOutputFolder);
    itmFileOpenOutputFolder_ =
        AddItem(mnuFile, tr("Open Output Fol&der"), QKeySequence(Qt::CTRL | Qt::Key_D), commands_.fileOpenOutputFolder);
    mnuFile->addSeparator();
    itmFileExit_ = AddItem(mnuFile, tr("E&xit"), QKeySequence(Qt::CTRL | Qt::Key_Q), commands_.fileExit);
    QMenu* mnuEdit = menuBar()->addMenu(tr("&Edit"));
    itmEditUndo_ = AddItem(mnuEdit, tr("&Undo Conversion"), QKeySequence(Qt::CTRL | Qt::Key_Z), commands_.editUndo);
    itmEditUndo_->setEnabled(false);
    QMenu* mnuView = menuBar()->addMenu(tr("&View"));
    itmViewCross_ = AddItem(mnuView, tr("Unfolded &Cross"), QKeySequence(Qt::CTRL | Qt::Key_1),
                            [this] { cubePane_->SetMode(CubePane::Mode::Cross); });
    itmViewLookAround_ = AddItem(mnuView, tr("&Look Around"), QKeySequence(Qt::CTRL | Qt::Key_2), [this] {
        cubePane_->SetMode(CubePane::Mode::LookAround);
        cubePane_->setFocus();
    });
    auto* views = new QActionGroup(this);
    for (QAction* item : {itmViewCross_, itmViewLookAround_}) {
        item->setCheckable(true);
        views->addAction(item);
    }
    itmViewCross_->setChecked(true);
    QMenu* mnuHelp = menuBar()->addMenu(tr("&Help"));
    itmHelpHelp_ = AddItem(mnuHelp, tr("&Help"), QKeySequence(Qt::Key_F1), commands_.helpHelp);
    mnuHelp->addSeparator();
    itmHelpAbout_ = AddItem(mnuHelp, tr("&About"), QKeySequence(), commands_.helpAbout);
}

void frmZenivor::CancelConversion() {
    if (cancel_->isVisible()) cancel_->click();
}

void frmZenivor::SetConverting(bool converting) {
    progress_->setVisible(converting);
    cancel_->setVisible(converting);
    if (converting) {
        progress_->setRange(0, 0);  // busy until a step says how far it has come
        askBar_->hide();
        panoramaBar_->hide();
    }
    for (QAction* item : {itmFileOpen_, itmFileOpenPanorama_, itmFileOpenCube_, itmFileOutputFolder_, itmEditUndo_})
        item->setEnabled(!converting && (item != itmEditUndo_ || item->property("undoable").toBool()));
    mnuFileOpenRecent_->setEnabled(!converting);
    setAcceptDrops(!converting);
}

void frmZenivor::ShowProgress(double fraction) {
    progress_->setRange(0, 1000);
    progress_->setValue(static_cast<int>(std::clamp(fraction, 0.0, 1.0) * 1000));
}

void frmZenivor::SetOutputFolder(const QString& folder, const QString& line) {
    setWindowTitle(folder.isEmpty() ? QString::fromUtf8(kProgramTitle)
                                    : QString::fromUtf8(kProgramTitle) + QStringLiteral(" - ") + folder);
    lblFolder_->setText(line);
}

void frmZenivor::SetRecentEntries(const QStringList& entries) {
    mnuFileOpenRecent_->clear();
    for (const QString& entry : entries) {
        QAction* item = mnuFileOpenRecent_->addAction(entry.section(QLatin1Char(':'), 1));
        connect(item, &QAction::triggered, this, [this, entry] {
            if (commands_.fileOpenRecent) commands_.fileOpenRecent(entry);
        });
    }
    mnuFileOpenRecent_->setEnabled(!entries.isEmpty());
}

void frmZenivor::SetUndoable(bool undoable) {
    itmEditUndo_->setProperty("undoable", undoable);
    itmEditUndo_->setEnabled(undoable && !cancel_->isVisible());
}

void frmZenivor::AskWhereToWrite(const QString& question, const QString& remembered,
                                 std::function<void(WriteChoice)> chosen) {
    chosen_ = std::move(chosen);
    askText_->setText(question);
    askRemembered_->setText(tr("Write into %1").arg(remembered));
    askRemembered_->setVisible(!remembered.isEmpty());
    panoramaBar_->hide();
    askBar_->show();
}

bool frmZenivor::Asking() const { return askBar_->isVisible(); }

void frmZenivor::ChooseWrite(WriteChoice choice) {
    if (!Asking()) return;
    askBar_->hide();
    if (auto chosen = std::exchange(chosen_, nullptr)) chosen(choice);
}

void frmZenivor::ShowPanoramaControls(const PanoramaView& view,
                                      std::function<void(const PanoramaView&, GroundSource)> changed,
                                      std::function<void()> written) {
    panoramaChanged_ = nullptr;
    SetPanoramaView(view);
    ground_->setCurrentIndex(0);
    panoramaChanged_ = std::move(changed);
    panoramaWritten_ = std::move(written);
    askBar_->hide();
    panoramaBar_->show();
}

void frmZenivor::HidePanoramaControls() {
    panoramaBar_->hide();
    panoramaChanged_ = nullptr;
    panoramaWritten_ = nullptr;
}

bool frmZenivor::PanoramaControlsShown() const { return panoramaBar_->isVisible(); }

void frmZenivor::SetPanoramaView(const PanoramaView& view) {
    north_->setValue(view.north);
    pitch_->setValue(view.pitch);
    roll_->setValue(view.roll);
}

PanoramaView frmZenivor::CurrentPanoramaView() const {
    return {.north = north_->value(), .pitch = pitch_->value(), .roll = roll_->value()};
}

GroundSource frmZenivor::CurrentGround() const { return static_cast<GroundSource>(ground_->currentIndex()); }

void frmZenivor::SetGround(GroundSource ground) { ground_->setCurrentIndex(static_cast<int>(ground)); }

void frmZenivor::PanoramaChanged() {
    if (panoramaChanged_) panoramaChanged_(CurrentPanoramaView(), CurrentGround());
}

void frmZenivor::WritePanorama() {
    if (!PanoramaControlsShown()) return;
    auto written = panoramaWritten_;
    HidePanoramaControls();
    if (written) written();
}

void frmZenivor::closeEvent(QCloseEvent* event) {
    event->accept();
    if (commands_.fileExit) commands_.fileExit();
}

// Every drop is taken, so that one the program cannot use is answered with a message.
void frmZenivor::dragEnterEvent(QDragEnterEvent* event) { event->acceptProposedAction(); }

void frmZenivor::dropEvent(QDropEvent* event) {
    event->acceptProposedAction();
    if (commands_.dropped) commands_.dropped(*event->mimeData());
}

void frmZenivor::SetStatusText(const std::string& text) {
    lblStatus_->SetLine(QString::fromStdString(text));
    if (statusEcho_) statusEcho_(text);
}
void frmZenivor::RepaintStatus() { lblStatus_->repaint(); }
void frmZenivor::RepaintWindow() { repaint(); }
void frmZenivor::ShowMessage(const std::string& text) { dialogs_.ShowMessage(QString::fromStdString(text)); }
RgbImage& frmZenivor::Surface() { return picMap_->Surface(); }
void frmZenivor::RepaintSurface() { picMap_->repaint(); }
void frmZenivor::ClearSurface() { picMap_->Clear(); }

QIcon ProgramIcon() {
    QPixmap pixmap(32, 32);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    const QColor sky(40, 90, 180);
    const QColor horizon(150, 190, 230);
    const QColor ground(110, 80, 45);
    // The unfolded cube: cap on top, four sides in a row, ground below.
    painter.fillRect(8, 2, 8, 8, sky);
    for (int side = 0; side < 4; ++side) {
        painter.fillRect(side * 8, 10, 8, 5, horizon);
        painter.fillRect(side * 8, 15, 8, 3, QColor(60, 110, 130));
    }
    painter.fillRect(8, 18, 8, 8, ground);
    painter.fillRect(10, 4, 3, 3, QColor(255, 240, 190));  // the sun
    return QIcon(pixmap);
}

}  // namespace zenivor
