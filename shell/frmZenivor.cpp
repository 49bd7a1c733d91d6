#include "shell/frmZenivor.h"

#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QIcon>
#include <QKeySequence>
#include <QLabel>
#include <QMenuBar>
#include <QPainter>

#include "shell/DesktopIntegration.h"
#include "shell/PictureBox.h"
#include "shell/ShellDialogs.h"
#include "util/SettingsStore.h"

namespace zenivor {

frmZenivor::frmZenivor(ShellDialogs& dialogs, MenuCommands commands)
    : dialogs_(dialogs), commands_(std::move(commands)) {
    setWindowTitle(QString::fromUtf8(kProgramTitle));
    setWindowIcon(WindowIcon());
    setAcceptDrops(true);
    // Controls sit at fixed pixel positions; resizing the window moves nothing.
    auto* client = new QWidget(this);
    client->setFixedSize(kClientWidth, kClientHeight);
    picMap_ = new PictureBox(client);
    picMap_->move(12, 8);
    lblStatus_ = new QLabel(client);
    lblStatus_->setGeometry(12, 524, 329, 17);
    setCentralWidget(client);
    CreateMenus();
    resize(kClientWidth, kClientHeight + menuBar()->sizeHint().height());
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
    mnuFile->addSeparator();
    itmFileExit_ = AddItem(mnuFile, tr("E&xit"), QKeySequence(Qt::CTRL | Qt::Key_Q), commands_.fileExit);
    QMenu* mnuHelp = menuBar()->addMenu(tr("&Help"));
    itmHelpHelp_ = AddItem(mnuHelp, tr("&Help"), QKeySequence(Qt::Key_F1), commands_.helpHelp);
    mnuHelp->addSeparator();
    itmHelpAbout_ = AddItem(mnuHelp, tr("&About"), QKeySequence(), commands_.helpAbout);
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

void frmZenivor::SetStatusText(const std::string& text) { lblStatus_->setText(QString::fromStdString(text)); }
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
