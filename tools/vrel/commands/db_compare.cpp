#include "db_compare.h"

#include "cli_error.h"
#include "compare/cmyk_reference.h"
#include "compare/ink_statistics.h"
#include "conversion_options.h"
#include "convert/convert_image.h"
#include "image/image_read.h"

#include <algorithm>
#include <fmt/format.h>
#include <iostream>
#include <nlohmann/json.hpp>
#include <optional>

namespace vrel::cli {

namespace {

// Colours compared: sRGB samples, 3 bytes each.
struct SampleSet {
    std::string name, description;
    std::vector<uint8_t> rgb;
};

SampleSet srgbGrid() {
    SampleSet set{"grid", "", {}};
    int levels = 0;
    for (int r = 0; r <= 255; r += kGridStep, ++levels)
        for (int g = 0; g <= 255; g += kGridStep)
            for (int b = 0; b <= 255; b += kGridStep)
                set.rgb.insert(set.rgb.end(), {static_cast<uint8_t>(r), static_cast<uint8_t>(g),
                                               static_cast<uint8_t>(b)});
    set.description = fmt::format("sRGB grid: {} colours (every {}th level, {} a channel)",
                                  set.rgb.size() / 3, kGridStep, levels);
    return set;
}

// The image's pixels in sRGB, as convert reads them; grey as R = G = B.
SampleSet imagePixels(const std::string& path) {
    const Image image = readImage(path, ReadOptions{});
    SampleSet set{"image", "", {}};
    if (image.channels == 3) {
        set.rgb = image.pixels;
    } else {
        for (const uint8_t grey : image.pixels)
            set.rgb.insert(set.rgb.end(), {grey, grey, grey});
    }
    set.description = fmt::format("image '{}': {} pixels", path, set.rgb.size() / 3);
    return set;
}

// The engine's inks for the samples, as convert gives them, as levels. The
// samples go through in rows of kRowPixels, the last one padded.
std::vector<double> engineInks(const std::string& database, const PrintSettings& settings,
                               std::vector<uint8_t> rgb, int& method) {
    constexpr std::size_t kRowPixels = 65536;
    const std::size_t count = rgb.size() / 3;
    const std::size_t width = std::clamp<std::size_t>(count, 1, kRowPixels);
    const std::size_t rows = (count + width - 1) / width;
    rgb.resize(rows * width * 3);
    ConversionRequest request;
    request.databasePath = database;
    request.settings = settings;
    BandConverter converter(request, 3, static_cast<int>(width));
    method = converter.method();
    const auto inks = static_cast<std::size_t>(inkCountFor(method));
    std::vector<uint8_t> levels(rows * width * inks);
    converter.convert(rgb.data(), levels.data(), static_cast<int>(rows));
    return {levels.begin(), levels.begin() + static_cast<std::ptrdiff_t>(count * inks)};
}

void checkCompareOptions(const CompareOptions& o) {
    if (!o.second.empty() && !o.againstProfile.empty())
        throw CliError("give either a second database or --against-profile, not both");
    if (o.second.empty() && o.againstProfile.empty())
        throw CliError("nothing to compare with: give a second database or --against-profile");
    if (o.againstProfile.empty() && (o.intent != "perceptual" || o.blackPointCompensation))
        throw CliError("--intent and --bpc apply to --against-profile only");
    if (!o.againstProfile.empty() && !o.outputProfile.empty())
        throw CliError("--output-profile is for two databases; --against-profile reports "
                       "colour differences through its own profile");
}

RenderingIntent intentOf(const std::string& name) {
    try {
        return parseIntent(name);
    } catch (const CliError& e) {
        throw CliError("--intent " + name + ": " + e.what());
    }
}

// What one set of samples gives: the two ink sets, and their comparison.
InkComparison compareSet(const CompareOptions& o, const SampleSet& set,
                         const CmykReference* profile, int& method) {
    const auto first = engineInks(o.first, o.settings, set.rgb, method);
    std::vector<double> second;
    const int inks = inkCountFor(method);
    const std::string profileNeeds =
        !o.againstProfile.empty() ? "--against-profile" : "--output-profile";
    if (profile && inks != 4)
        throw CliError(fmt::format("{} needs a four-ink profile; '{}' converts to {} ink{}",
                                   profileNeeds, o.first, inks, inks == 1 ? "" : "s"));
    if (!o.againstProfile.empty()) {
        second = profile->inksOf(set.rgb, intentOf(o.intent), o.blackPointCompensation);
    } else {
        int secondMethod = 0;
        second = engineInks(o.second, o.settings, set.rgb, secondMethod);
        if (secondMethod != method)
            throw CliError(fmt::format("'{}' converts to {} inks, '{}' to {}: only the same inks "
                                       "compare",
                                       o.first, inks, o.second, inkCountFor(secondMethod)));
    }
    InkComparison c = compareInkLevels(first, second, inks);
    if (profile)
        c.deltaE = spreadOf(profile->deltaE00(first, second));
    return c;
}

std::string spreadRow(const std::string& name, const Spread& s) {
    return fmt::format("  {:<14}{:>9.2f}{:>9.2f}{:>9.2f}\n", name, s.mean, s.p95, s.max);
}

void printTable(const SampleSet& set, const InkComparison& c, const std::vector<std::string>& names,
                std::ostream& out) {
    out << "\n" << set.description << "\n";
    out << fmt::format("  {:<14}{:>9}{:>9}{:>9}\n", "ink levels", "mean", "95%", "max");
    for (std::size_t i = 0; i < c.inks.size(); ++i)
        out << spreadRow(names[i], c.inks[i]);
    if (c.deltaE)
        out << spreadRow("dE00", *c.deltaE);
    out << fmt::format("  more than {:g} levels off in any ink: {:.2f} %\n", kVisibleInkMiss,
                       100 * c.shareOff);
}

nlohmann::ordered_json spreadJson(const Spread& s) {
    return {{"mean", s.mean}, {"p95", s.p95}, {"max", s.max}};
}

nlohmann::ordered_json setJson(const SampleSet& set, const InkComparison& c,
                               const std::vector<std::string>& names) {
    nlohmann::ordered_json inks = nlohmann::ordered_json::object();
    for (std::size_t i = 0; i < c.inks.size(); ++i)
        inks[names[i]] = spreadJson(c.inks[i]);
    nlohmann::ordered_json j = {
        {"name", set.name}, {"samples", c.samples}, {"inks", inks}, {"shareOff", c.shareOff}};
    if (c.deltaE)
        j["deltaE00"] = spreadJson(*c.deltaE);
    return j;
}

std::string headline(const CompareOptions& o, int method) {
    const int inks = inkCountFor(method);
    std::string text =
        o.againstProfile.empty()
            ? fmt::format("'{}' against '{}', {} inks", o.first, o.second, inks)
            : fmt::format("'{}' against lcms2 (float, unoptimised) from sRGB to '{}', {}{}",
                          o.first, o.againstProfile, o.intent,
                          o.blackPointCompensation ? " with black point compensation" : "");
    const std::string& profile = o.againstProfile.empty() ? o.outputProfile : o.againstProfile;
    if (!profile.empty())
        text += "\ndE00: both ink sets through '" + profile + "' to CIELAB, relative colorimetric";
    return text + "\nabsolute differences in ink levels (0-255)";
}

} // namespace

void runCompare(const CompareOptions& o, std::ostream& out) {
    checkCompareOptions(o);
    if (!o.againstProfile.empty())
        intentOf(o.intent);
    std::optional<CmykReference> profile;
    if (!o.againstProfile.empty())
        profile.emplace(o.againstProfile, "--against-profile");
    else if (!o.outputProfile.empty())
        profile.emplace(o.outputProfile, "--output-profile");
    std::vector<SampleSet> sets{srgbGrid()};
    if (!o.image.empty())
        sets.push_back(imagePixels(o.image));
    int method = 0;
    std::vector<InkComparison> results;
    for (const auto& set : sets)
        results.push_back(compareSet(o, set, profile ? &*profile : nullptr, method));
    const auto names = inkNamesFor(method);
    if (o.json) {
        nlohmann::ordered_json j = {{"inks", names}, {"sets", nlohmann::ordered_json::array()}};
        for (std::size_t i = 0; i < sets.size(); ++i)
            j["sets"].push_back(setJson(sets[i], results[i], names));
        out << j.dump(2) << "\n";
        return;
    }
    out << headline(o, method) << "\n";
    for (std::size_t i = 0; i < sets.size(); ++i)
        printTable(sets[i], results[i], names, out);
}

void addCompareCommand(CLI::App* db) {
    auto options = std::make_shared<CompareOptions>();
    CompareOptions& o = *options;
    auto* compare = db->add_subcommand(
        "compare", "Compare the inks two databases give the same colours, or a database's "
                   "inks with lcms2's transform into a CMYK profile");
    compare->add_option("A", o.first, "database")->required();
    compare->add_option("B", o.second, "database to compare with");
    addProfileSelectionOptions(compare, o.settings);
    compare->add_option("--output-profile", o.outputProfile,
                        "CMYK profile: also report CIEDE2000 of the two ink sets (four inks)");
    compare->add_option("--against-profile", o.againstProfile,
                        "CMYK profile: compare with lcms2's float transform from sRGB into it");
    compare
        ->add_option("--intent", o.intent,
                     "intent of that transform: perceptual, relative, saturation, absolute")
        ->capture_default_str();
    compare->add_flag("--bpc", o.blackPointCompensation,
                      "black point compensation in that transform");
    compare->add_option(
        "--image", o.image,
        "also compare over this image's pixels (read in sRGB, as convert reads it)");
    compare->add_flag("--json", o.json, "write the statistics as JSON");
    compare->footer(fmt::format(
        "The colours are the sRGB grid of every {}th level (52 x 52 x 52) and, with --image, the "
        "image's pixels. For each ink: the mean, the 95th percentile and the maximum absolute "
        "difference in levels (0-255), and the share of colours more than {:g} levels off in any "
        "ink; with a CMYK profile the same for CIEDE2000, both ink sets taken through the "
        "profile to CIELAB (relative colorimetric).",
        kGridStep, kVisibleInkMiss));
    compare->callback([options] {
        warnAboutSettings(options->settings, std::cerr);
        runCompare(*options, std::cout);
    });
}

} // namespace vrel::cli
