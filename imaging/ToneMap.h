#pragma once
// From scene light to the display: a high-dynamic-range source (Radiance HDR, OpenEXR) holds
// radiance of any magnitude, and a face holds 8-bit sRGB. In between, in linear light: an
// exposure (a factor of 2^EV), then a tone curve that brings 0 to infinity into 0 to 1, then the
// sRGB curve with correct rounding.
//
// The automatic exposure maps the source's median luminance, the brightest 0.1 % of its pixels
// left out (the sun, lamps), to a middle grey of 0.18: EV = log2(0.18 / median).

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "imaging/LinearLight.h"

namespace zenivor {

enum class ToneCurve {
    Filmic,    // the ACES fit below: a toe, a long shoulder, highlights desaturating to white
    Reinhard,  // L / (1 + L) on the luminance, colours kept, then brought within the display
    Clip,      // each channel cut at 1
};

// "filmic", "reinhard", "clip": the names the options use.
std::optional<ToneCurve> ToneCurveNamed(std::string_view name);

struct ToneMapping {
    std::optional<double> exposureEv;  // none: the automatic exposure
    ToneCurve curve = ToneCurve::Filmic;
};

// How sources become a face's 8 bits: resampled in linear light (or, for the results of releases
// before 1.1, in sRGB values), and scene light through a tone mapping.
struct ColourOptions {
    bool linearLight = true;
    ToneMapping toneMapping;
};

inline constexpr double kMiddleGrey = 0.18;
inline constexpr double kIgnoredBrightest = 0.001;

// Relative luminance of linear sRGB (Rec. 709 primaries).
inline float Luminance(float blue, float green, float red) { return 0.0722F * blue + 0.7152F * green + 0.2126F * red; }

// The luminances of a source's pixels, counted as its rows pass, for the automatic exposure:
// a histogram of log2 luminance in steps of 1/128 EV, so that it holds no pixel.
class ExposureMeter {
public:
    void Add(std::span<const float> samples);
    // log2(0.18 / median) over the pixels counted, the brightest 0.1 % left out; 0 when nothing
    // but black was counted.
    double AutomaticEv() const;

private:
    static constexpr int kStepsPerEv = 128;
    static constexpr int kLowestEv = -64;
    static constexpr int kBins = 128 * kStepsPerEv;
    std::array<std::uint64_t, kBins> bins_{};
    std::uint64_t black_ = 0;  // pixels of no light at all (or below the lowest bin)
};

// The curve on one value (or luminance) of exposed scene light.
double FilmicCurve(double exposed);
double ReinhardCurve(double exposed);

// The EV a mapping uses for an image: its own, or the automatic one.
double ExposureFor(const LinearImage& image, const ToneMapping& mapping);
// Scene light to display light in place, for samples (blue, green, red) of rows.
void ToneMapSamples(std::span<float> samples, double ev, ToneCurve curve);
// "Exposure +1.25 EV (automatic)": the EV a conversion chose, as its step says it.
std::string ExposureText(double ev, bool automatic);
// The image's 8-bit form: display light encoded, scene light exposed and tone-mapped first.
RgbImage DisplayImageOf(LinearImage image, const ToneMapping& mapping);

}  // namespace zenivor
