#include "conversion/ProcessSky.h"

#include <cerrno>

#include "conversion/SkyCube.h"
#include "util/ErrorText.h"

namespace zenivor {
namespace {

constexpr const char* kSizeMessage = "Imagesize needs to be 504x504 or 1008x504 or 2016x504";

bool IsHeaderError(ImgErrc code) {
    return code == ImgErrc::TruncatedHeader || (code >= ImgErrc::UnknownType && code <= ImgErrc::MissingColorMap);
}

class SkyConversion {
public:
    SkyConversion(const std::string& path, const SkyContext& context)
        : path_(path), context_(context), host_(context.host), files_(context.files) {}

    SkyResult Run() {
        if (ReadStrip() && PrepareOutput() && WriteSideFaces() && ComposeSkyCap() && SaveSkyCap() && CopyGround() &&
            SyncFolder())
            result_.outcome = SkyOutcome::Completed;
        return result_;
    }

private:
    // The output folder: the remembered one, or the strip's own when none is remembered.
    std::filesystem::path Folder() const {
        return context_.lastPath.empty() ? PathFromUtf8(path_).parent_path() : PathFromUtf8(context_.lastPath);
    }
    std::string OutputPath(Face face) const { return Utf8FromPath(Folder() / FileNameOf(face)); }
    std::filesystem::path TemplatePath() const { return context_.programFolder / kGroundTemplateFile; }

    bool Stop(const std::string& statusText) {
        host_.SetStatusText(statusText);
        result_ = {SkyOutcome::Failed, statusText, result_.strip};
        return false;
    }
    bool StopWithMessage(SkyOutcome outcome, const std::string& message) {
        host_.ShowMessage(message);
        result_ = {outcome, message, result_.strip};
        return false;
    }

    // The strip: its size from the header, the size check, then its pixels.
    bool ReadStrip() {
        const Result<ImageSize> size = ReadImageSize(files_, PathFromUtf8(path_), context_.decoders);
        if (!size)
            return StopWithMessage(SkyOutcome::Refused,
                                   "Error getting file size of " + path_ + " (" + SizeQueryReason(size.Error()) + ")");
        result_.strip = *size;
        layout_ = StripLayoutFor(*size);
        if (layout_ == nullptr) return StopWithMessage(SkyOutcome::Refused, kSizeMessage);
        // Asking for the size just read also catches a strip that changed in between.
        Result<RgbImage> strip = ReadImage(files_, PathFromUtf8(path_), context_.decoders, *size);
        if (!strip) return Stop("Get " + path_ + " error: " + NumberAndReason(strip.Error()));
        strip_ = std::move(*strip);
        return true;
    }

    // Before anything is replaced: the ground template must be there to copy, and the folder is
    // locked so that a second conversion into it waits for this one.
    bool PrepareOutput() {
        Result<InputFile> ground = files_.Open(TemplatePath());
        if (!ground) return Stop("Copy " + Utf8FromPath(TemplatePath()) + " error: " + NumberAndReason(ground.Error()));
        ground_ = std::move(*ground);
        Result<OutputFolder> folder = files_.OpenFolder(Folder());
        if (!folder) return Stop("Save " + OutputPath(layout_->steps[0].face) + " error: " + NumberAndReason(folder.Error()));
        folder_ = std::move(*folder);
        return true;
    }

    bool WriteSideFaces() {
        RgbImage face;
        for (const FaceStep& step : layout_->steps) {
            if (step.cropCount == 0) {
                FlipHorizontally(face);
            } else {
                DrawFaceCrops(host_.Surface(), strip_, step);
                if (step.repaintAfterCrop) host_.RepaintSurface();
                if (step.confirmWestWritten && !ConfirmWritten(Face::West)) return false;
                face = host_.Surface();
            }
            host_.SetStatusText(SavingTextOf(step.face));
            host_.RepaintStatus();
            host_.RepaintWindow();
            if (!Save(step.face, face)) return false;
        }
        host_.ClearSurface();
        return true;
    }

    // A face written a moment ago that is gone now was removed behind the program's back.
    bool ConfirmWritten(Face face) {
        const Result<void> exists = files_.CheckExists(PathFromUtf8(OutputPath(face)));
        if (exists) return true;
        const int number = exists.Error().systemError != 0 ? exists.Error().systemError : ENOENT;
        return StopWithMessage(SkyOutcome::Failed, UnexpectedErrorText("ProcessSky", number, Reason(exists.Error())));
    }

    bool Save(Face face, const RgbImage& image) {
        const Result<void> saved = WriteTga(files_, folder_, FileNameOf(face), image, encoded_);
        return saved || Stop("Save " + OutputPath(face) + " error: " + NumberAndReason(saved.Error()));
    }

    // Each triangle comes from its side face as it lies on disk, read back as it was written.
    bool ComposeSkyCap() {
        for (const Quadrant& quadrant : kQuadrants) {
            host_.SetStatusText(quadrant.statusText);
            host_.RepaintStatus();
            if (!ConfirmWritten(quadrant.face)) return false;
            // Faces are read back in the program's own format, whatever formats the strip may take.
            Result<RgbImage> face = ReadImage(files_, PathFromUtf8(OutputPath(quadrant.face)), CoreDecoders(),
                                              {kFaceSize, kFaceSize});
            if (!face) return Stop("Get " + OutputPath(quadrant.face) + " error: " + NumberAndReason(face.Error()));
            DrawQuadrant(host_.Surface(), std::move(*face), quadrant);
            host_.RepaintSurface();
        }
        return true;
    }

    bool SaveSkyCap() {
        host_.SetStatusText("Saving sky.");
        host_.RepaintSurface();
        host_.RepaintWindow();
        return Save(Face::SkyCap, host_.Surface());
    }

    bool CopyGround() {
        host_.SetStatusText("Saving ground");
        host_.RepaintSurface();
        host_.RepaintWindow();
        const Result<void> copied = files_.Copy(ground_, folder_, FileNameOf(Face::Ground));
        return copied || Stop("Copy " + Utf8FromPath(TemplatePath()) + " error: " + NumberAndReason(copied.Error()));
    }

    // The renames reach the disk only with the folder.
    bool SyncFolder() {
        const Result<void> synced = files_.Sync(folder_);
        return synced || Stop("Save " + Utf8FromPath(Folder()) + " error: " + NumberAndReason(synced.Error()));
    }

    const std::string& path_;
    const SkyContext& context_;
    ConversionHost& host_;
    FileSystem& files_;
    const StripLayout* layout_ = nullptr;
    SkyResult result_;
    RgbImage strip_;
    InputFile ground_;
    OutputFolder folder_;
    PixelBytes encoded_;
};

}  // namespace

std::string SizeQueryReason(const ImgError& error) {
    if (error.systemError == ENOENT) return "no such file";
    if (error.systemError == EISDIR) return "a folder";
    if (error.code == ImgErrc::NotAFile) return error.detail.empty() ? Reason(error) : error.detail;
    if (IsHeaderError(error.code)) return error.detail.empty() ? "not a TGA file" : "not a TGA file: " + error.detail;
    return Reason(error);
}

SkyResult ProcessSky(const std::string& path, const SkyContext& context) {
    // Nothing is expected to throw but running out of memory; it ends the conversion with one
    // report, and whatever was held is released on the way out.
    try {
        return SkyConversion(path, context).Run();
    } catch (const std::exception& error) {
        const std::string text = UnexpectedErrorText("ProcessSky", error);
        context.host.ShowMessage(text);
        return {SkyOutcome::Failed, text, {}};
    }
}

}  // namespace zenivor
