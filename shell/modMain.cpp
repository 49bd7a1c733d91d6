#include "shell/modMain.h"

#include <QApplication>
#include <QDir>
#include <QUrl>

#include "about/frmAbout.h"

#include "conversion/CubeFileSteps.h"
#include "conversion/ProcessPanorama.h"
#include "conversion/ProcessSky.h"
#include "formats/ImageFormats.h"
#include "legacy/ErrorText.h"
#include "legacy/modSubroutines.h"
#include "shell/DesktopIntegration.h"
#include "shell/ShellDialogs.h"
#include "util/FileSystem.h"

namespace zenivor {
namespace {

// The hourglass for as long as a conversion runs, however it ends.
class BusyCursor {
public:
    BusyCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~BusyCursor() { QApplication::restoreOverrideCursor(); }
    BusyCursor(const BusyCursor&) = delete;
    BusyCursor& operator=(const BusyCursor&) = delete;
};

// Names are case-sensitive here, so the extensions are offered in both spellings.
constexpr const char* kPanoramaFilter =
    "Panoramas (*.tga *.png *.jpg *.jpeg *.tif *.tiff *.webp *.exr *.hdr "
    "*.TGA *.PNG *.JPG *.JPEG *.TIF *.TIFF *.WEBP *.EXR *.HDR)";

const OpenDialogSetup& InputDialogSetup() {
    static const OpenDialogSetup setup{
        "tga", {"TGA file (504x504,1008x504,2016x504) (*.tga *.TGA)", "All Files (*)", kPanoramaFilter}, {}};
    return setup;
}

const OpenDialogSetup& PanoramaDialogSetup() {
    static const OpenDialogSetup setup{{}, {kPanoramaFilter, "All Files (*)"}, {}};
    return setup;
}

// Names the page, so that it can still be opened by hand.
QString HelpFailureText(const std::filesystem::path& page, bool present) {
    const QString name = QString::fromStdString(Utf8FromPath(page));
    const QString what = present ? QStringLiteral("Open %1 in a web browser.") : QStringLiteral("%1 is missing.");
    return QStringLiteral("Error launching help file.\n\n") + what.arg(name);
}

}  // namespace

std::string CommandLinePath(const QStringList& arguments) {
    QString path = arguments.mid(1).join(' ');
    // A dropped file whose name has blanks arrives quoted on some platforms.
    if (path.size() >= 2 && path.startsWith('"') && path.endsWith('"')) path = path.mid(1, path.size() - 2);
    return path.toStdString();
}

modMain::modMain(ShellEnvironment environment) : environment_(std::move(environment)) {}

modMain::~modMain() = default;

void modMain::ReportUnexpected(const char* procedure, const std::exception& error) {
    environment_.dialogs.ShowMessage(QString::fromStdString(UnexpectedErrorText(procedure, error)));
}

void modMain::Main(const QStringList& arguments) {
    try {
        appName_ = kAppName;
        lastPath_ = environment_.settings.GetSetting(appName_, kProgramTitle, kLastPathKey, "");
        // A cube a killed conversion left half in place is finished before anything shows it;
        // one that another conversion holds is that conversion's to finish.
        if (!lastPath_.empty()) (void)FinishLeftCube(environment_.files, PathFromUtf8(lastPath_), {});
        window_ = std::make_unique<frmZenivor>(
            environment_.dialogs, MenuCommands{.fileOpen = [this] { FileOpen(); },
                                               .fileOpenPanorama = [this] { FileOpenPanorama(); },
                                               .fileExit = [this] { ExitProgram(); },
                                               .helpHelp = [this] { LaunchHelpFile("Zenivor.html"); },
                                               .helpAbout = [this] { ShowAbout(); },
                                               .dropped = [this](const QMimeData& data) { DropFile(data); }});
        // Messages are owned by the window from now on.
        environment_.dialogs.SetOwner(window_.get());
        window_->show();
        window_->repaint();
        const std::string path = CommandLinePath(arguments);
        if (path.empty()) return;
        window_->SetStatusText("Processing " + path);
        window_->RepaintStatus();
        ProcessFile(path);
    } catch (const std::exception& error) {
        ReportUnexpected("Main", error);
    }
}

void modMain::ProcessFile(const std::string& path) {
    SkyResult result;
    {
        const BusyCursor busy;
        result = ProcessSky(path, Context());
    }
    ShowResult(result);
}

void modMain::ProcessPanoramaFile(const std::string& path) {
    SkyResult result;
    {
        const BusyCursor busy;
        result = ProcessPanorama(path, Context(), {});
    }
    ShowResult(result);
}

SkyContext modMain::Context() const {
    return {.host = *window_,
            .files = environment_.files,
            .lastPath = lastPath_,
            .programFolder = environment_.programFolder,
            .decoders = PanoramaDecoders()};
}

void modMain::ShowResult(const SkyResult& result) {
    // A failure keeps its own text in the status line; a refused strip says why there too, and
    // leaves no picture that could pass for a result.
    if (result.outcome == SkyOutcome::Completed) window_->SetStatusText("AllDone");
    if (result.outcome == SkyOutcome::Refused) {
        window_->SetStatusText(result.text);
        window_->ClearSurface();
    }
    window_->RepaintSurface();
}

void modMain::FileOpen() {
    try {
        OpenAndProcess(InputDialogSetup(), &modMain::ProcessFile);
    } catch (const std::exception& error) {
        ReportUnexpected("File Open", error);
    }
}

void modMain::FileOpenPanorama() {
    try {
        OpenAndProcess(PanoramaDialogSetup(), &modMain::ProcessPanoramaFile);
    } catch (const std::exception& error) {
        ReportUnexpected("File Open Panorama", error);
    }
}

void modMain::OpenAndProcess(const OpenDialogSetup& setup, void (modMain::*process)(const std::string&)) {
    const std::string path = SelectInputFile(setup);
    if (path.empty()) {
        window_->SetStatusText("Nothing to do");
        return;
    }
    window_->SetStatusText("Processing " + path);
    window_->RepaintStatus();
    (this->*process)(path);
}

std::string modMain::SelectInputFile(const OpenDialogSetup& dialogSetup) {
    try {
        OpenDialogSetup setup = dialogSetup;
        if (!lastPath_.empty()) setup.initialFolder = QString::fromStdString(lastPath_);
        const QString chosen = QDir::toNativeSeparators(environment_.dialogs.ChooseInputFile(setup));
        // A cancelled dialog keeps the remembered folder.
        if (chosen.isEmpty()) return {};
        lastPath_ = QString::fromStdU16String(
                        GetPathFromFileName(chosen.toStdU16String(), kNativeSeparator, environment_.dialogs))
                        .toStdString();
        return chosen.toStdString();
    } catch (const std::exception&) {
        return {};
    }
}

void modMain::ExitProgram() {
    // A store that cannot be written must not keep the program open.
    (void)environment_.settings.SaveSetting(appName_, kProgramTitle, kLastPathKey, lastPath_);
    if (environment_.endProgram) environment_.endProgram();
}

void modMain::LaunchHelpFile(const std::string& name) {
    const auto path = environment_.programFolder / PathFromUtf8(name);
    std::error_code error;
    const bool present = std::filesystem::is_regular_file(path, error);
    // The desktop's launcher may report success before it fails on a missing file.
    const bool opened =
        present && environment_.dialogs.OpenDocument(QUrl::fromLocalFile(QString::fromStdString(Utf8FromPath(path))));
    if (!opened) environment_.dialogs.ShowMessage(HelpFailureText(path, present));
}

void modMain::DropFile(const QMimeData& data) {
    try {
        const QString file = QDir::toNativeSeparators(DroppedFile(data));
        if (file.isEmpty()) {
            environment_.dialogs.ShowMessage(QStringLiteral("Drop one strip file on the window to convert it."));
            return;
        }
        const std::string path = file.toStdString();
        // As File > Open: the strip's folder becomes the remembered one.
        lastPath_ = QString::fromStdU16String(
                        GetPathFromFileName(file.toStdU16String(), kNativeSeparator, environment_.dialogs))
                        .toStdString();
        window_->SetStatusText("Processing " + path);
        window_->RepaintStatus();
        ProcessFile(path);
    } catch (const std::exception& error) {
        ReportUnexpected("Drop", error);
    }
}

void modMain::ShowAbout() {
    frmAbout about(environment_.settings, environment_.dialogs, window_.get());
    about.setModal(true);
    environment_.dialogs.RunModal(about);
}

}  // namespace zenivor
