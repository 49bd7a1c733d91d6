#include "imaging/ToneMap.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace zenivor {

std::optional<ToneCurve> ToneCurveNamed(std::string_view name) {
    if (name == "filmic") return ToneCurve::Filmic;
    if (name == "reinhard") return ToneCurve::Reinhard;
    if (name == "clip") return ToneCurve::Clip;
    return std::nullopt;
}

void ExposureMeter::Add(std::span<const float> samples) {
    for (std::size_t i = 0; i + 2 < samples.size(); i += 3) {
        const float luminance = Luminance(samples[i], samples[i + 1], samples[i + 2]);
        if (!(luminance > 0)) {
            ++black_;
            continue;
        }
        // Channels near a float's largest value sum to infinity: no bin's number to convert.
        if (std::isinf(luminance)) {
            ++bins_[kBins - 1];
            continue;
        }
        const int bin = static_cast<int>(std::floor((std::log2(luminance) - kLowestEv) * kStepsPerEv));
        if (bin < 0)
            ++black_;
        else
            ++bins_[static_cast<std::size_t>(std::min(bin, kBins - 1))];
    }
}

double ExposureMeter::AutomaticEv() const {
    std::uint64_t total = black_;
    for (const std::uint64_t count : bins_) total += count;
    const auto ignored = static_cast<std::uint64_t>(std::ceil(static_cast<double>(total) * kIgnoredBrightest));
    if (total <= ignored) return 0;
    // The median of what is left: the pixel half-way up the darker (total - ignored).
    const std::uint64_t wanted = (total - ignored + 1) / 2;
    std::uint64_t seen = black_;
    if (seen >= wanted) return 0;
    for (int bin = 0; bin < kBins; ++bin) {
        seen += bins_[static_cast<std::size_t>(bin)];
        if (seen < wanted) continue;
        const double log2Median = kLowestEv + (bin + 0.5) / kStepsPerEv;
        return std::log2(kMiddleGrey) - log2Median;
    }
    return 0;
}

// Krzysztof Narkowicz's fit of the ACES reference rendering transform ("ACES Filmic Tone
// Mapping Curve", 2016): (x (2.51 x + 0.03)) / (x (2.43 x + 0.59) + 0.14), cut at 1. Applied to
// each channel, it brings the brightest highlights of any colour to white.
double FilmicCurve(double exposed) {
    const double x = std::max(exposed, 0.0);
    return std::min(x * (2.51 * x + 0.03) / (x * (2.43 * x + 0.59) + 0.14), 1.0);
}

// Reinhard, Stark, Shirley and Ferwerda, "Photographic Tone Reproduction for Digital Images"
// (2002), equation 3.
double ReinhardCurve(double exposed) {
    const double x = std::max(exposed, 0.0);
    return x / (1 + x);
}

namespace {

// A colour whose channel went past 1 is mixed with white of its own luminance until it fits:
// so a bright colour fades to white instead of turning into another hue.
void Desaturated(float& blue, float& green, float& red) {
    const float brightest = std::max({blue, green, red});
    if (brightest <= 1) return;
    const float luminance = std::min(Luminance(blue, green, red), 1.0F);
    const float keep = (1 - luminance) / (brightest - luminance);
    blue = luminance + keep * (blue - luminance);
    green = luminance + keep * (green - luminance);
    red = luminance + keep * (red - luminance);
}

}  // namespace

double ExposureFor(const LinearImage& image, const ToneMapping& mapping) {
    if (mapping.exposureEv) return *mapping.exposureEv;
    ExposureMeter meter;
    meter.Add(image.samples);
    return meter.AutomaticEv();
}

void ToneMapSamples(std::span<float> samples, double ev, ToneCurve curve) {
    const auto scale = static_cast<float>(std::exp2(ev));
    for (std::size_t i = 0; i + 2 < samples.size(); i += 3) {
        float& blue = samples[i];
        float& green = samples[i + 1];
        float& red = samples[i + 2];
        blue = std::max(blue * scale, 0.0F), green = std::max(green * scale, 0.0F), red = std::max(red * scale, 0.0F);
        if (curve == ToneCurve::Filmic) {
            blue = static_cast<float>(FilmicCurve(blue));
            green = static_cast<float>(FilmicCurve(green));
            red = static_cast<float>(FilmicCurve(red));
        } else if (curve == ToneCurve::Reinhard) {
            const float luminance = Luminance(blue, green, red);
            if (luminance > 0) {
                const auto factor = static_cast<float>(ReinhardCurve(luminance) / luminance);
                blue *= factor, green *= factor, red *= factor;
                Desaturated(blue, green, red);
            }
        }
        if (curve == ToneCurve::Clip)
            blue = std::min(blue, 1.0F), green = std::min(green, 1.0F), red = std::min(red, 1.0F);
    }
}

std::string ExposureText(double ev, bool automatic) {
    char text[64];
    std::snprintf(text, sizeof text, "Exposure %+.2f EV%s", ev, automatic ? " (automatic)" : "");
    return text;
}

RgbImage DisplayImageOf(LinearImage image, const ToneMapping& mapping) {
    if (image.light == Light::Scene) ToneMapSamples(image.samples, ExposureFor(image, mapping), mapping.curve);
    return SrgbImageOf(image);
}

}  // namespace zenivor
