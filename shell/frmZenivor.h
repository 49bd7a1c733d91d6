#pragma once
// The main window: the picture of the drawing surface and the status line where they always
// were, the cube pane beside them, and under the status line the folder the last conversion
// wrote, a progress bar while one runs, and the bars that ask before a cube is written. It shows
// a conversion through the ConversionHost interface.

#include <QMainWindow>
#include <functional>

#include "conversion/ConversionHost.h"
#include "conversion/Equirect.h"

class QAction;
class QComboBox;
class QDoubleSpinBox;
class QKeySequence;
class QLabel;
class QMenu;
class QMimeData;
class QProgressBar;
class QPushButton;
class QScrollArea;

namespace zenivor {

class CubePane;
class PictureBox;
class ShellDialogs;
class StatusLine;

struct MenuCommands {
    std::function<void()> fileOpen;
    std::function<void()> fileOpenPanorama;
    std::function<void()> fileOpenCube;
    std::function<void(const QString& entry)> fileOpenRecent;
    std::function<void()> fileOutputFolder;
    std::function<void()> fileOpenOutputFolder;
    std::function<void()> fileExit;  // also every request to close the window
    std::function<void()> editUndo;
    std::function<void()> helpHelp;
    std::function<void()> helpAbout;
    std::function<void(const QMimeData&)> dropped;  // whatever is dropped on the window
    std::function<void()> cancel;                   // the Cancel button of a running conversion
};

// The choices of the bar that asks where a cube not yet written goes.
enum class WriteChoice { Remembered, BesideTheFile, Chosen, Cancel };

// The ground a panorama's cube is given.
enum class GroundSource { Panorama, Template, File };

class frmZenivor final : public QMainWindow, public ConversionHost {
public:
    // The Part of the window the first design laid out: its controls keep these places.
    static constexpr int kClientWidth = 531;
    static constexpr int kClientHeight = 551;

    frmZenivor(ShellDialogs& dialogs, MenuCommands commands);
    ~frmZenivor() override;

    PictureBox* picMap() const { return picMap_; }
    StatusLine* lblStatus() const { return lblStatus_; }
    QLabel* lblFolder() const { return lblFolder_; }
    CubePane* Pane() const { return cubePane_; }
    QProgressBar* Progress() const { return progress_; }
    QAction* itmFileOpen() const { return itmFileOpen_; }
    QAction* itmFileOpenPanorama() const { return itmFileOpenPanorama_; }
    QAction* itmFileOpenCube() const { return itmFileOpenCube_; }
    QMenu* mnuFileOpenRecent() const { return mnuFileOpenRecent_; }
    QAction* itmFileOutputFolder() const { return itmFileOutputFolder_; }
    QAction* itmFileOpenOutputFolder() const { return itmFileOpenOutputFolder_; }
    QAction* itmFileExit() const { return itmFileExit_; }
    QAction* itmEditUndo() const { return itmEditUndo_; }
    QAction* itmViewCross() const { return itmViewCross_; }
    QAction* itmViewLookAround() const { return itmViewLookAround_; }
    QAction* itmHelpHelp() const { return itmHelpHelp_; }
    QAction* itmHelpAbout() const { return itmHelpAbout_; }

    // Every status text also goes to echo from now on (--verbose).
    void SetStatusEcho(std::function<void(const std::string&)> echo) { statusEcho_ = std::move(echo); }

    void SetStatusText(const std::string& text) override;
    void RepaintStatus() override;
    void RepaintWindow() override;
    void ShowMessage(const std::string& text) override;
    RgbImage& Surface() override;
    void RepaintSurface() override;
    void ClearSurface() override;
    void ShowProgress(double fraction) override;

    // While a conversion runs: the progress bar and Cancel show, and the commands that would
    // start another are off.
    void SetConverting(bool converting);
    // The Cancel button, pressed: only while a conversion runs.
    void CancelConversion();
    // Names the folder of the last conversion, in the title and under the status line.
    void SetOutputFolder(const QString& folder, const QString& line);
    void SetRecentEntries(const QStringList& entries);
    void SetUndoable(bool undoable);

    // The bar that asks where a cube shown before it is written goes; chosen is called once.
    void AskWhereToWrite(const QString& question, const QString& remembered, std::function<void(WriteChoice)> chosen);
    bool Asking() const;
    // Presses one of the bar's buttons, as a click does.
    void ChooseWrite(WriteChoice choice);

    // The panorama's controls; changed is called at every change, written when Write is pressed.
    void ShowPanoramaControls(const PanoramaView& view, std::function<void(const PanoramaView&, GroundSource)> changed,
                              std::function<void()> written);
    void HidePanoramaControls();
    bool PanoramaControlsShown() const;
    void SetPanoramaView(const PanoramaView& view);
    PanoramaView CurrentPanoramaView() const;
    GroundSource CurrentGround() const;
    void SetGround(GroundSource ground);
    // Presses Write.
    void WritePanorama();

protected:
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    // The content lays itself out at its own size, which the scroll area sets after the window's.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void CreateContent();
    void CreateBars(QWidget* content);
    void CreateMenus();
    void LayOut();
    QAction* AddItem(QMenu* menu, const QString& caption, const QKeySequence& shortcut,
                     const std::function<void()>& command);
    void PanoramaChanged();

    ShellDialogs& dialogs_;
    MenuCommands commands_;
    QScrollArea* scroll_ = nullptr;
    QWidget* content_ = nullptr;
    PictureBox* picMap_ = nullptr;
    StatusLine* lblStatus_ = nullptr;
    QLabel* lblFolder_ = nullptr;
    CubePane* cubePane_ = nullptr;
    QProgressBar* progress_ = nullptr;
    QPushButton* cancel_ = nullptr;
    QWidget* askBar_ = nullptr;
    QLabel* askText_ = nullptr;
    QPushButton* askRemembered_ = nullptr;
    std::function<void(WriteChoice)> chosen_;
    QWidget* panoramaBar_ = nullptr;
    QDoubleSpinBox* north_ = nullptr;
    QDoubleSpinBox* pitch_ = nullptr;
    QDoubleSpinBox* roll_ = nullptr;
    QComboBox* ground_ = nullptr;
    std::function<void(const PanoramaView&, GroundSource)> panoramaChanged_;
    std::function<void()> panoramaWritten_;
    QAction* itmFileOpen_ = nullptr;
    QAction* itmFileOpenPanorama_ = nullptr;
    QAction* itmFileOpenCube_ = nullptr;
    QMenu* mnuFileOpenRecent_ = nullptr;
    QAction* itmFileOutputFolder_ = nullptr;
    QAction* itmFileOpenOutputFolder_ = nullptr;
    QAction* itmFileExit_ = nullptr;
    QAction* itmEditUndo_ = nullptr;
    QAction* itmViewCross_ = nullptr;
    QAction* itmViewLookAround_ = nullptr;
    QAction* itmHelpHelp_ = nullptr;
    QAction* itmHelpAbout_ = nullptr;
    std::function<void(const std::string&)> statusEcho_;
};

// The program's own 32 x 32 icon: a small unfolded sky cube.
QIcon ProgramIcon();

}  // namespace zenivor
