#include "conversion/ProcessPanorama.h"

#include "conversion/CubeFileSteps.h"
#include "conversion/SkyTables.h"

namespace zenivor {
namespace {

constexpr const char* kPanoramaSizeMessage = "A 360-degree panorama needs to be twice as wide as it is high";

// The status line's text before each face is written, as for a strip.
const char* SavingText(Face face) {
    if (face == Face::SkyCap) return "Saving sky.";
    if (face == Face::Ground) return "Saving ground";
    return SavingTextOf(face);
}

class PanoramaConversion {
public:
    PanoramaConversion(const std::string& path, const SkyContext& context, const PanoramaOptions& options)
        : host_(context.host), options_(options), steps_(path, context) {}

    // The panorama's pixels, as far as the faces can use them.
    SkyResult Read(RgbImage& panorama) {
        if (ReadPanorama()) {
            panorama = std::move(panorama_);
            steps_.Complete();
        }
        return steps_.Outcome();
    }

    // The six faces the conversion would write, in memory, writing nothing.
    SkyResult Build(std::array<RgbImage, 6>& faces) {
        if (!ReadPanorama()) return steps_.Outcome();
        faces = ProjectPanorama(panorama_, options_.view, [this](double done) { host_.ShowProgress(done); });
        if (!options_.groundFromTemplate || steps_.ReadGroundTemplate(faces[static_cast<std::size_t>(Face::Ground)]))
            steps_.Complete();
        return steps_.Outcome();
    }

    SkyResult Run() {
        if (ReadPanorama() && steps_.PrepareOutput(options_.groundFromTemplate, Face::North) && WriteProjection() &&
            (!options_.groundFromTemplate || steps_.CopyGround()) && steps_.ReplaceCube())
            steps_.Complete();
        return steps_.Outcome();
    }

private:
    bool ReadPanorama() {
        if (!steps_.ReadSourceSize()) return false;
        const ImageSize size = steps_.SourceSize();
        if (!IsEquirectangular(size.width, size.height))
            return steps_.StopWithMessage(SkyOutcome::Refused, kPanoramaSizeMessage);
        // Detail finer than any face pixel need not be decoded, where the format can skip it.
        return steps_.ReadSource(panorama_, UnneededResolutionFactor(size));
    }

    // Each face is shown in the picture as it is written.
    bool WriteProjection() {
        host_.SetStatusText("Projecting panorama");
        host_.RepaintStatus();
        const std::array<RgbImage, 6> faces =
            ProjectPanorama(panorama_, options_.view, [this](double done) { host_.ShowProgress(done); });
        panorama_ = {};
        for (const Face face : kAllFaces) {
            if (face == Face::Ground && options_.groundFromTemplate) break;
            const RgbImage& image = faces[static_cast<std::size_t>(face)];
            host_.Surface() = image;
            host_.SetStatusText(SavingText(face));
            host_.RepaintSurface();
            host_.RepaintWindow();
            if (!steps_.Save(face, image)) return false;
        }
        host_.ClearSurface();
        return true;
    }

    ConversionHost& host_;
    const PanoramaOptions& options_;
    CubeFileSteps steps_;
    RgbImage panorama_;
};

}  // namespace

SkyResult ProcessPanorama(const std::string& path, const SkyContext& context, const PanoramaOptions& options) {
    return Reporting("ProcessPanorama", context, [&] { return PanoramaConversion(path, context, options).Run(); });
}

SkyResult ReadPanorama(const std::string& path, const SkyContext& context, RgbImage& panorama) {
    return Reporting("ProcessPanorama", context, [&] { return PanoramaConversion(path, context, {}).Read(panorama); });
}

SkyResult BuildPanorama(const std::string& path, const SkyContext& context, const PanoramaOptions& options,
                        std::array<RgbImage, 6>& faces) {
    return Reporting("ProcessPanorama", context,
                     [&] { return PanoramaConversion(path, context, options).Build(faces); });
}

}  // namespace zenivor
