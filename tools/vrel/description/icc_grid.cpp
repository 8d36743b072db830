#include "icc_grid.h"

#include "cli_error.h"
#include "common/named_choice.h"
#include "grid_models.h"
#include "image/lcms_context.h"

#include <lcms2.h>
#include <memory>

namespace vrel::cli {

namespace {

struct ProfileCloser {
    void operator()(void* profile) const { cmsCloseProfile(profile); }
};
using ProfilePtr = std::unique_ptr<void, ProfileCloser>;

struct TransformDeleter {
    void operator()(void* transform) const { cmsDeleteTransform(transform); }
};

ProfilePtr openProfile(LcmsContext& lcms, const std::string& name, cmsColorSpaceSignature expected,
                       const char* expectedName) {
    lcms.clearMessage();
    ProfilePtr profile(name == "srgb" ? cmsCreate_sRGBProfileTHR(lcms.get())
                                      : cmsOpenProfileFromFileTHR(lcms.get(), name.c_str(), "r"));
    if (!profile)
        throw CliError("cannot open ICC profile '" + name + "'" +
                       (lcms.lastMessage().empty() ? std::string() : ": " + lcms.lastMessage()));
    if (cmsGetColorSpace(profile.get()) != expected)
        throw CliError("ICC profile '" + name + "' is not an " + expectedName + " profile");
    return profile;
}

std::vector<uint8_t> transformGrid(const std::vector<uint8_t>& nodes,
                                   const IccTransformSettings& settings,
                                   cmsColorSpaceSignature outSpace, const char* outName,
                                   cmsUInt32Number outType, int channels) {
    LcmsContext lcms; // declared first: closed after the profiles and the transform
    const auto source = openProfile(lcms, settings.source, cmsSigRgbData, "RGB");
    const auto output = openProfile(lcms, settings.output, outSpace, outName);
    const cmsUInt32Number flags =
        settings.blackPointCompensation ? cmsFLAGS_BLACKPOINTCOMPENSATION : 0;
    std::unique_ptr<void, TransformDeleter> transform(
        cmsCreateTransformTHR(lcms.get(), source.get(), TYPE_RGB_16, output.get(), outType,
                              static_cast<cmsUInt32Number>(settings.intent), flags));
    if (!transform)
        throw CliError("cannot build the ICC transform from '" + settings.source + "' to '" +
                       settings.output + "'" +
                       (lcms.lastMessage().empty() ? std::string() : ": " + lcms.lastMessage()));
    return computeGrid(nodes, channels, [&](uint8_t r, uint8_t g, uint8_t b, uint8_t* out) {
        const cmsUInt16Number in[3] = {static_cast<cmsUInt16Number>(r * 257),
                                       static_cast<cmsUInt16Number>(g * 257),
                                       static_cast<cmsUInt16Number>(b * 257)};
        cmsUInt16Number result[4] = {};
        cmsDoTransform(transform.get(), in, result, 1);
        for (int i = 0; i < channels; ++i)
            out[i] = static_cast<uint8_t>((result[i] * 255u + 32767u) / 65535u);
    });
}

} // namespace

std::vector<uint8_t> iccInkGrid(const std::vector<uint8_t>& nodes,
                                const IccTransformSettings& settings) {
    return transformGrid(nodes, settings, cmsSigCmykData, "CMYK", TYPE_CMYK_16, 4);
}

std::vector<uint8_t> iccCorrectionGrid(const std::vector<uint8_t>& nodes,
                                       const IccTransformSettings& settings) {
    return transformGrid(nodes, settings, cmsSigRgbData, "RGB", TYPE_RGB_16, 3);
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
