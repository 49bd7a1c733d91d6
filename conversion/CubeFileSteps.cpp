#include "conversion/CubeFileSteps.h"

#include <cerrno>

#include "legacy/ErrorText.h"

namespace zenivor {

std::filesystem::path CubeFileSteps::Folder() const {
    return context_.lastPath.empty() ? PathFromUtf8(path_).parent_path() : PathFromUtf8(context_.lastPath);
}

std::string CubeFileSteps::OutputPath(Face face) const { return Utf8FromPath(Folder() / FileNameOf(face)); }

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
    Result<OutputFolder> folder = context_.files.OpenFolder(Folder());
    if (!folder) return Stop("Save " + OutputPath(firstFace) + " error: " + NumberAndReason(folder.Error()));
    folder_ = std::move(*folder);
    return true;
}

bool CubeFileSteps::Save(Face face, const RgbImage& image) {
    const Result<void> saved = WriteTga(context_.files, folder_, FileNameOf(face), image);
    return saved || Stop("Save " + OutputPath(face) + " error: " + NumberAndReason(saved.Error()));
}

bool CubeFileSteps::ConfirmWritten(Face face) {
    const Result<void> exists = context_.files.CheckExists(PathFromUtf8(OutputPath(face)));
    if (exists) return true;
    const int number = exists.Error().systemError != 0 ? exists.Error().systemError : ENOENT;
    return StopWithMessage(SkyOutcome::Failed, UnexpectedErrorText("ProcessSky", number, Reason(exists.Error())));
}

bool CubeFileSteps::ReadBack(Face face, RgbImage& image) {
    // Faces are read back in the program's own format, whatever formats the source may take.
    Result<RgbImage> read =
        ReadImage(context_.files, PathFromUtf8(OutputPath(face)), CoreDecoders(), {kFaceSize, kFaceSize});
    if (!read) return Stop("Get " + OutputPath(face) + " error: " + NumberAndReason(read.Error()));
    image = std::move(*read);
    return true;
}

bool CubeFileSteps::CopyGround() {
    const Result<void> copied = context_.files.Copy(ground_, folder_, FileNameOf(Face::Ground));
    return copied || Stop("Copy " + Utf8FromPath(TemplatePath()) + " error: " + NumberAndReason(copied.Error()));
}

bool CubeFileSteps::SyncFolder() {
    const Result<void> synced = context_.files.Sync(folder_);
    return synced || Stop("Save " + Utf8FromPath(Folder()) + " error: " + NumberAndReason(synced.Error()));
}

SkyResult ReportUnexpected(const char* procedure, const SkyContext& context, const std::exception& error) {
    const std::string text = UnexpectedErrorText(procedure, error);
    context.host.ShowMessage(text);
    return {SkyOutcome::Failed, text, {}};
}

std::string SizeQueryReason(const Error& error) {
    if (error.systemError == ENOENT) return "no such file";
    if (error.systemError == EISDIR) return "a folder";
    if (error.code == errc::NotAFile) return error.detail.empty() ? Reason(error) : error.detail;
    if (IsHeaderError(error)) return error.detail.empty() ? "not a TGA file" : "not a TGA file: " + error.detail;
    return Reason(error);
}

}  // namespace zenivor
