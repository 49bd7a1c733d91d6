#pragma once
// The main window: the picture of the drawing surface, the status line and the File and Help
// menus. It shows a conversion through the ConversionHost interface.

#include <QMainWindow>
#include <functional>

#include "conversion/ConversionHost.h"

class QAction;
class QKeySequence;
class QLabel;
class QMimeData;

namespace zenivor {

class PictureBox;
class ShellDialogs;

struct MenuCommands {
    std::function<void()> fileOpen;
    std::function<void()> fileOpenPanorama;
    std::function<void()> fileExit;  // also every request to close the window
    std::function<void()> helpHelp;
    std::function<void()> helpAbout;
    std::function<void(const QMimeData&)> dropped;  // whatever is dropped on the window
};

class frmZenivor final : public QMainWindow, public ConversionHost {
public:
    static constexpr int kClientWidth = 531;
    static constexpr int kClientHeight = 551;

    frmZenivor(ShellDialogs& dialogs, MenuCommands commands);

    PictureBox* picMap() const { return picMap_; }
    QLabel* lblStatus() const { return lblStatus_; }
    QAction* itmFileOpen() const { return itmFileOpen_; }
    QAction* itmFileOpenPanorama() const { return itmFileOpenPanorama_; }
    QAction* itmFileExit() const { return itmFileExit_; }
    QAction* itmHelpHelp() const { return itmHelpHelp_; }
    QAction* itmHelpAbout() const { return itmHelpAbout_; }

    void SetStatusText(const std::string& text) override;
    void RepaintStatus() override;
    void RepaintWindow() override;
    void ShowMessage(const std::string& text) override;
    RgbImage& Surface() override;
    void RepaintSurface() override;
    void ClearSurface() override;

protected:
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void CreateMenus();
    QAction* AddItem(QMenu* menu, const QString& caption, const QKeySequence& shortcut,
                     const std::function<void()>& command);

    ShellDialogs& dialogs_;
    MenuCommands commands_;
    PictureBox* picMap_ = nullptr;
    QLabel* lblStatus_ = nullptr;
    QAction* itmFileOpen_ = nullptr;
    QAction* itmFileOpenPanorama_ = nullptr;
    QAction* itmFileExit_ = nullptr;
    QAction* itmHelpHelp_ = nullptr;
    QAction* itmHelpAbout_ = nullptr;
};

// The program's own 32 x 32 icon: a small unfolded sky cube.
QIcon ProgramIcon();

}  // namespace zenivor
