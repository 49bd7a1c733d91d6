#pragma once
// Embedded ICC colour profiles (PNG's iCCP, JPEG's APP2, TIFF's and WebP's ICC chunks) turned
// into sRGB through Little CMS, with the perceptual intent. A source without a profile is taken
// as sRGB already, and so is one whose profile Little CMS cannot read or that is not an RGB
// profile (grey and CMYK profiles are left to the decoders' own conversions).

#include <cstdint>
#include <memory>
#include <span>

namespace zenivor::formats {

// How the pixels handed to a transform are stored: three samples a pixel in the order named, 8
// or 16 bits each; 16-bit samples in the machine's order, or big-endian as PNG stores them.
enum class ProfileInput { Bgr8, Rgb8, Rgb16, Rgb16BigEndian };

class ProfileTransform {
public:
    // A transform from the profile's colours in this layout to sRGB; null for no profile, or one
    // taken as sRGB (see above).
    static std::unique_ptr<ProfileTransform> FromIcc(std::span<const std::uint8_t> icc, ProfileInput input);
    ~ProfileTransform();
    ProfileTransform(const ProfileTransform&) = delete;
    ProfileTransform& operator=(const ProfileTransform&) = delete;

    // 8-bit pixels in place, as 8-bit sRGB in the same order (Bgr8 or Rgb8 transforms only).
    void ToSrgbBytes(std::uint8_t* pixels, int count) const;
    // Pixels as sRGB's linear light, blue, green, red (see imaging/LinearLight.h).
    void ToLinear(const void* pixels, float* out, int count) const;

private:
    ProfileTransform() = default;
    void* toBytes_ = nullptr;   // cmsHTRANSFORM
    void* toLinear_ = nullptr;  // cmsHTRANSFORM
};

// The largest profile read; a larger one is ignored (real ones are a few kilobytes, the largest
// lookup-table profiles a megabyte or two).
inline constexpr std::size_t kMaxProfileBytes = 4 << 20;

}  // namespace zenivor::formats
