#include "output_profile.h"

#include "cli_error.h"
#include "convert_image.h"
#include "files/input_file.h"
#include "image/lcms_context.h"

#include <fmt/format.h>
#include <lcms2.h>
#include <memory>

namespace vrel::cli {

namespace {

// The number of inks of an ink colour space (CMYK, nCLR, MCHn); 0 for
// any other space. The header's value is taken as a number: a damaged
// header may hold one outside lcms2's enumeration.
int inksOfSpace(uint32_t space) {
    if (space == cmsSigCmykData)
        return 4;
    const char digit = static_cast<char>(space >> 24);
    const int n = digit >= '1' && digit <= '9'   ? digit - '0'
                  : digit >= 'A' && digit <= 'F' ? digit - 'A' + 10
                                                 : 0;
    if ((space & 0xffffff) == 0x434c52) // "nCLR"
        return n;
    if ((space & 0xffffff00) == 0x4d434800) // "MCHn"
        return static_cast<char>(space) >= 'A' ? static_cast<char>(space) - 'A' + 10
                                               : static_cast<char>(space) - '0';
    return 0;
}

const char* spaceName(uint32_t space) {
    switch (space) {
    case cmsSigRgbData:
        return "RGB";
    case cmsSigGrayData:
        return "grey";
    case cmsSigLabData:
        return "Lab";
    case cmsSigXYZData:
        return "XYZ";
    default:
        return "a colour space that is not inks";
    }
}

std::string inksOfMethod(int method) {
    switch (method) {
    case VrelMethodBlack:
        return "black only";
    case VrelMethodThreeChannel:
        return "three channels (RGB)";
    default:
        return fmt::format("{} inks", method);
    }
}

} // namespace

OutputProfile::OutputProfile(const std::string& path, int method)
    : path_(path), bytes_(readInputFile(path, "output profile")) {
    const std::string option = "--output-profile '" + path + "': ";
    LcmsContext lcms;
    const LcmsProfile profile(cmsOpenProfileFromMemTHR(
        lcms.get(), bytes_.data(), static_cast<cmsUInt32Number>(bytes_.size())));
    if (!profile)
        throw CliError(option + "not an ICC profile" +
                       (lcms.lastMessage().empty() ? "" : " (" + lcms.lastMessage() + ")"));
    const auto space = static_cast<uint32_t>(cmsGetColorSpace(profile.get()));
    const auto kind = static_cast<uint32_t>(cmsGetDeviceClass(profile.get()));
    cmyk_ = space == cmsSigCmykData;
    channels_ = inksOfSpace(space);
    if (kind == cmsSigLinkClass || kind == cmsSigAbstractClass || kind == cmsSigNamedColorClass)
        throw CliError(option + "a device link, abstract or named-colour profile; it must "
                                "describe the printer's inks (a CMYK or N-colour profile)");
    if (channels_ < 2)
        throw CliError(option + "a profile for " + spaceName(space) +
                       "; it must describe the printer's inks (a CMYK or N-colour profile)");
    if (!cmyk_ && (method == VrelMethodBlack || method == VrelMethodThreeChannel ||
                   channels_ != inkCountFor(method)))
        throw CliError(fmt::format("{}a profile for {} colours, but the database's profile "
                                   "prints {}",
                                   option, channels_, inksOfMethod(method)));
    // The relative colorimetric table, or lcms2's stand-in, the perceptual one.
    const bool toColours = cmsIsTag(profile.get(), cmsSigAToB0Tag) ||
                           cmsIsTag(profile.get(), cmsSigAToB1Tag) ||
                           cmsIsTag(profile.get(), cmsSigDToB1Tag);
    if (!toColours)
        throw CliError(option + "it has no table from its inks to colours");
}

std::string OutputProfile::notEmbedded(int method) const {
    if (method == VrelMethodBlack || method == VrelMethodThreeChannel ||
        channels_ != inkCountFor(method))
        return fmt::format("it is a {} profile and the TIFF holds {}",
                           cmyk_ ? "CMYK" : fmt::format("{}-colour", channels_),
                           inksOfMethod(method));
    return "";
}

} // namespace vrel::cli
