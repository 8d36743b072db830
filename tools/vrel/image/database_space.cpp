#include "database_space.h"

#include "cli_error.h"
#include "colour_input.h"
#include "files/input_file.h"

#include <algorithm>
#include <array>

namespace vrel::cli {

namespace {

std::array<uint8_t, 16> profileId(void* profile) {
    std::array<uint8_t, 16> id{};
    auto* p = static_cast<cmsHPROFILE>(profile);
    if (cmsMD5computeID(p))
        cmsGetHeaderProfileID(p, id.data());
    return id;
}

// A value this far outside 0 to 1 is a colour the target cannot hold, not
// the rounding of a transform between two descriptions of one space.
constexpr double kSlack = 0.01;

} // namespace

std::string profileName(void* profile) {
    char name[128] = {};
    cmsGetProfileInfoASCII(static_cast<cmsHPROFILE>(profile), cmsInfoDescription, "en", "US", name,
                           sizeof name);
    std::string text = name;
    text.erase(text.find_last_not_of(' ') + 1); // descriptions padded with spaces
    return text.empty() ? std::string("(unnamed)") : "'" + text + "'";
}

LcmsProfile openDatabaseSpace(LcmsContext& lcms, const std::string& choice) {
    if (choice == kDatabaseSrgb)
        return LcmsProfile(cmsCreate_sRGBProfileTHR(lcms.get()));
    const std::string option = "--database-space '" + choice + "': ";
    const auto bytes = readInputFile(choice, "database space profile");
    lcms.clearMessage();
    LcmsProfile profile(cmsOpenProfileFromMemTHR(lcms.get(), bytes.data(),
                                                 static_cast<cmsUInt32Number>(bytes.size())));
    if (!profile)
        throw CliError(option + "not an ICC profile" +
                       (lcms.lastMessage().empty() ? "" : " (" + lcms.lastMessage() + ")"));
    const auto space = static_cast<uint32_t>(cmsGetColorSpace(profile.get()));
    const auto kind = static_cast<uint32_t>(cmsGetDeviceClass(profile.get()));
    if (space != cmsSigRgbData || kind == cmsSigLinkClass || kind == cmsSigNamedColorClass)
        throw CliError(option + "must be an RGB profile (the space of the database's RGB tables)");
    return profile;
}

void checkDatabaseSpace(const std::string& choice) {
    LcmsContext lcms;
    openDatabaseSpace(lcms, choice);
}

bool sameSpace(void* a, void* b) {
    const auto idA = profileId(a), idB = profileId(b);
    return idA == idB && idA != std::array<uint8_t, 16>{};
}

bool reachesBeyond(LcmsContext& lcms, void* source, void* target) {
    const LcmsTransform test(cmsCreateTransformTHR(lcms.get(), static_cast<cmsHPROFILE>(source),
                                                   TYPE_RGB_DBL, static_cast<cmsHPROFILE>(target),
                                                   TYPE_RGB_DBL, INTENT_RELATIVE_COLORIMETRIC, 0));
    if (!test)
        return false;
    std::array<double, 18> corners = {1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 1, 1, 1, 0, 1, 1, 1, 0};
    std::array<double, 18> out{};
    cmsDoTransform(test.get(), corners.data(), out.data(), 6);
    return std::any_of(out.begin(), out.end(),
                       [](double v) { return v < -kSlack || v > 1 + kSlack; });
}

} // namespace vrel::cli
