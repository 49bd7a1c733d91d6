#include "conversion/ProcessSky.h"

#include <cstdlib>

#include "conversion/CubeFileSteps.h"
#include "conversion/SkyCube.h"
#include "imaging/Resample.h"
#include "imaging/ToneMap.h"

namespace zenivor {
namespace {

constexpr const char* kSizeMessage = "Imagesize needs to be 504x504 or 1008x504 or 2016x504";
constexpr const char* kSavingSkyText = "Saving sky.";
constexpr const char* kReadingStripText = "Reading the strip";
constexpr const char* kSavingGroundText = "Saving ground";

// How far, on average, a pole row's bytes may stray from the row's mean (of 255) and still
// count as one colour: the noise of JPEG and of resampling, not the detail of a horizon.
constexpr double kUniformRowDeviation = 2.0;

bool RowNearlyUniform(const RgbImage& image, int y) {
    const std::uint8_t* row = image.Row(y);
    const std::size_t bytes = image.RowBytes();
    double mean[3] = {0, 0, 0};
    for (std::size_t i = 0; i < bytes; ++i) mean[i % 3] += row[i];
    for (double& channel : mean) channel /= image.width;
    double deviation = 0;
    for (std::size_t i = 0; i < bytes; ++i) deviation += std::abs(row[i] - mean[i % 3]);
    return deviation / static_cast<double>(bytes) <= kUniformRowDeviation;
}

// In an equirectangular panorama the top row is the zenith and the bottom row the nadir, each
// one point spread across the width.
bool LooksLikePanorama(const RgbImage& image) {
    return image.width == 2 * image.height && image.height > 1 && RowNearlyUniform(image, 0) &&
           RowNearlyUniform(image, image.height - 1);
}

class SkyConversion {
public:
    SkyConversion(const std::string& path, const SkyContext& context)
        : context_(context), host_(context.host), steps_(path, context) {}

    SkyResult Run() {
        if (ReadStrip() && steps_.PrepareOutput(true, layout_->steps[0].face) && WriteSideFaces() && ComposeSkyCap() &&
            SaveSkyCap() && CopyGround() && steps_.ReplaceCube())
            steps_.Complete();
        SkyResult result = steps_.Outcome();
        result.looksLikePanorama = looksLikePanorama_;
        return result;
    }

    // The six files the conversion would write, in memory, writing nothing.
    SkyResult Build(std::array<RgbImage, 6>& faces) {
        if (!ReadStrip()) return steps_.Outcome();
        const std::array<RgbImage, 4> sides = CutSideFaces(strip_, *layout_);
        std::copy(sides.begin(), sides.end(), faces.begin());
        faces[static_cast<std::size_t>(Face::SkyCap)] = zenivor::ComposeSkyCap(sides, kDefaultBackground);
        if (steps_.ReadGroundTemplate(faces[static_cast<std::size_t>(Face::Ground)])) steps_.Complete();
        return steps_.Outcome();
    }

private:
    // The strip: its size from the header, the size check, then its pixels.
    bool ReadStrip() {
        if (!steps_.ReadSourceSize()) return false;
        const ImageSize size = steps_.SourceSize();
        const ImageSize target = context_.fitStrip ? FittedStripSize(size).value_or(size) : size;
        layout_ = StripLayoutFor(target);
        if (layout_ == nullptr) return steps_.StopWithMessage(SkyOutcome::Refused, kSizeMessage);
        const bool scene = steps_.SourceLight() == Light::Scene;
        // A strip of the program's size in 8 bits is used as it is, byte for byte.
        const bool read = !scene && (target == size || !context_.colour.linearLight) ? ReadAsItIs(size, target)
                                                                                     : ReadInLinearLight(target);
        // The poles of a panorama are as uniform after the fit as before it.
        if (read && target != size) looksLikePanorama_ = LooksLikePanorama(strip_);
        return read;
    }

    bool ReadAsItIs(ImageSize size, ImageSize target) {
        if (!steps_.ReadSource(strip_)) return false;
        if (target != size) strip_ = Resampled(strip_, target.width, target.height);
        return true;
    }

    // Resampled in linear light as the rows arrive (HDR sources always), then made 8-bit.
    bool ReadInLinearLight(ImageSize target) {
        host_.SetStatusText(kReadingStripText);
        host_.RepaintStatus();
        LinearResampler resampler(target);
        CountedRows counted(
            resampler,
            [](void* host, int percent) { static_cast<ConversionHost*>(host)->ShowProgress(percent / 100.0); }, &host_);
        if (!steps_.ReadSourceRows(counted)) return false;
        if (!resampler.Complete())
            return steps_.Stop("Get " + steps_.SourcePath() +
                               " error: " + NumberAndReason(Error{errc::TruncatedPixels}));
        LinearImage& image = resampler.Image();
        if (image.light == Light::Scene) {
            const ToneMapping& mapping = context_.colour.toneMapping;
            const double ev = ExposureFor(image, mapping);
            host_.SetStatusText(ExposureText(ev, !mapping.exposureEv));
            ToneMapSamples(image.samples, ev, mapping.curve);
        }
        strip_ = SrgbImageOf(image);
        return true;
    }

    bool WriteSideFaces() {
        // A face cut from the strip is written from the surface itself; only a mirrored one
        // needs an image of its own.
        SideFaceCutter cutter(strip_, host_.Surface());
        for (const FaceStep& step : layout_->steps) {
            const RgbImage& face = cutter.Next(step);
            if (step.cropCount > 0 && step.repaintAfterCrop) host_.RepaintSurface();
            if (step.confirmWestWritten && !steps_.ConfirmWritten(Face::West)) return false;
            host_.SetStatusText(SavingTextOf(step.face));
            host_.RepaintStatus();
            host_.RepaintWindow();
            if (!steps_.Save(step.face, face)) return false;
        }
        host_.ClearSurface();
        return true;
    }

    // Each triangle comes from its side face as it lies on disk, read back as it was written.
    bool ComposeSkyCap() {
        RgbImage face;
        for (const Quadrant& quadrant : kQuadrants) {
            host_.SetStatusText(quadrant.statusText);
            host_.RepaintStatus();
            if (!steps_.ConfirmWritten(quadrant.face) || !steps_.ReadBack(quadrant.face, face)) return false;
            DrawQuadrant(host_.Surface(), face, quadrant);
            host_.RepaintSurface();
        }
        return true;
    }

    bool SaveSkyCap() {
        host_.SetStatusText(kSavingSkyText);
        host_.RepaintSurface();
        host_.RepaintWindow();
        return steps_.Save(Face::SkyCap, host_.Surface());
    }

    bool CopyGround() {
        host_.SetStatusText(kSavingGroundText);
        host_.RepaintSurface();
        host_.RepaintWindow();
        return steps_.CopyGround();
    }

    const SkyContext& context_;
    ConversionHost& host_;
    CubeFileSteps steps_;
    const StripLayout* layout_ = nullptr;
    RgbImage strip_;
    bool looksLikePanorama_ = false;
};

}  // namespace

std::optional<ImageSize> FittedStripSize(ImageSize size) {
    for (const int ratio : {1, 2, 4})
        if (size.height > 0 && size.width == ratio * size.height) return ImageSize{ratio * kStripHeight, kStripHeight};
    return std::nullopt;
}

SkyResult ProcessSky(const std::string& path, const SkyContext& context) {
    return Reporting("ProcessSky", context, [&] { return SkyConversion(path, context).Run(); });
}

SkyResult BuildSky(const std::string& path, const SkyContext& context, std::array<RgbImage, 6>& faces) {
    return Reporting("ProcessSky", context, [&] { return SkyConversion(path, context).Build(faces); });
}

}  // namespace zenivor
