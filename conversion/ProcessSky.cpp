#include "conversion/ProcessSky.h"

#include <cerrno>

#include "conversion/SkyCube.h"
#include "imaging/Resample.h"
#include "legacy/ErrorText.h"

namespace zenivor {
namespace {

constexpr const char* kSizeMessage = "Imagesize needs to be 504x504 or 1008x504 or 2016x504";
constexpr const char* kSavingSkyText = "Saving sky.";
constexpr const char* kSavingGroundText = "Saving ground";
constexpr const char* kPanoramaSizeMessage = "A 360-degree panorama needs to be twice as wide as it is high";

class SkyConversion {
public:
    SkyConversion(const std::string& path, const SkyContext& context)
        : path_(path), context_(context), host_(context.host), files_(context.files) {}

    SkyResult Run() {
        if (ReadStrip() && PrepareOutput(true) && WriteSideFaces() && ComposeSkyCap() && SaveSkyCap() && CopyGround() &&
            SyncFolder())
            result_.outcome = SkyOutcome::Completed;
        return result_;
    }

    SkyResult RunPanorama(const PanoramaOptions& options) {
        if (ReadPanorama() && PrepareOutput(options.groundFromTemplate) && WriteProjection(options) &&
            (!options.groundFromTemplate || CopyGround()) && SyncFolder())
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
        if (!ReadSourceSize()) return false;
        const ImageSize target =
            context_.fitStrip ? FittedStripSize(result_.strip).value_or(result_.strip) : result_.strip;
        layout_ = StripLayoutFor(target);
        if (layout_ == nullptr) return StopWithMessage(SkyOutcome::Refused, kSizeMessage);
        if (!ReadSource()) return false;
        if (target != result_.strip) strip_ = Resampled(strip_, target.width, target.height);
        return true;
    }

    bool ReadPanorama() {
        if (!ReadSourceSize()) return false;
        if (!IsEquirectangular(result_.strip.width, result_.strip.height))
            return StopWithMessage(SkyOutcome::Refused, kPanoramaSizeMessage);
        // Detail finer than any face pixel need not be decoded, where the format can skip it.
        return ReadSource(UnneededResolutionFactor(result_.strip));
    }

    bool ReadSourceSize() {
        const Result<ImageSize> size = ReadImageSize(files_, PathFromUtf8(path_), context_.decoders);
        if (!size)
            return StopWithMessage(SkyOutcome::Refused,
                                   "Error getting file size of " + path_ + " (" + SizeQueryReason(size.Error()) + ")");
        result_.strip = *size;
        return true;
    }

    // Asking for the size just read also catches a file that changed in between. The image may
    // come shrunk by up to largestFactor where its format can do that for less.
    bool ReadSource(int largestFactor = 1) {
        Result<RgbImage> image =
            ReadImageReduced(files_, PathFromUtf8(path_), context_.decoders, result_.strip, largestFactor);
        if (!image) return Stop("Get " + path_ + " error: " + NumberAndReason(image.Error()));
        strip_ = std::move(*image);
        return true;
    }

    // Before anything is replaced: the ground template must be there to copy, and the folder is
    // locked so that a second conversion into it waits for this one.
    bool PrepareOutput(bool groundFromTemplate) {
        if (groundFromTemplate) {
            Result<InputFile> ground = files_.Open(TemplatePath());
            if (!ground)
                return Stop("Copy " + Utf8FromPath(TemplatePath()) + " error: " + NumberAndReason(ground.Error()));
            ground_ = std::move(*ground);
        }
        const Face first = layout_ != nullptr ? layout_->steps[0].face : Face::North;
        Result<OutputFolder> folder = files_.OpenFolder(Folder());
        if (!folder) return Stop("Save " + OutputPath(first) + " error: " + NumberAndReason(folder.Error()));
        folder_ = std::move(*folder);
        return true;
    }

    // Each face is shown in the picture as it is written.
    bool WriteProjection(const PanoramaOptions& options) {
        host_.SetStatusText("Projecting panorama");
        host_.RepaintStatus();
        const std::array<RgbImage, 6> faces = ProjectPanorama(strip_, options.northDegrees);
        strip_ = {};
        for (const Face face : kAllFaces) {
            if (face == Face::Ground && options.groundFromTemplate) break;
            host_.Surface() = faces[static_cast<std::size_t>(face)];
            host_.SetStatusText(ProjectedSavingText(face));
            host_.RepaintSurface();
            host_.RepaintWindow();
            if (!Save(face, faces[static_cast<std::size_t>(face)])) return false;
        }
        host_.ClearSurface();
        return true;
    }

    static const char* ProjectedSavingText(Face face) {
        if (face == Face::SkyCap) return kSavingSkyText;
        if (face == Face::Ground) return kSavingGroundText;
        return SavingTextOf(face);
    }

    bool WriteSideFaces() {
        // A face cut from the strip is written from the surface itself; only a mirrored one
        // needs an image of its own.
        SideFaceCutter cutter(strip_, host_.Surface());
        for (const FaceStep& step : layout_->steps) {
            const RgbImage& face = cutter.Next(step);
            if (step.cropCount > 0 && step.repaintAfterCrop) host_.RepaintSurface();
            if (step.confirmWestWritten && !ConfirmWritten(Face::West)) return false;
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
        const Result<void> saved = WriteTga(files_, folder_, FileNameOf(face), image);
        return saved || Stop("Save " + OutputPath(face) + " error: " + NumberAndReason(saved.Error()));
    }

    // Each triangle comes from its side face as it lies on disk, read back as it was written.
    bool ComposeSkyCap() {
        for (const Quadrant& quadrant : kQuadrants) {
            host_.SetStatusText(quadrant.statusText);
            host_.RepaintStatus();
            if (!ConfirmWritten(quadrant.face)) return false;
            // Faces are read back in the program's own format, whatever formats the strip may take.
            Result<RgbImage> face =
                ReadImage(files_, PathFromUtf8(OutputPath(quadrant.face)), CoreDecoders(), {kFaceSize, kFaceSize});
            if (!face) return Stop("Get " + OutputPath(quadrant.face) + " error: " + NumberAndReason(face.Error()));
            DrawQuadrant(host_.Surface(), *face, quadrant);
            host_.RepaintSurface();
        }
        return true;
    }

    bool SaveSkyCap() {
        host_.SetStatusText(kSavingSkyText);
        host_.RepaintSurface();
        host_.RepaintWindow();
        return Save(Face::SkyCap, host_.Surface());
    }

    bool CopyGround() {
        host_.SetStatusText(kSavingGroundText);
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
};

}  // namespace

std::string SizeQueryReason(const Error& error) {
    if (error.systemError == ENOENT) return "no such file";
    if (error.systemError == EISDIR) return "a folder";
    if (error.code == errc::NotAFile) return error.detail.empty() ? Reason(error) : error.detail;
    if (IsHeaderError(error)) return error.detail.empty() ? "not a TGA file" : "not a TGA file: " + error.detail;
    return Reason(error);
}

std::optional<ImageSize> FittedStripSize(ImageSize size) {
    for (const int ratio : {1, 2, 4})
        if (size.height > 0 && size.width == ratio * size.height) return ImageSize{ratio * kStripHeight, kStripHeight};
    return std::nullopt;
}

namespace {

// Nothing is expected to throw but running out of memory; it ends the conversion with one
// report, and whatever was held is released on the way out.
template <typename Conversion>
SkyResult Reporting(const char* procedure, const SkyContext& context, Conversion conversion) {
    try {
        return conversion();
    } catch (const std::exception& error) {
        const std::string text = UnexpectedErrorText(procedure, error);
        context.host.ShowMessage(text);
        return {SkyOutcome::Failed, text, {}};
    }
}

}  // namespace

SkyResult ProcessSky(const std::string& path, const SkyContext& context) {
    return Reporting("ProcessSky", context, [&] { return SkyConversion(path, context).Run(); });
}

SkyResult ProcessPanorama(const std::string& path, const SkyContext& context, const PanoramaOptions& options) {
    return Reporting("ProcessPanorama", context, [&] { return SkyConversion(path, context).RunPanorama(options); });
}

}  // namespace zenivor
