#include "formats/ColourProfile.h"

#include <lcms2.h>

namespace zenivor::formats {
namespace {

cmsUInt32Number LcmsFormat(ProfileInput input) {
    switch (input) {
        case ProfileInput::Bgr8: return TYPE_BGR_8;
        case ProfileInput::Rgb8: return TYPE_RGB_8;
        case ProfileInput::Rgb16: return TYPE_RGB_16;
        case ProfileInput::Rgb16BigEndian: return TYPE_RGB_16_SE;
    }
    return TYPE_RGB_8;
}

// sRGB's primaries and white with a straight line for its curve: sRGB's linear light.
cmsHPROFILE LinearSrgbProfile() {
    const cmsCIExyY white{0.3127, 0.3290, 1.0};  // D65, as sRGB names it
    const cmsCIExyYTRIPLE primaries{{0.64, 0.33, 1.0}, {0.30, 0.60, 1.0}, {0.15, 0.06, 1.0}};
    cmsToneCurve* line = cmsBuildGamma(nullptr, 1.0);
    cmsToneCurve* curves[3] = {line, line, line};
    cmsHPROFILE profile = cmsCreateRGBProfile(&white, &primaries, curves);
    cmsFreeToneCurve(line);
    return profile;
}

// Closes the profiles whatever happens to the transforms made from them.
struct Profiles {
    cmsHPROFILE source = nullptr;
    cmsHPROFILE srgb = nullptr;
    cmsHPROFILE linear = nullptr;
    ~Profiles() {
        for (cmsHPROFILE profile : {source, srgb, linear})
            if (profile != nullptr) cmsCloseProfile(profile);
    }
};

}  // namespace

std::unique_ptr<ProfileTransform> ProfileTransform::FromIcc(std::span<const std::uint8_t> icc, ProfileInput input) {
    if (icc.empty() || icc.size() > kMaxProfileBytes) return nullptr;
    Profiles profiles;
    profiles.source = cmsOpenProfileFromMem(icc.data(), static_cast<cmsUInt32Number>(icc.size()));
    if (profiles.source == nullptr || cmsGetColorSpace(profiles.source) != cmsSigRgbData) return nullptr;
    profiles.srgb = cmsCreate_sRGBProfile();
    profiles.linear = LinearSrgbProfile();
    if (profiles.srgb == nullptr || profiles.linear == nullptr) return nullptr;
    std::unique_ptr<ProfileTransform> transform(new ProfileTransform);
    const cmsUInt32Number format = LcmsFormat(input);
    if (input == ProfileInput::Bgr8 || input == ProfileInput::Rgb8) {
        transform->toBytes_ = cmsCreateTransform(profiles.source, format, profiles.srgb, format, INTENT_PERCEPTUAL, 0);
        if (transform->toBytes_ == nullptr) return nullptr;
    }
    transform->toLinear_ =
        cmsCreateTransform(profiles.source, format, profiles.linear, TYPE_BGR_FLT, INTENT_PERCEPTUAL, 0);
    if (transform->toLinear_ == nullptr) return nullptr;
    return transform;
}

ProfileTransform::~ProfileTransform() {
    if (toBytes_ != nullptr) cmsDeleteTransform(toBytes_);
    if (toLinear_ != nullptr) cmsDeleteTransform(toLinear_);
}

void ProfileTransform::ToSrgbBytes(std::uint8_t* pixels, int count) const {
    if (toBytes_ != nullptr) cmsDoTransform(toBytes_, pixels, pixels, static_cast<cmsUInt32Number>(count));
}

void ProfileTransform::ToLinear(const void* pixels, float* out, int count) const {
    cmsDoTransform(toLinear_, pixels, out, static_cast<cmsUInt32Number>(count));
}

}  // namespace zenivor::formats
