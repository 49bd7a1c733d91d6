#include "shell/modMain.h"

#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QTimer>
#include <QUrl>
#include <set>

#include "about/frmAbout.h"
#include "conversion/CubeFileSteps.h"
#include "conversion/CubeView.h"
#include "conversion/ProcessPanorama.h"
#include "conversion/ProcessSky.h"
#include "conversion/UndoStore.h"
#include "formats/ImageFormats.h"
#include "imaging/Resample.h"
#include "legacy/ErrorText.h"
#include "legacy/modSubroutines.h"
#include "shell/ConversionRunner.h"
#include "shell/CubePane.h"
#include "shell/DesktopIntegration.h"
#include "shell/ShellDialogs.h"

namespace zenivor {
namespace {

namespace fs = std::filesystem;

// Names are case-sensitive here, so the extensions are offered in both spellings.
constexpr const char* kPanoramaFilter =
    "Panoramas (*.tga *.png *.jpg *.jpeg *.tif *.tiff *.webp *.exr *.hdr "
    "*.TGA *.PNG *.JPG *.JPEG *.TIF *.TIFF *.WEBP *.EXR *.HDR)";
// How many files File > Open Recent lists, kept under the keys "Recent1" to "Recent8".
constexpr int kRecentEntries = 8;
// How long the panorama's controls rest before its cube is projected anew.
constexpr int kProjectionDelayMs = 400;
// The preview of a turning panorama is read from a copy of at most this width.
constexpr int kPreviewWidth = 2048;

const OpenDialogSetup& InputDialogSetup() {
    static const OpenDialogSetup setup{
        "tga", {"TGA file (504x504,1008x504,2016x504) (*.tga *.TGA)", "All Files (*)", kPanoramaFilter}, {}, true};
    return setup;
}

const OpenDialogSetup& PanoramaDialogSetup() {
    static const OpenDialogSetup setup{{}, {kPanoramaFilter, "All Files (*)"}, {}, false};
    return setup;
}

// Names the page, so that it can still be opened by hand.
QString HelpFailureText(const fs::path& page, bool present) {
    const QString name = QString::fromStdString(Utf8FromPath(page));
    const QString what = present ? QStringLiteral("No program could open it: open %1 in a web browser.")
                                 : QStringLiteral("%1 is missing.");
    return QStringLiteral("Error launching help file.\n\n") + what.arg(name);
}

std::string FolderText(const fs::path& folder) { return Utf8FromPath(folder / ""); }

std::string FolderOf(const std::string& file) {
    return QString::fromStdU16String(GetPathFromFileName(QString::fromStdString(file).toStdU16String())).toStdString();
}

// The hourglass of the first design, for as long as a conversion runs.
void ShowBusy(bool busy) {
    if (busy)
        QApplication::setOverrideCursor(Qt::WaitCursor);
    else
        QApplication::restoreOverrideCursor();
}

// One of the six files of a cube whose folder holds all six: opened for viewing, not converted.
bool IsCubeFace(FileSystem& files, const fs::path& file) {
    const std::string name = Utf8FromPath(file.filename());
    const bool face = std::find(kCubeFileNames.begin(), kCubeFileNames.end(), name) != kCubeFileNames.end();
    return face && HoldsCube(files, file.parent_path());
}

// A conversion of many files: every step shows, but a refusal is a line of the list at the end,
// not a message box for each.
class QuietHost final : public ConversionHost {
public:
    explicit QuietHost(ConversionHost& host) : host_(host) {}
    void SetStatusText(const std::string& text) override { host_.SetStatusText(text); }
    void RepaintStatus() override { host_.RepaintStatus(); }
    void RepaintWindow() override { host_.RepaintWindow(); }
    void ShowMessage(const std::string&) override {}
    RgbImage& Surface() override { return host_.Surface(); }
    void RepaintSurface() override { host_.RepaintSurface(); }
    void ClearSurface() override { host_.ClearSurface(); }
    bool StopRequested() override { return host_.StopRequested(); }

private:
    ConversionHost& host_;
};

}  // namespace

ShellCommandLine ParseCommandLine(const QStringList& arguments) {
    ShellCommandLine line;
    QStringList rest = arguments.mid(1);
    if (!rest.isEmpty() && (rest.front() == QLatin1String("-v") || rest.front() == QLatin1String("--verbose"))) {
        line.verbose = true;
        rest.removeFirst();
    }
    if (rest.size() > 1 && rest.front() == QLatin1String(kAskOption)) {
        line.ask = true;
        rest.removeFirst();
    }
    if (!rest.isEmpty() && rest.front() == QLatin1String("--")) rest.removeFirst();
    QString path = rest.join(' ');
    // A dropped file whose name has blanks arrives quoted on some platforms.
    if (path.size() >= 2 && path.startsWith('"') && path.endsWith('"')) path = path.mid(1, path.size() - 2);
    line.path = path.toStdString();
    return line;
}

QString ShownFolder(const fs::path& folder) {
    const QString text = QString::fromStdString(FolderText(folder));
    const QString home = QDir::homePath() + QLatin1Char('/');
    return text.startsWith(home) ? QStringLiteral("~/") + text.mid(home.size()) : text;
}

modMain::modMain(ShellEnvironment environment) : environment_(std::move(environment)) {}

modMain::~modMain() {
    if (runner_) runner_->Wait();
}

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
        undo_ = std::make_unique<UndoStore>(
            environment_.files, environment_.undoFolder.empty() ? UndoStore::DefaultFolder() : environment_.undoFolder);
        window_ = std::make_unique<frmZenivor>(
            environment_.dialogs, MenuCommands{.fileOpen = [this] { FileOpen(); },
                                               .fileOpenPanorama = [this] { FileOpenPanorama(); },
                                               .fileOpenCube = [this] { FileOpenCube(); },
                                               .fileOpenRecent = [this](const QString& entry) { OpenRecent(entry); },
                                               .fileOutputFolder = [this] { FileOutputFolder(); },
                                               .fileOpenOutputFolder = [this] { FileOpenOutputFolder(); },
                                               .fileExit = [this] { ExitProgram(); },
                                               .editUndo = [this] { EditUndo(); },
                                               .helpHelp = [this] { LaunchHelpFile("Zenivor.html"); },
                                               .helpAbout = [this] { ShowAbout(); },
                                               .dropped = [this](const QMimeData& data) { DropFile(data); },
                                               .cancel = [this] { runner_->RequestStop(); }});
        // Messages are owned by the window from now on.
        environment_.dialogs.SetOwner(window_.get());
        const ShellCommandLine commandLine = ParseCommandLine(arguments);
        if (commandLine.verbose) window_->SetStatusEcho(environment_.verboseOutput);
        runner_ = std::make_unique<ConversionRunner>(*window_);
        ReadRecent();
        window_->SetUndoable(undo_->NewestFolder().has_value());
        window_->show();
        window_->repaint();
        if (commandLine.ask) {
            AskFirst(commandLine.path);
            return;
        }
        const std::string& path = commandLine.path;
        if (path.empty()) return;
        window_->SetStatusText("Processing " + path);
        window_->RepaintStatus();
        ProcessFile(path);
    } catch (const std::exception& error) {
        ReportUnexpected("Main", error);
    }
}

namespace {

// While another conversion holds the folder: the status line says so, counting the seconds,
// and Cancel stops the wait.
std::function<bool(std::chrono::milliseconds)> WaitingNotice(ConversionHost& host, const std::string& folder) {
    return [&host, folder](std::chrono::milliseconds waited) {
        const std::string shown = folder.empty() ? std::string("the folder") : folder;
        host.SetStatusText("Waiting for another conversion into " + shown + " (" +
                           std::to_string(waited.count() / 1000) + " s)");
        host.RepaintStatus();
        return !host.StopRequested();
    };
}

}  // namespace

SkyContext modMain::Context(ConversionHost& host, const std::string& folder) {
    return {.host = host,
            .files = environment_.files,
            .lastPath = folder,
            .programFolder = environment_.programFolder,
            .groundTemplate = environment_.groundTemplate,
            .decoders = PanoramaDecoders(),
            .waiting = WaitingNotice(host, folder),
            .beforeReplace = [this](FileSystem&, OutputFolder& output) { return undo_->Keep(output); }};
}

void modMain::ProcessFile(const std::string& path) { Convert(path, false, {}, {}); }

void modMain::Convert(const std::string& path, bool panorama, const PanoramaView& view, const fs::path& ground) {
    const std::string folder = lastPath_;
    ShowBusy(true);
    runner_->Start(
        [this, path, folder, panorama, view, ground](ConversionHost& host) {
            SkyContext context = Context(host, folder);
            if (!panorama) return ProcessSky(path, context);
            if (!ground.empty()) context.groundTemplate = ground;
            return ProcessPanorama(path, context, {.view = view, .groundFromTemplate = !ground.empty()});
        },
        [this, path, folder, panorama](const SkyResult& result) {
            ShowBusy(false);
            Converted(result, path, folder, panorama ? QStringLiteral("panorama") : QStringLiteral("strip"));
        });
}

void modMain::Converted(const SkyResult& result, const std::string& path, const std::string& folder,
                        const QString& kind) {
    ShowResult(result);
    const fs::path written = folder.empty() ? PathFromUtf8(path).parent_path() : PathFromUtf8(folder);
    if (result.outcome == SkyOutcome::Completed) {
        ShowCubeIn(written, QStringLiteral("The cube in ") + ShownFolder(written));
        Remember(kind, path);
        window_->SetUndoable(undo_->NewestFolder().has_value());
    } else if (result.outcome == SkyOutcome::Failed) {
        window_->lblFolder()->setText(result.replacedInPart
                                          ? QStringLiteral("The files in %1 are replaced in part; the next "
                                                           "conversion into it finishes them")
                                                .arg(ShownFolder(written))
                                          : QStringLiteral("Nothing was replaced in %1").arg(ShownFolder(written)));
    } else if (kind == QLatin1String("strip")) {
        OfferPanorama(result, path);
    }
}

// A failure keeps its own text in the status line; a refused strip says why there too, and
// leaves no picture that could pass for a result.
void modMain::ShowResult(const SkyResult& result) {
    if (result.outcome == SkyOutcome::Completed) window_->SetStatusText("AllDone");
    if (result.outcome == SkyOutcome::Refused) {
        window_->SetStatusText(result.text);
        window_->ClearSurface();
    }
    window_->RepaintSurface();
}

// A panorama opened as a strip: say what it is, and offer to project it.
void modMain::OfferPanorama(const SkyResult& result, const std::string& path) {
    if (!IsEquirectangular(result.strip.width, result.strip.height)) return;
    const QString text = QStringLiteral(
                             "%1 is %2 x %3 pixels: twice as wide as it is high, like a 360-degree panorama.\n\n"
                             "Project it onto the cube as a panorama?")
                             .arg(QString::fromStdString(path))
                             .arg(result.strip.width)
                             .arg(result.strip.height);
    if (environment_.dialogs.Ask(text, {QStringLiteral("Project as a Panorama"), QStringLiteral("Cancel")}) == 0)
        ProcessPanoramaFile(path);
}

void modMain::ShowCubeIn(const fs::path& folder, const QString& caption) {
    shownFolder_ = folder;
    window_->Pane()->ShowCube(ReadCube(environment_.files, folder), caption);
    window_->SetOutputFolder(ShownFolder(folder), QStringLiteral("6 files in ") + ShownFolder(folder));
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
    if (runner_->Busy()) return;
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
        const QStringList chosen = environment_.dialogs.ChooseInputFiles(setup);
        // A cancelled dialog keeps the remembered folder.
        if (chosen.isEmpty()) return {};
        if (chosen.size() > 1) {
            ConvertEach(chosen);
            return {};
        }
        const QString file = QDir::toNativeSeparators(chosen.front());
        lastPath_ = QString::fromStdU16String(
                        GetPathFromFileName(file.toStdU16String(), kNativeSeparator, environment_.dialogs))
                        .toStdString();
        return file.toStdString();
    } catch (const std::exception&) {
        return {};
    }
}

void modMain::ProcessPanoramaFile(const std::string& path) {
    panoramaPath_ = path;
    panoramaGround_ = GroundSource::Panorama;
    auto panorama = std::make_shared<RgbImage>();
    auto faces = std::make_shared<std::array<RgbImage, 6>>();
    ShowBusy(true);
    runner_->Start(
        [this, path, panorama, faces](ConversionHost& host) {
            const SkyContext context = Context(host, "");
            SkyResult read = ReadPanorama(path, context, *panorama);
            if (read.outcome == SkyOutcome::Completed) {
                host.SetStatusText("Projecting panorama");
                *faces = ProjectPanorama(*panorama, PanoramaView{}, [&host](double done) { host.ShowProgress(done); });
            }
            return read;
        },
        [this, path, panorama, faces](const SkyResult& result) {
            ShowBusy(false);
            if (result.outcome != SkyOutcome::Completed) return ShowResult(result);
            panorama_ = panorama;
            const RgbImage preview =
                panorama->width > kPreviewWidth ? Resampled(*panorama, kPreviewWidth, kPreviewWidth / 2) : *panorama;
            panoramaView_ = std::make_shared<PanoramaLookAround>(preview);
            window_->SetStatusText("Set North, pitch and roll, then Write");
            window_->Pane()->ShowCube(*faces, QStringLiteral("Not written yet: ") + QString::fromStdString(path));
            window_->Pane()->SetMode(CubePane::Mode::LookAround);
            window_->itmViewLookAround()->setChecked(true);
            window_->ShowPanoramaControls(
                PanoramaView{},
                [this](const PanoramaView& view, GroundSource source) {
                    const fs::path ground = PanoramaGround(source);
                    if (window_->CurrentGround() != source) return;  // gone back, and shown again
                    window_->Pane()->ShowPanorama(panoramaView_, view, QStringLiteral("Not written yet"));
                    const int generation = ++projectionGeneration_;
                    QTimer::singleShot(kProjectionDelayMs, window_.get(), [this, generation, view, ground] {
                        if (generation == projectionGeneration_) PreviewPanorama(view, ground);
                    });
                },
                [this] {
                    Convert(panoramaPath_, true, window_->CurrentPanoramaView(),
                            PanoramaGround(window_->CurrentGround()));
                });
        });
}

fs::path modMain::PanoramaGround(GroundSource ground) {
    const GroundSource before = std::exchange(panoramaGround_, ground);
    if (ground == GroundSource::Panorama) return {};
    if (ground == GroundSource::Template)
        return environment_.groundTemplate.empty() ? environment_.programFolder / kGroundTemplateFile
                                                   : environment_.groundTemplate;
    if (before == GroundSource::File && !groundFile_.empty()) return groundFile_;
    // The ground is copied byte for byte: it must be a TGA the program reads.
    static const OpenDialogSetup setup{"tga", {"TGA file (*.tga *.TGA)", "All Files (*)"}, {}, false};
    const QStringList chosen = environment_.dialogs.ChooseInputFiles(setup);
    if (!chosen.isEmpty()) {
        const fs::path file = PathFromUtf8(chosen.front().toStdString());
        const Result<ImageSize> size = ReadImageSize(environment_.files, file, CoreDecoders());
        if (size) return groundFile_ = file;
        environment_.dialogs.ShowMessage(
            QStringLiteral("%1 cannot be the ground: it is copied as it is, so it must be a TGA file (%2).")
                .arg(chosen.front(), QString::fromStdString(Reason(size.Error()))));
    }
    window_->SetGround(before);  // shown again through the controls' own change
    return {};
}

// The projected cube for the controls at rest, replacing the quick preview.
void modMain::PreviewPanorama(const PanoramaView& view, const fs::path& ground) {
    if (runner_->Busy() || !panorama_) return;
    auto faces = std::make_shared<std::array<RgbImage, 6>>();
    const int generation = projectionGeneration_;
    runner_->Start(
        [this, faces, view, ground](ConversionHost& host) {
            *faces = ProjectPanorama(*panorama_, view, [&host](double done) { host.ShowProgress(done); });
            SkyResult result{SkyOutcome::Completed, {}, {}};
            if (!ground.empty()) {
                Result<RgbImage> read = ReadImage(environment_.files, ground, CoreDecoders(), {});
                if (read) (*faces)[static_cast<std::size_t>(Face::Ground)] = std::move(*read);
            }
            return result;
        },
        [this, faces, generation](const SkyResult&) {
            if (generation != projectionGeneration_ || !window_->PanoramaControlsShown()) return;
            window_->Pane()->ShowCube(*faces,
                                      QStringLiteral("Not written yet: ") + QString::fromStdString(panoramaPath_));
        });
}

void modMain::FileOpenCube() {
    const QString chosen =
        environment_.dialogs.ChooseFolder(QStringLiteral("Open the Cube in"), QString::fromStdString(lastPath_));
    if (chosen.isEmpty()) return;
    const fs::path folder = PathFromUtf8(chosen.toStdString());
    if (!HoldsCube(environment_.files, folder)) {
        environment_.dialogs.ShowMessage(QStringLiteral("%1 holds no sky cube: the six files F0010001.tga to "
                                                        "F0060001.tga are not all there.")
                                             .arg(chosen));
        return;
    }
    ShowCubeIn(folder, QStringLiteral("The cube in ") + ShownFolder(folder));
    Remember(QStringLiteral("cube"), FolderText(folder));
}

void modMain::FileOutputFolder() {
    const QString chosen = environment_.dialogs.ChooseFolder(QStringLiteral("Write the Six Files into"),
                                                             QString::fromStdString(lastPath_));
    if (chosen.isEmpty()) return;
    lastPath_ = FolderText(PathFromUtf8(chosen.toStdString()));
    window_->lblFolder()->setText(QStringLiteral("Conversions write into ") + ShownFolder(PathFromUtf8(lastPath_)));
}

void modMain::FileOpenOutputFolder() {
    const fs::path folder = !shownFolder_.empty() ? shownFolder_ : PathFromUtf8(lastPath_);
    if (folder.empty()) {
        environment_.dialogs.ShowMessage(QStringLiteral("There is no output folder yet: convert a strip first."));
        return;
    }
    if (!environment_.dialogs.OpenDocument(QUrl::fromLocalFile(QString::fromStdString(FolderText(folder)))))
        environment_.dialogs.ShowMessage(
            QStringLiteral("No program could open the folder %1.").arg(QString::fromStdString(FolderText(folder))));
}

void modMain::OpenRecent(const QString& entry) {
    const QString kind = entry.section(QLatin1Char(':'), 0, 0);
    const std::string path = entry.section(QLatin1Char(':'), 1).toStdString();
    if (kind == QLatin1String("cube")) {
        if (HoldsCube(environment_.files, PathFromUtf8(path)))
            ShowCubeIn(PathFromUtf8(path), QStringLiteral("The cube in ") + ShownFolder(PathFromUtf8(path)));
        else
            environment_.dialogs.ShowMessage(
                QStringLiteral("%1 holds no sky cube any more.").arg(entry.section(':', 1)));
        return;
    }
    // As File > Open: the file's folder becomes the remembered one.
    lastPath_ = FolderOf(path);
    window_->SetStatusText("Processing " + path);
    if (kind == QLatin1String("panorama"))
        ProcessPanoramaFile(path);
    else
        ProcessFile(path);
}

void modMain::Remember(const QString& kind, const std::string& path) {
    const QString entry = kind + QLatin1Char(':') + QString::fromStdString(path);
    recent_.removeAll(entry);
    recent_.prepend(entry);
    while (recent_.size() > kRecentEntries) recent_.removeLast();
    window_->SetRecentEntries(recent_);
}

void modMain::ReadRecent() {
    recent_.clear();
    for (int i = 1; i <= kRecentEntries; ++i) {
        const std::string entry =
            environment_.settings.GetSetting(appName_, kProgramTitle, "Recent" + std::to_string(i), "");
        if (!entry.empty() && entry.find(':') != std::string::npos) recent_ << QString::fromStdString(entry);
    }
    window_->SetRecentEntries(recent_);
}

// Only keys that hold an entry, or held one, are written: a file without recent entries keeps
// every byte.
void modMain::SaveRecent() {
    for (int i = 1; i <= kRecentEntries; ++i) {
        const std::string key = "Recent" + std::to_string(i);
        const std::string entry = i <= recent_.size() ? recent_[i - 1].toStdString() : std::string();
        if (!entry.empty() || !environment_.settings.GetSetting(appName_, kProgramTitle, key, "").empty())
            (void)environment_.settings.SaveSetting(appName_, kProgramTitle, key, entry);
    }
}

void modMain::EditUndo() {
    if (runner_->Busy() || !undo_->NewestFolder()) return;
    auto folder = std::make_shared<fs::path>();
    runner_->Start(
        [this, folder](ConversionHost&) {
            const Result<fs::path> undone = undo_->Undo({});
            if (!undone) return SkyResult{SkyOutcome::Failed, "Undo failed: " + NumberAndReason(undone.Error()), {}};
            *folder = *undone;
            return SkyResult{SkyOutcome::Completed, {}, {}};
        },
        [this, folder](const SkyResult& result) {
            window_->SetUndoable(undo_->NewestFolder().has_value());
            if (result.outcome != SkyOutcome::Completed) return window_->SetStatusText(result.text);
            window_->SetStatusText("Undid the last conversion in " + FolderText(*folder));
            ShowCubeIn(*folder, QStringLiteral("The cube in ") + ShownFolder(*folder));
        });
}

void modMain::ExitProgram() {
    // A conversion still running stops at its next step, replacing nothing.
    if (runner_ && runner_->Busy()) {
        runner_->RequestStop();
        runner_->Wait();
    }
    // A store that cannot be written must not keep the program open.
    (void)environment_.settings.SaveSetting(appName_, kProgramTitle, kLastPathKey, lastPath_);
    SaveRecent();
    if (environment_.endProgram) environment_.endProgram();
}

void modMain::LaunchHelpFile(const std::string& name) {
    const auto path = environment_.programFolder / PathFromUtf8(name);
    std::error_code error;
    const bool present = fs::is_regular_file(path, error);
    const bool opened =
        present && environment_.dialogs.OpenDocument(QUrl::fromLocalFile(QString::fromStdString(Utf8FromPath(path))));
    if (!opened) environment_.dialogs.ShowMessage(HelpFailureText(path, present));
}

void modMain::DropFile(const QMimeData& data) {
    try {
        if (runner_->Busy()) return;
        QStringList files = DroppedFiles(data);
        if (files.isEmpty()) {
            environment_.dialogs.ShowMessage(QStringLiteral("Drop one strip file on the window to convert it."));
            return;
        }
        if (files.size() > 1) return ConvertEach(files);
        const QString file = QDir::toNativeSeparators(files.front());
        const std::string path = file.toStdString();
        // As File > Open: the strip's folder becomes the remembered one.
        lastPath_ = FolderOf(path);
        window_->SetStatusText("Processing " + path);
        window_->RepaintStatus();
        ProcessFile(path);
    } catch (const std::exception& error) {
        ReportUnexpected("Drop", error);
    }
}

void modMain::ConvertEach(const QStringList& files) {
    const QString chosen = environment_.dialogs.ChooseFolder(
        QStringLiteral("Convert Each into a Folder of Its Own under"), QString::fromStdString(lastPath_));
    if (chosen.isEmpty()) {
        window_->SetStatusText("Nothing to do");
        return;
    }
    const fs::path root = PathFromUtf8(chosen.toStdString());
    std::set<fs::path> folders;
    for (const QString& file : files)
        if (!folders.insert(PathFromUtf8(file.toStdString()).stem()).second) {
            environment_.dialogs.ShowMessage(
                QStringLiteral("Two files named %1 would both be written into one folder under %2.")
                    .arg(QString::fromStdString(Utf8FromPath(PathFromUtf8(file.toStdString()).stem())), chosen));
            return;
        }
    auto failures = std::make_shared<QStringList>();
    auto last = std::make_shared<fs::path>();
    ShowBusy(true);
    runner_->Start(
        [this, files, root, failures, last](ConversionHost& host) {
            QuietHost quiet(host);
            for (int i = 0; i < files.size() && !host.StopRequested(); ++i) {
                const std::string path = files[i].toStdString();
                const fs::path folder = root / PathFromUtf8(path).stem();
                std::error_code error;
                fs::create_directories(folder, error);
                const SkyContext context = Context(quiet, FolderText(folder));
                SkyResult result = ProcessSky(path, context);
                if (result.outcome == SkyOutcome::Refused && IsEquirectangular(result.strip.width, result.strip.height))
                    result = ProcessPanorama(path, context, {});
                if (result.outcome == SkyOutcome::Completed)
                    *last = folder;
                else
                    *failures << QString::fromStdString(path + ": " + result.text);
                host.ShowProgress(static_cast<double>(i + 1) / files.size());
            }
            return SkyResult{failures->isEmpty() ? SkyOutcome::Completed : SkyOutcome::Failed, {}, {}};
        },
        [this, files, chosen, failures, last](const SkyResult&) {
            ShowBusy(false);
            const qsizetype converted = files.size() - failures->size();
            window_->SetStatusText(QStringLiteral("Converted %1 of %2 files, each into its own folder under %3")
                                       .arg(converted)
                                       .arg(files.size())
                                       .arg(chosen)
                                       .toStdString());
            if (!last->empty()) ShowCubeIn(*last, QStringLiteral("The cube in ") + ShownFolder(*last));
            window_->SetUndoable(undo_->NewestFolder().has_value());
            if (!failures->isEmpty())
                environment_.dialogs.ShowMessage(QStringLiteral("These files were not converted:\n\n") +
                                                 failures->join(QLatin1Char('\n')));
        });
}

void modMain::AskFirst(const std::string& path) {
    if (IsCubeFace(environment_.files, PathFromUtf8(path))) {
        const fs::path folder = PathFromUtf8(path).parent_path();
        ShowCubeIn(folder, QStringLiteral("The cube in ") + ShownFolder(folder));
        window_->SetStatusText("Showing the cube " + FolderText(folder) + " holds; nothing was converted");
        return;
    }
    auto faces = std::make_shared<std::array<RgbImage, 6>>();
    auto panorama = std::make_shared<bool>(false);
    window_->SetStatusText("Processing " + path);
    ShowBusy(true);
    runner_->Start(
        [this, path, faces, panorama](ConversionHost& host) {
            const SkyContext context = Context(host, "");
            SkyResult result = BuildSky(path, context, *faces);
            if (result.outcome == SkyOutcome::Refused && IsEquirectangular(result.strip.width, result.strip.height)) {
                *panorama = true;
                result = BuildPanorama(path, context, {}, *faces);
            }
            return result;
        },
        [this, path, faces, panorama](const SkyResult& result) {
            ShowBusy(false);
            if (result.outcome != SkyOutcome::Completed) return ShowResult(result);
            window_->Pane()->ShowCube(*faces, QStringLiteral("Not written yet: ") + QString::fromStdString(path));
            window_->SetStatusText("Nothing is written until you choose where");
            const QString remembered = lastPath_.empty() ? QString() : ShownFolder(PathFromUtf8(lastPath_));
            window_->AskWhereToWrite(QStringLiteral("Where should the six files of %1 go?")
                                         .arg(QString::fromStdString(Utf8FromPath(PathFromUtf8(path).filename()))),
                                     remembered, [this, path, panorama](WriteChoice choice) {
                                         if (choice == WriteChoice::BesideTheFile) lastPath_ = FolderOf(path);
                                         if (choice == WriteChoice::Chosen) {
                                             const QString chosen = environment_.dialogs.ChooseFolder(
                                                 QStringLiteral("Write the Six Files into"),
                                                 QString::fromStdString(FolderOf(path)));
                                             if (chosen.isEmpty())
                                                 choice = WriteChoice::Cancel;
                                             else
                                                 lastPath_ = FolderText(PathFromUtf8(chosen.toStdString()));
                                         }
                                         if (choice == WriteChoice::Cancel)
                                             return window_->SetStatusText("Nothing was written");
                                         window_->SetStatusText("Processing " + path);
                                         Convert(path, *panorama, {}, {});
                                     });
        });
}

void modMain::WaitForConversion() {
    if (runner_) runner_->Wait();
}

void modMain::ShowAbout() {
    frmAbout about(environment_.settings, environment_.dialogs, window_.get());
    about.setModal(true);
    environment_.dialogs.RunModal(about);
}

}  // namespace zenivor
