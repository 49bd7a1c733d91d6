#include "conversion/ProcessPanorama.h"

#include "conversion/CubeFileSteps.h"
#include "conversion/SkyTables.h"

#include <mutex>
#include <utility>

#include "imaging/ToneMap.h"

namespace zenivor {
namespace {

constexpr const char* kPanoramaSizeMessage = "A 360-degree panorama needs to be twice as wide as it is high";
constexpr const char* kReadingPanoramaText = "Reading panorama";

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

    // The panorama's pixels, as far as the faces can use them.
    SkyResult Read(RgbImage& panorama) {
        if (ReadPanorama()) {
            if (linear_) {
                ToDisplayLight();
                panorama_ = SrgbImageOf(linearPanorama_);
            }
            panorama = std::move(panorama_);
            steps_.Complete();
        }
        return steps_.Outcome();
    }

    // The six faces the conversion would write, in memory, writing nothing.
    SkyResult Build(std::array<RgbImage, 6>& faces) {
        if (!ReadPanorama()) return steps_.Outcome();
        faces = Faces();
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
        // Detail finer than any face pixel need not be decoded, nor held.
        const int factor = UnneededResolutionFactor(size);
        linear_ = steps_.SourceLight() == Light::Scene || context_.colour.linearLight;
        if (!linear_) return steps_.ReadSource(panorama_, factor);
        host_.SetStatusText(kReadingPanoramaText);
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

    void ToDisplayLight() {
        if (linearPanorama_.light != Light::Scene) return;
        const ToneMapping& mapping = context_.colour.toneMapping;
        const double ev = ExposureFor(linearPanorama_, mapping);
        host_.SetStatusText(ExposureText(ev, !mapping.exposureEv));
        ToneMapSamples(linearPanorama_.samples, ev, mapping.curve);
        linearPanorama_.light = Light::Display;
    }

    // Filtered in linear light, then encoded. Scene light is exposed and tone-mapped before the
    // filter, in the reduced panorama: the filter's negative lobes beside a sun thousands of
    // times brighter than the sky would ring dark round it, but not beside display white.
    std::array<RgbImage, 6> LinearFaces() {
        ToDisplayLight();
        std::mutex shown;
        const std::array<LinearImage, 6> faces =
            ProjectLinearPanorama(linearPanorama_, options_.view, [this, &shown](double fraction) {
                const std::lock_guard lock(shown);
                host_.ShowProgress(fraction);
            });
        linearPanorama_ = {};
        std::array<RgbImage, 6> encoded;
        for (std::size_t i = 0; i < faces.size(); ++i) encoded[i] = SrgbImageOf(faces[i]);
        return encoded;
    }

    std::array<RgbImage, 6> Faces() {
        if (linear_) return LinearFaces();
        std::mutex shown;
        return ProjectPanorama(panorama_, options_.view, [this, &shown](double fraction) {
            const std::lock_guard lock(shown);
            host_.ShowProgress(fraction);
        });
    }

    // Each face is shown in the picture as it is written.
    bool WriteProjection() {
        host_.SetStatusText("Projecting panorama");
        host_.RepaintStatus();
        const std::array<RgbImage, 6> faces = Faces();
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

SkyResult ReadPanorama(const std::string& path, const SkyContext& context, RgbImage& panorama) {
    return Reporting("ProcessPanorama", context, [&] { return PanoramaConversion(path, context, {}).Read(panorama); });
}

SkyResult BuildPanorama(const std::string& path, const SkyContext& context, const PanoramaOptions& options,
                        std::array<RgbImage, 6>& faces) {
    return Reporting("ProcessPanorama", context,
                     [&] { return PanoramaConversion(path, context, options).Build(faces); });
}

}  // namespace zenivor
