#pragma once
// The tone curves as their papers give them and the sRGB curve, written out independently of the
// program's tables so that the colour tests have an oracle of their own.

#include <algorithm>
#include <cmath>

namespace zenivor::test {

// Narkowicz's fit of the ACES filmic curve.
inline double Aces(double x) { return std::min(x * (2.51 * x + 0.03) / (x * (2.43 * x + 0.59) + 0.14), 1.0); }

// IEC 61966-2-1's sRGB encoding of a linear value, in double precision.
inline double SrgbEncoded(double linear) {
    return linear <= 0.0031308 ? 12.92 * linear : 1.055 * std::pow(linear, 1 / 2.4) - 0.055;
}

// The 8-bit sRGB level of a linear value, rounded to the nearest.
inline int SrgbLevel(double linear) {
    return static_cast<int>(std::floor(std::clamp(SrgbEncoded(linear), 0.0, 1.0) * 255 + 0.5));
}

}  // namespace zenivor::test
