#include "ppd_options.h"

#include "common/page_slots.h"
#include "ppd_text.h"

#include <fmt/format.h>
#include <sstream>

namespace vrel::cli {

namespace {

namespace slots = vrel::tools::slots;
using slots::integerSlot;
using slots::realSlot;

// PostScript code that sets one integer slot of the page header.
std::string slotCode(int slot, unsigned value) {
    return fmt::format("/{} {}", integerSlot(slot), value);
}

// The code of a colour adjustment choice: its switch and table selector.
std::string adjustment(unsigned adjustSwitch, unsigned tableSelector) {
    return slotCode(slots::kAdjustSwitch, adjustSwitch) +
           slotCode(slots::kTableSelector, tableSelector);
}

// Five levels of a signed value passed as a real number.
PpdChoices levels(const std::string& field) {
    PpdChoices choices;
    for (int v : {-20, -10, 0, 10, 20}) {
        const std::string choice = v < 0   ? fmt::format("Minus{}/{}", -v, v)
                                   : v > 0 ? fmt::format("Plus{}/+{}", v, v)
                                           : "Normal/Normal";
        choices.emplace_back(choice, fmt::format("/{} {}", field, v));
    }
    return choices;
}

// An ink set's choice, "keyword/translation", its translation cut so that the
// option's line keeps within a PPD line.
std::string inkSetChoice(const std::string& option, const InkSet& set, const std::string& code) {
    const std::size_t fixed =
        ("*" + option + " " + set.keyword + "/: \"<<" + code + ">>setpagedevice\"").size();
    return set.keyword + "/" + ppdtext::translation(set.text, ppdtext::kLineLimit - fixed);
}

// The code that selects the ink set: profile number and key fields.
std::string inkSetCode(const InkSet& set, const VrelOptionStyle& style) {
    const ParamRecord& p = set.params;
    std::ostringstream code;
    const std::pair<int, unsigned> fields[] = {
        {slots::kProfileNumber, p.profileNumber}, {slots::kKeyField14, p.keyField14},
        {slots::kKeyField16, p.keyField16},       {slots::kKeyField94, p.keyField94},
        {slots::kKeyField104, p.keyField104},     {slots::kKeyField106, p.keyField106},
        {slots::kKeyField108, p.keyField108}};
    for (const auto& [slot, value] : fields)
        code << slotCode(slot, value);
    // The black-only method converts grey: such ink sets render grey pages.
    if (set.method == VrelMethodBlack)
        code << "/cupsColorSpace 0";
    if (style.fixedRasterFormat >= 0)
        code << slotCode(slots::kRasterFormat, static_cast<unsigned>(style.fixedRasterFormat));
    return code.str();
}

// The ink set option; its default is the first four-ink set, else the first.
void writeInkSetOption(std::ostream& out, const std::vector<InkSet>& sets,
                       const VrelOptionStyle& style) {
    PpdChoices choices;
    std::string defaultSet = sets.front().keyword;
    bool defaultIsFour = sets.front().method == VrelMethodFourColor;
    for (const auto& set : sets) {
        const std::string code = inkSetCode(set, style);
        choices.emplace_back(inkSetChoice("VrelInkSet", set, code), code);
        if (!defaultIsFour && set.method == VrelMethodFourColor) {
            defaultSet = set.keyword;
            defaultIsFour = true;
        }
    }
    writeOption(out, "VrelInkSet", "Ink Set and Media", 20, defaultSet, choices);
}

void writeRasterOptions(std::ostream& out) {
    writeOption(
        out, "VrelRasterFormat", "Ink Raster", 20, "CMYK",
        {{"CMYK/Cyan first, 8 bits", slotCode(slots::kRasterFormat, 0)},
         {"KCMY/Black first, 8 bits", slotCode(slots::kRasterFormat, 1)},
         {"Bilevel/Cyan first, 1 bit, on-dot black", slotCode(slots::kRasterFormat, 2)},
         {"BilevelKCMY/Black first, 1 bit, on-dot black", slotCode(slots::kRasterFormat, 3)}});
    writeOption(out, "VrelColorOrder", "Ink Order", 20, "Chunked",
                {{"Chunked/Chunked (CMYK CMYK)", slotCode(slots::kColourOrder, 0)},
                 {"Banded/Banded (CCC MMM per line)", slotCode(slots::kColourOrder, 1)},
                 {"Planar/Planar (one page per ink)", slotCode(slots::kColourOrder, 2)}});
}

} // namespace

void writeOption(std::ostream& out, const std::string& keyword, const std::string& text, int order,
                 const std::string& defaultChoice, const PpdChoices& choices) {
    out << "*OpenUI *" << keyword << "/" << text << ": PickOne\n"
        << "*OrderDependency: " << order << " AnySetup *" << keyword << "\n"
        << "*Default" << keyword << ": " << defaultChoice << "\n";
    for (const auto& [choice, code] : choices)
        out << "*" << keyword << " " << choice << ": \"<<" << code << ">>setpagedevice\"\n";
    out << "*CloseUI: *" << keyword << "\n\n";
}

void writeVrelOptions(std::ostream& out, const std::vector<InkSet>& sets,
                      const VrelOptionStyle& style) {
    writeInkSetOption(out, sets, style);
    if (style.fixedRasterFormat < 0)
        writeRasterOptions(out);
    bool anyCorrection = false;
    for (const auto& set : sets)
        anyCorrection = anyCorrection || set.hasCorrection;
    if (anyCorrection)
        writeOption(out, "VrelAdjustment", "Colour Adjustment", 20, "None",
                    {{"None/None", adjustment(0, 0)},
                     {"Table1/Correction table 1", adjustment(1, 0)},
                     {"Table2/Correction table 2", adjustment(1, 2)},
                     {"Table3/Correction table 3", adjustment(1, 3)}});
    writeOption(out, "VrelDensity", "Density", 20, "Normal", levels(realSlot(slots::kDensity)));
    const char* inks[] = {"Cyan", "Magenta", "Yellow", "Black"};
    for (int k = 0; k < 4; ++k)
        writeOption(out, std::string("VrelBalance") + inks[k],
                    std::string(inks[k]) + " Balance (with a colour adjustment)", 20, "Normal",
                    levels(realSlot(slots::kFirstBalance + k)));
}

} // namespace vrel::cli
