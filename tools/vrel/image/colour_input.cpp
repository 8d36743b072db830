#include "colour_input.h"

#include "cli_error.h"
#include "database_space.h"
#include "files/input_file.h"
#include "lcms_context.h"

#include <cmath>
#include <fmt/format.h>
#include <lcms2.h>
#include <memory>

namespace vrel::cli {

namespace {

using Profile = LcmsProfile;

struct CurveFree {
    void operator()(cmsToneCurve* curve) const {
        if (curve)
            cmsFreeToneCurve(curve);
    }
};
using Curve = std::unique_ptr<cmsToneCurve, CurveFree>;

constexpr cmsCIExyY kD65{0.3127, 0.3290, 1.0};
constexpr std::array<double, 8> kSrgbChromaticities{0.3127, 0.3290, 0.64, 0.33,
                                                    0.30,   0.60,   0.15, 0.06};

Curve srgbCurve(cmsContext context) {
    const double parameters[5] = {2.4, 1.0 / 1.055, 0.055 / 1.055, 1.0 / 12.92, 0.04045};
    return Curve(cmsBuildParametricToneCurve(context, 4, parameters));
}

// The profile the database expects: its RGB space (sRGB unless named), or
// grey on the sRGB tone curve whatever the RGB space.
Profile targetProfile(LcmsContext& lcms, int colours, const std::string& databaseSpace) {
    if (colours == 3)
        return openDatabaseSpace(lcms, databaseSpace);
    const Curve curve = srgbCurve(lcms.get());
    return Profile(cmsCreateGrayProfileTHR(lcms.get(), &kD65, curve.get()));
}

// The profile's colour space as the number its header holds: a damaged
// header may hold one outside lcms2's enumeration, which must not be kept in
// a variable of that type.
uint32_t colourSpaceOf(cmsHPROFILE profile) {
    return static_cast<uint32_t>(cmsGetColorSpace(profile));
}

bool fitsImage(cmsHPROFILE profile, int colours) {
    const uint32_t space = colourSpaceOf(profile);
    return colours == 3 ? space == cmsSigRgbData : space == cmsSigGrayData;
}

const char* spaceName(cmsHPROFILE profile) {
    switch (colourSpaceOf(profile)) {
    case cmsSigRgbData:
        return "RGB";
    case cmsSigGrayData:
        return "grey";
    case cmsSigCmykData:
        return "CMYK";
    case cmsSigLabData:
        return "Lab";
    default:
        return "another colour space";
    }
}

// A profile from a PNG's gAMA and cHRM chunks, or null when they describe
// sRGB closely enough that no transform is needed.
Profile profileFromChunks(cmsContext context, const EmbeddedColour& e, int colours,
                          std::string& what) {
    const double gamma = e.gamma.value_or(1.0 / 2.2);
    const auto chrm = e.chromaticities.value_or(kSrgbChromaticities);
    bool srgbLike = std::abs(gamma * 2.2 - 1.0) < 0.01;
    for (std::size_t i = 0; i < 8; ++i)
        srgbLike = srgbLike && std::abs(chrm[i] - kSrgbChromaticities[i]) < 0.01;
    if (srgbLike || gamma <= 0.0)
        return nullptr;
    what = fmt::format("decoding gamma {:.2f} from the PNG's gAMA chunk{}", 1.0 / gamma,
                       e.chromaticities ? " with the primaries of its cHRM chunk" : "");
    const Curve curve(cmsBuildGamma(context, 1.0 / gamma));
    const cmsCIExyY white{chrm[0], chrm[1], 1.0};
    if (colours == 1)
        return Profile(cmsCreateGrayProfileTHR(context, &white, curve.get()));
    const cmsCIExyYTRIPLE primaries{
        {chrm[2], chrm[3], 1.0}, {chrm[4], chrm[5], 1.0}, {chrm[6], chrm[7], 1.0}};
    cmsToneCurve* curves[3] = {curve.get(), curve.get(), curve.get()};
    return Profile(cmsCreateRGBProfileTHR(context, &white, &primaries, curves));
}

using Warn = std::function<void(const std::string&)>;

const char* kindOf(int colours) {
    return colours == 3 ? "RGB" : "grey";
}

// An ICC file the user named: refused unless it is a profile for the image's
// colours.
Profile namedProfile(LcmsContext& lcms, const std::string& path, int colours,
                     const std::string& imagePath, std::string& description) {
    const auto bytes = readInputFile(path, "input profile");
    lcms.clearMessage();
    Profile source(cmsOpenProfileFromMemTHR(lcms.get(), bytes.data(),
                                            static_cast<cmsUInt32Number>(bytes.size())));
    if (!source)
        throw CliError("cannot read input profile '" + path + "': not an ICC profile" +
                       (lcms.lastMessage().empty() ? "" : " (" + lcms.lastMessage() + ")"));
    if (!fitsImage(source.get(), colours))
        throw CliError("input profile '" + path + "' is for " + spaceName(source.get()) +
                       ", but image '" + imagePath + "' is " + kindOf(colours));
    description = "'" + path + "' " + profileName(source.get());
    return source;
}

// The image's own ICC profile; null, with a warning, when it is unreadable or
// for other colours than the image's.
Profile embeddedProfile(LcmsContext& lcms, const std::vector<uint8_t>& icc, int colours,
                        const std::string& imagePath, const Warn& warn, std::string& description) {
    lcms.clearMessage();
    Profile source(
        cmsOpenProfileFromMemTHR(lcms.get(), icc.data(), static_cast<cmsUInt32Number>(icc.size())));
    if (!source) {
        warn("the ICC profile embedded in '" + imagePath +
             "' is unreadable; its colours are taken as sRGB");
    } else if (!fitsImage(source.get(), colours)) {
        warn("the ICC profile embedded in '" + imagePath + "' is for " + spaceName(source.get()) +
             ", but the image is " + kindOf(colours) + "; its colours are taken as sRGB");
        source.reset();
    } else {
        description = "the embedded ICC profile " + profileName(source.get());
    }
    return source;
}

// The profile the image's colours are in, as the choice and the file say;
// null when they are taken as sRGB. `description` is left empty when
// nothing describes them.
Profile sourceProfile(LcmsContext& lcms, const std::string& choice, const EmbeddedColour& embedded,
                      int colours, const std::string& imagePath, const Warn& warn,
                      std::string& description) {
    if (choice == kNoProfile) {
        description = "none: the values are taken as they are (as sRGB)";
        return nullptr;
    }
    if (choice != kEmbeddedProfile)
        return namedProfile(lcms, choice, colours, imagePath, description);
    if (!embedded.iccProfile.empty())
        return embeddedProfile(lcms, embedded.iccProfile, colours, imagePath, warn, description);
    if (embedded.declaredSrgb) {
        description = "sRGB (the PNG's sRGB chunk)";
        return nullptr;
    }
    if (!embedded.gamma && !embedded.chromaticities)
        return nullptr;
    std::string what;
    Profile source = profileFromChunks(lcms.get(), embedded, colours, what);
    description = source ? what : "sRGB (the PNG's gAMA and cHRM chunks describe sRGB)";
    return source;
}

} // namespace

InputColour::InputColour(const ColourChoice& choice, const EmbeddedColour& embedded, int colours,
                         int bits, const std::string& imagePath)
    : lcms_(std::make_unique<LcmsContext>()) {
    LcmsContext& lcms = *lcms_;
    Profile source = sourceProfile(lcms, choice.inputProfile, embedded, colours, imagePath,
                                   choice.warn, description_);
    if (description_.empty())
        description_ = "sRGB (the image carries no colour information)";
    const bool srgbTarget = colours == 1 || choice.databaseSpace == kDatabaseSrgb;
    if (choice.inputProfile == kNoProfile && !srgbTarget)
        description_ = "none: the values are taken as they are (as the --database-space)";
    if (choice.inputProfile == kNoProfile || (!source && srgbTarget))
        return;
    const Profile target = targetProfile(lcms, colours, choice.databaseSpace);
    const std::string targetName =
        colours == 1 ? "sRGB grey" : (srgbTarget ? "sRGB" : profileName(target.get()));
    const bool assumedSrgb = !source;
    if (assumedSrgb)
        source.reset(cmsCreate_sRGBProfileTHR(lcms.get()));
    if (sameSpace(source.get(), target.get())) {
        description_ += ", the database's own space: the values are taken as they are";
        return;
    }
    const uint32_t inType = colours == 3 ? (bits == 16 ? TYPE_RGB_16 : TYPE_RGB_8)
                                         : (bits == 16 ? TYPE_GRAY_16 : TYPE_GRAY_8);
    const uint32_t outType = colours == 3 ? TYPE_RGB_8 : TYPE_GRAY_8;
    const auto link = [&](cmsHPROFILE from) {
        lcms.clearMessage();
        return cmsCreateTransformTHR(lcms.get(), from, inType, target.get(), outType,
                                     INTENT_PERCEPTUAL, 0);
    };
    transform_ = link(source.get());
    if (!transform_ && choice.inputProfile == kEmbeddedProfile && !embedded.iccProfile.empty()) {
        // A profile lcms2 opens but cannot link (a device link, a named-colour
        // profile, one without its tone curves) is as unusable as an
        // unreadable one.
        choice.warn("the ICC profile embedded in '" + imagePath + "' cannot be applied" +
                    (lcms.lastMessage().empty() ? "" : " (" + lcms.lastMessage() + ")") +
                    "; its colours are taken as sRGB");
        description_ = "sRGB (the embedded ICC profile cannot be applied)";
        if (srgbTarget)
            return;
        source.reset(cmsCreate_sRGBProfileTHR(lcms.get()));
        transform_ = link(source.get());
    }
    if (!transform_)
        throw CliError("cannot apply input profile " + description_ + " to '" + imagePath + "'" +
                       (lcms.lastMessage().empty() ? "" : ": " + lcms.lastMessage()));
    description_ += ", converted to " + targetName;
    if (colours == 3 && !assumedSrgb && reachesBeyond(lcms, source.get(), target.get()))
        choice.note(fmt::format("'{}' is in {}; colours outside {} are clipped before the "
                                "database's table; if the database was built for another RGB "
                                "space, name it with --database-space FILE.icc",
                                imagePath, profileName(source.get()), targetName));
}

InputColour::~InputColour() {
    if (transform_)
        cmsDeleteTransform(static_cast<cmsHTRANSFORM>(transform_));
}

void InputColour::convert(const void* in, uint8_t* out, int pixels) const {
    cmsDoTransform(static_cast<cmsHTRANSFORM>(transform_), in, out,
                   static_cast<cmsUInt32Number>(pixels));
}

} // namespace vrel::cli
