#include "soft_proof.h"

#include "cli_error.h"
#include "convert_image.h"
#include "image/lcms_context.h"

#include <algorithm>
#include <lcms2.h>
#include <vector>

namespace vrel::cli {

namespace {

constexpr double kLightRatio = 0.35; // light cyan and magenta (preview.h)
constexpr double kGreyRatio = 0.4;   // the grey ink, of black

using Profile = LcmsProfile;

// A dark ink with its light one added at the light ink's strength.
uint8_t folded(uint8_t dark, uint8_t light, double ratio) {
    return static_cast<uint8_t>(std::min(255.0, dark + ratio * light + 0.5));
}

// The CMYK of one pixel of 1, 6 or 7 inks in the engine's order (C M Y K
// Lc Lm Lk).
void toCmyk(const uint8_t* in, int inks, uint8_t* out) {
    if (inks == 1) {
        out[0] = out[1] = out[2] = 0;
        out[3] = in[0];
        return;
    }
    out[0] = folded(in[0], in[4], kLightRatio);
    out[1] = folded(in[1], in[5], kLightRatio);
    out[2] = in[2];
    out[3] = inks == 7 ? folded(in[3], in[6], kGreyRatio) : in[3];
}

} // namespace

SoftProof::SoftProof(const OutputProfile& profile, int method)
    : lcms_(std::make_unique<LcmsContext>()), inks_(inkCountFor(method)) {
    cmsContext context = lcms_->get();
    const Profile inks(cmsOpenProfileFromMemTHR(
        context, profile.bytes().data(), static_cast<cmsUInt32Number>(profile.bytes().size())));
    const Profile srgb(cmsCreate_sRGBProfileTHR(context));
    profileInks_ = profile.cmyk() ? 4 : profile.channels();
    const cmsUInt32Number inType =
        inks ? cmsFormatterForColorspaceOfProfile(inks.get(), 1, FALSE) : 0;
    // The transform is shared by the threads that make the preview's bands:
    // without its one-pixel cache it keeps no state between calls.
    if (inks && srgb)
        transform_ = cmsCreateTransformTHR(context, inks.get(), inType, srgb.get(), TYPE_RGB_8,
                                           INTENT_RELATIVE_COLORIMETRIC, cmsFLAGS_NOCACHE);
    if (!transform_)
        throw CliError("--output-profile '" + profile.path() + "': cannot make a soft proof" +
                       (lcms_->lastMessage().empty() ? "" : " (" + lcms_->lastMessage() + ")"));
}

SoftProof::~SoftProof() {
    if (transform_)
        cmsDeleteTransform(static_cast<cmsHTRANSFORM>(transform_));
}

void SoftProof::row(const uint8_t* inks, int width, uint8_t* rgb) const {
    const auto transform = static_cast<cmsHTRANSFORM>(transform_);
    const auto pixels = static_cast<cmsUInt32Number>(width);
    if (inks_ == profileInks_)
        return cmsDoTransform(transform, inks, rgb, pixels);
    thread_local std::vector<uint8_t> cmyk;
    cmyk.resize(static_cast<std::size_t>(width) * 4);
    for (int x = 0; x < width; ++x)
        toCmyk(inks + static_cast<std::ptrdiff_t>(x) * inks_, inks_, cmyk.data() + 4 * x);
    cmsDoTransform(transform, cmyk.data(), rgb, pixels);
}

} // namespace vrel::cli
