#include "cmyk_reference.h"

#include "cli_error.h"

#include <lcms2.h>

namespace vrel::cli {

namespace {

constexpr double kLevelsPerPercent = 2.55;

} // namespace

CmykReference::CmykReference(const std::string& path, const std::string& option)
    : path_(path), option_(option),
      profile_(cmsOpenProfileFromFileTHR(lcms_.get(), path.c_str(), "r")) {
    if (!profile_)
        throw CliError(option + " '" + path + "': cannot open the ICC profile" +
                       (lcms_.lastMessage().empty() ? std::string() : ": " + lcms_.lastMessage()));
    if (cmsGetColorSpace(profile_.get()) != cmsSigCmykData)
        throw CliError(option + " '" + path + "': not a CMYK profile");
}

CmykReference::~CmykReference() = default;

std::vector<double> CmykReference::inksOf(const std::vector<uint8_t>& rgb, RenderingIntent intent,
                                          bool blackPointCompensation) const {
    LcmsProfile srgb(cmsCreate_sRGBProfileTHR(lcms_.get()));
    const cmsUInt32Number flags =
        cmsFLAGS_NOOPTIMIZE | (blackPointCompensation ? cmsFLAGS_BLACKPOINTCOMPENSATION : 0);
    LcmsTransform transform(cmsCreateTransformTHR(lcms_.get(), srgb.get(), TYPE_RGB_DBL,
                                                  profile_.get(), TYPE_CMYK_DBL,
                                                  static_cast<cmsUInt32Number>(intent), flags));
    if (!transform)
        throw CliError(option_ + " '" + path_ +
                       "': cannot build the transform from sRGB: " + lcms_.lastMessage());
    std::vector<double> in(rgb.size()), inks(rgb.size() / 3 * 4);
    for (std::size_t i = 0; i < rgb.size(); ++i)
        in[i] = rgb[i] / 255.0;
    cmsDoTransform(transform.get(), in.data(), inks.data(),
                   static_cast<cmsUInt32Number>(rgb.size() / 3));
    for (auto& level : inks)
        level *= kLevelsPerPercent;
    return inks;
}

std::vector<double> CmykReference::deltaE00(const std::vector<double>& a,
                                            const std::vector<double>& b) const {
    LcmsProfile lab(cmsCreateLab4ProfileTHR(lcms_.get(), nullptr));
    LcmsTransform transform(
        cmsCreateTransformTHR(lcms_.get(), profile_.get(), TYPE_CMYK_DBL, lab.get(), TYPE_Lab_DBL,
                              INTENT_RELATIVE_COLORIMETRIC, cmsFLAGS_NOOPTIMIZE));
    if (!transform)
        throw CliError(option_ + " '" + path_ +
                       "': cannot build the transform to CIELAB: " + lcms_.lastMessage());
    const auto toLab = [&](const std::vector<double>& inks) {
        std::vector<double> percent(inks.size());
        for (std::size_t i = 0; i < inks.size(); ++i)
            percent[i] = inks[i] / kLevelsPerPercent;
        std::vector<cmsCIELab> out(inks.size() / 4);
        cmsDoTransform(transform.get(), percent.data(), out.data(),
                       static_cast<cmsUInt32Number>(out.size()));
        return out;
    };
    const auto labA = toLab(a), labB = toLab(b);
    std::vector<double> differences(labA.size());
    for (std::size_t i = 0; i < labA.size(); ++i)
        differences[i] = cmsCIE2000DeltaE(&labA[i], &labB[i], 1, 1, 1);
    return differences;
}

} // namespace vrel::cli
