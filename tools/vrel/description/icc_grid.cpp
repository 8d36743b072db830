#include "icc_grid.h"

#include "cli_error.h"
#include "common/named_choice.h"
#include "grid_models.h"
#include "image/lcms_context.h"

#include <algorithm>
#include <cmath>
#include <lcms2.h>
#include <memory>

namespace vrel::cli {

namespace {

LcmsProfile openProfile(LcmsContext& lcms, const std::string& name, cmsColorSpaceSignature expected,
                        const char* expectedName) {
    lcms.clearMessage();
    LcmsProfile profile(name == "srgb" ? cmsCreate_sRGBProfileTHR(lcms.get())
                                       : cmsOpenProfileFromFileTHR(lcms.get(), name.c_str(), "r"));
    if (!profile)
        throw CliError("cannot open ICC profile '" + name + "'" +
                       (lcms.lastMessage().empty() ? std::string() : ": " + lcms.lastMessage()));
    if (cmsGetColorSpace(profile.get()) != expected)
        throw CliError("ICC profile '" + name + "' is not an " + expectedName + " profile");
    return profile;
}

// A float result as a byte: CMYK comes in percent (0..100), RGB in 0..1.
// A damaged profile may give NaN, which becomes 0 rather than an undefined
// conversion.
uint8_t resultByte(double value, double scale) {
    if (std::isnan(value))
        return 0;
    const double level = std::round(value * scale);
    return static_cast<uint8_t>(std::clamp(level, 0.0, 255.0));
}

std::vector<uint8_t> transformGrid(const std::vector<uint8_t>& nodes,
                                   const IccTransformSettings& settings,
                                   cmsColorSpaceSignature outSpace, const char* outName,
                                   cmsUInt32Number outType, int channels) {
    LcmsContext lcms; // declared first: closed after the profiles and the transform
    const auto source = openProfile(lcms, settings.source, cmsSigRgbData, "RGB");
    const auto output = openProfile(lcms, settings.output, outSpace, outName);
    // Full precision: no optimised (pre-sampled, 16-bit) pipeline, float values.
    const cmsUInt32Number flags =
        cmsFLAGS_NOOPTIMIZE |
        (settings.blackPointCompensation ? cmsFLAGS_BLACKPOINTCOMPENSATION : 0);
    LcmsTransform transform(
        cmsCreateTransformTHR(lcms.get(), source.get(), TYPE_RGB_DBL, output.get(), outType,
                              static_cast<cmsUInt32Number>(settings.intent), flags));
    if (!transform)
        throw CliError("cannot build the ICC transform from '" + settings.source + "' to '" +
                       settings.output + "'" +
                       (lcms.lastMessage().empty() ? std::string() : ": " + lcms.lastMessage()));
    const double scale = outSpace == cmsSigCmykData ? 2.55 : 255.0;
    return computeGrid(nodes, channels, [&](uint8_t r, uint8_t g, uint8_t b, uint8_t* out) {
        const double in[3] = {r / 255.0, g / 255.0, b / 255.0};
        double result[4] = {};
        cmsDoTransform(transform.get(), in, result, 1);
        for (int i = 0; i < channels; ++i)
            out[i] = resultByte(result[i], scale);
    });
}

} // namespace

std::vector<uint8_t> iccInkGrid(const std::vector<uint8_t>& nodes,
                                const IccTransformSettings& settings) {
    return transformGrid(nodes, settings, cmsSigCmykData, "CMYK", TYPE_CMYK_DBL, 4);
}

std::vector<uint8_t> iccCorrectionGrid(const std::vector<uint8_t>& nodes,
                                       const IccTransformSettings& settings) {
    return transformGrid(nodes, settings, cmsSigRgbData, "RGB", TYPE_RGB_DBL, 3);
}

RenderingIntent parseIntent(const std::string& name) {
    static constexpr tools::NamedChoice<RenderingIntent> kIntents[] = {
        {"perceptual", RenderingIntent::Perceptual},
        {"relative", RenderingIntent::RelativeColorimetric},
        {"saturation", RenderingIntent::Saturation},
        {"absolute", RenderingIntent::Absolute}};
    if (const auto intent = tools::chooseByName(name, kIntents))
        return *intent;
    throw CliError("must be perceptual, relative, saturation or absolute");
}

const char* intentName(RenderingIntent intent) {
    switch (intent) {
    case RenderingIntent::Perceptual:
        return "perceptual";
    case RenderingIntent::RelativeColorimetric:
        return "relative";
    case RenderingIntent::Saturation:
        return "saturation";
    case RenderingIntent::Absolute:
        return "absolute";
    }
    return "perceptual";
}

} // namespace vrel::cli
