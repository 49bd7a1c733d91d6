#include "conversion/CubeFileSteps.h"

#include <algorithm>
#include <cerrno>

#include "legacy/ErrorText.h"

namespace zenivor {

std::filesystem::path CubeFileSteps::Folder() const {
    return context_.lastPath.empty() ? PathFromUtf8(path_).parent_path() : PathFromUtf8(context_.lastPath);
}

std::string CubeFileSteps::OutputPath(Face face) const { return Utf8FromPath(Folder() / FileNameOf(face)); }

std::vector<std::string> CubeFileNames() { return {kCubeFileNames.begin(), kCubeFileNames.end()}; }

Result<void> FinishLeftCube(FileSystem& files, const std::filesystem::path& folder, std::chrono::milliseconds wait) {
    const Result<OutputFolder> opened = files.OpenFolder(folder, {.targets = CubeFileNames(), .wait = wait});
    return opened ? Result<void>() : opened.Error();
}

bool CubeFileSteps::Stop(const std::string& statusText) {
    context_.host.SetStatusText(statusText);
    result_ = {SkyOutcome::Failed, statusText, result_.strip};
    return false;
}

bool CubeFileSteps::StopWithMessage(SkyOutcome outcome, const std::string& message) {
    context_.host.ShowMessage(message);
    result_ = {outcome, message, result_.strip};
    return false;
}

bool CubeFileSteps::ReadSourceSize() {
    const Result<ImageInfo> info = ReadImageInfo(context_.files, PathFromUtf8(path_), context_.decoders);
    if (!info)
        return StopWithMessage(SkyOutcome::Refused,
                               "Error getting file size of " + path_ + " (" + SizeQueryReason(info.Error()) + ")");
    result_.strip = info->size;
    sourceLight_ = info->light;
    return true;
}

bool CubeFileSteps::ReadSource(RgbImage& image, int largestFactor) {
    Result<RgbImage> read =
        ReadImageReduced(context_.files, PathFromUtf8(path_), context_.decoders, result_.strip, largestFactor);
    if (!read) return Stop("Get " + path_ + " error: " + NumberAndReason(read.Error()));
    image = std::move(*read);
    return true;
}

bool CubeFileSteps::ReadSourceRows(RowSink& sink, int largestFactor) {
    const Result<void> read =
        ReadImageRows(context_.files, PathFromUtf8(path_), context_.decoders, result_.strip, largestFactor, sink);
    if (!read) return Stop("Get " + path_ + " error: " + NumberAndReason(read.Error()));
    return true;
}

bool CubeFileSteps::PrepareOutput(bool groundFromTemplate, Face firstFace) {
    if (groundFromTemplate) {
        Result<InputFile> ground = context_.files.Open(TemplatePath());
        if (!ground) return Stop("Copy " + Utf8FromPath(TemplatePath()) + " error: " + NumberAndReason(ground.Error()));
        ground_ = std::move(*ground);
    }
    const FolderUse use{.targets = CubeFileNames(), .wait = context_.folderWait, .waiting = context_.waiting};
    Result<OutputFolder> folder = context_.files.OpenFolder(Folder(), use);
    if (!folder && folder.Error().code == errc::Cancelled) return Stop(kCancelledText);  // while waiting for it
    if (!folder) return Stop("Save " + OutputPath(firstFace) + " error: " + NumberAndReason(folder.Error()));
    folder_ = std::move(*folder);
    return true;
}

bool CubeFileSteps::Save(Face face, const RgbImage& image) {
    if (Cancelled()) return false;
    Result<StagedFile> saved = StageTga(context_.files, folder_, FileNameOf(face), image);
    if (!saved) return Stop("Save " + OutputPath(face) + " error: " + NumberAndReason(saved.Error()));
    staged_[static_cast<std::size_t>(face)] = std::move(*saved);
    return true;
}

bool CubeFileSteps::ConfirmWritten(Face face) {
    const Result<void> exists =
        context_.files.ExistsIn(folder_, staged_[static_cast<std::size_t>(face)].TemporaryName());
    if (exists) return true;
    const int number = exists.Error().systemError != 0 ? exists.Error().systemError : ENOENT;
    return StopWithMessage(SkyOutcome::Failed, UnexpectedErrorText("ProcessSky", number, Reason(exists.Error())));
}

bool CubeFileSteps::ReadBack(Face face, RgbImage& image) {
    // Faces are read back in the program's own format, whatever formats the source may take.
    Result<InputFile> file = context_.files.OpenIn(folder_, staged_[static_cast<std::size_t>(face)].TemporaryName());
    Result<RgbImage> read =
        file ? ReadImage(std::move(*file), CoreDecoders(), {kFaceSize, kFaceSize}) : Result<RgbImage>(file.Error());
    if (!read) return Stop("Get " + OutputPath(face) + " error: " + NumberAndReason(read.Error()));
    image = std::move(*read);
    return true;
}

bool CubeFileSteps::CopyGround() {
    if (Cancelled()) return false;
    Result<StagedFile> copied = context_.files.StageCopy(ground_, folder_, FileNameOf(Face::Ground));
    if (!copied) return Stop("Copy " + Utf8FromPath(TemplatePath()) + " error: " + NumberAndReason(copied.Error()));
    staged_[static_cast<std::size_t>(Face::Ground)] = std::move(*copied);
    return true;
}

bool CubeFileSteps::Cancelled() {
    if (!context_.host.StopRequested()) return false;
    Stop(kCancelledText);
    return true;
}

bool CubeFileSteps::ReadGroundTemplate(RgbImage& image) {
    Result<RgbImage> ground = ReadImage(context_.files, TemplatePath(), CoreDecoders(), {});
    if (!ground) return Stop("Copy " + Utf8FromPath(TemplatePath()) + " error: " + NumberAndReason(ground.Error()));
    image = std::move(*ground);
    return true;
}

std::array<RgbImage, 6> ReadCube(FileSystem& files, const std::filesystem::path& folder) {
    std::array<RgbImage, 6> faces;
    for (const Face face : kAllFaces) {
        Result<RgbImage> image = ReadImage(files, folder / FileNameOf(face), CoreDecoders(), {});
        if (image) faces[static_cast<std::size_t>(face)] = std::move(*image);
    }
    return faces;
}

bool HoldsCube(FileSystem& files, const std::filesystem::path& folder) {
    return std::all_of(kAllFaces.begin(), kAllFaces.end(),
                       [&](Face face) { return static_cast<bool>(files.CheckExists(folder / FileNameOf(face))); });
}

bool CubeFileSteps::ReplaceCube() {
    if (Cancelled()) return false;
    if (context_.beforeReplace) {
        if (const Result<void> kept = context_.beforeReplace(context_.files, folder_); !kept)
            return Stop("Keeping the older files for Undo failed: " + NumberAndReason(kept.Error()));
    }
    const Result<void> replaced = context_.files.Replace(folder_, staged_);
    if (replaced) return true;
    Stop("Save " + Utf8FromPath(Folder()) + " error: " + NumberAndReason(replaced.Error()));
    result_.replacedInPart = replaced.Error().code == errc::ReplacedInPart;
    return false;
}

SkyResult ReportUnexpected(const char* procedure, const SkyContext& context, const std::exception& error) {
    const std::string text = UnexpectedErrorText(procedure, error);
    context.host.ShowMessage(text);
    return {SkyOutcome::Failed, text, {}};
}

std::string SizeQueryReason(const Error& error) {
    // The formats named are the ones every front end reads; the ellipsis leaves room for more.
    static const std::string kNotAnImage = "not an image Zenivor reads (TGA, PNG, JPEG...)";
    if (error.systemError == ENOENT) return "no such file";
    if (error.systemError == EISDIR) return "a folder: give a file, or --batch with the folder's files";
    if (error.detail == kEmptyFileDetail) return "an empty file";
    if (error.code == errc::NotAFile) return error.detail.empty() ? Reason(error) : error.detail;
    if (IsHeaderError(error)) return error.detail.empty() ? kNotAnImage : kNotAnImage + ": " + error.detail;
    return Reason(error);
}

}  // namespace zenivor
