#include "conversion/ProcessPanorama.h"

#include "conversion/CubeFileSteps.h"
#include "conversion/SkyTables.h"

#include <mutex>
#include <utility>

#include "imaging/ToneMap.h"

namespace zenivor {
namespace {

constexpr const char* kPanoramaSizeMessage = "A 360-degree panorama needs to be twice as wide as it is high";
constexpr const char* kReadingText = "Reading panorama";

// The status line's text before each face is written, as for a strip.
const char* SavingText(Face face) {
    if (face == Face::SkyCap) return "Saving sky.";
    if (face == Face::Ground) return "Saving ground";
    return SavingTextOf(face);
}

class PanoramaConversion {
public:
    PanoramaConversion(const std::string& path, const SkyContext& context, const PanoramaOptions& options)
        : context_(context), host_(context.host), options_(options), steps_(path, context) {}

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
        // Detail finer than any face pixel need not be decoded, nor held.
        const int factor = UnneededResolutionFactor(size);
        linear_ = steps_.SourceLight() == Light::Scene || context_.colour.linearLight;
        if (!linear_) return steps_.ReadSource(panorama_, factor);
        host_.SetStatusText(kReadingText);
        host_.RepaintStatus();
        // The rows go straight into the pyramid's base, reduced as they arrive.
        BoxReducer base({(size.width + factor - 1) / factor, (size.height + factor - 1) / factor});
        CountedRows counted(
            base, [](void* host, int percent) { static_cast<ConversionHost*>(host)->ShowProgress(percent / 100.0); },
            &host_);
        if (!steps_.ReadSourceRows(counted, factor)) return false;
        if (!base.Complete())
            return steps_.Stop("Get " + steps_.SourcePath() +
                               " error: " + NumberAndReason(Error{errc::TruncatedPixels}));
        linearPanorama_ = std::move(base.Image());
        return true;
    }

    // Filtered in linear light, then encoded. Scene light is exposed and tone-mapped before the
    // filter, in the reduced panorama: the filter's negative lobes beside a sun thousands of
    // times brighter than the sky would ring dark round it, but not beside display white.
    std::array<RgbImage, 6> LinearFaces() {
        if (linearPanorama_.light == Light::Scene) {
            const ToneMapping& mapping = context_.colour.toneMapping;
            const double ev = ExposureFor(linearPanorama_, mapping);
            host_.SetStatusText(ExposureText(ev, !mapping.exposureEv));
            ToneMapSamples(linearPanorama_.samples, ev, mapping.curve);
            linearPanorama_.light = Light::Display;
        }
        std::mutex shown;
        const std::array<LinearImage, 6> faces =
            ProjectLinearPanorama(linearPanorama_, options_.northDegrees, [this, &shown](double fraction) {
                const std::lock_guard lock(shown);
                host_.ShowProgress(fraction);
            });
        linearPanorama_ = {};
        std::array<RgbImage, 6> encoded;
        for (std::size_t i = 0; i < faces.size(); ++i) encoded[i] = SrgbImageOf(faces[i]);
        return encoded;
    }

    // Each face is shown in the picture as it is written.
    bool WriteProjection() {
        host_.SetStatusText("Projecting panorama");
        host_.RepaintStatus();
        const std::array<RgbImage, 6> faces =
            linear_ ? LinearFaces() : ProjectPanorama(panorama_, options_.northDegrees);
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

    const SkyContext& context_;
    ConversionHost& host_;
    const PanoramaOptions& options_;
    CubeFileSteps steps_;
    bool linear_ = true;
    RgbImage panorama_;           // in sRGB values, with --linear off
    LinearImage linearPanorama_;  // in linear light, reduced
};

}  // namespace

SkyResult ProcessPanorama(const std::string& path, const SkyContext& context, const PanoramaOptions& options) {
    return Reporting("ProcessPanorama", context, [&] { return PanoramaConversion(path, context, options).Run(); });
}

}  // namespace zenivor
