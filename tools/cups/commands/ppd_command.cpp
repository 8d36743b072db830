#include "ppd_command.h"

#include "cli_error.h"
#include "common/name_text.h"
#include "common/page_slots.h"
#include "files/output_set.h"
#include "ppd_probe.h"
#include "ppd_text.h"
#include "resources/database_format.h"

#include <cctype>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <sstream>
#include <unordered_set>
#include <vector>
#include <vrel/dbwriter.h>
#include <vrel/vrel.h>

namespace vrel::cli {

namespace {

using namespace vrel::dbwriter;
namespace slots = vrel::tools::slots;
using slots::integerSlot;
using slots::realSlot;

struct InkSet {
    ParamRecord params{};
    int method = 0;
    std::string keyword, text;
    bool hasCorrection = false;
};

// The bytes of a name up to its first zero byte.
std::string bytesOf(const Name24& name) {
    return std::string(tools::nameText(name.data(), name.size()));
}

// A choice keyword: the letters and digits of the name (32 at most, a letter
// first), else InkSetN; _N added when another ink set has it already.
std::string keywordFor(const std::string& name, std::unordered_set<std::string>* taken,
                       int number) {
    std::string keyword = ppdtext::keywordLetters(name, 32);
    if (keyword.empty() || !std::isalpha(static_cast<unsigned char>(keyword[0])))
        keyword = "InkSet" + std::to_string(number);
    if (!taken->insert(keyword).second) {
        keyword += "_" + std::to_string(number);
        taken->insert(keyword);
    }
    return keyword;
}

// PostScript code that sets one integer slot of the page header.
std::string slotCode(int slot, unsigned value) {
    return "/" + integerSlot(slot) + " " + std::to_string(value);
}

// The code of a colour adjustment choice: its switch and table selector.
std::string adjustment(unsigned adjustSwitch, unsigned tableSelector) {
    return slotCode(slots::kAdjustSwitch, adjustSwitch) +
           slotCode(slots::kTableSelector, tableSelector);
}

bool printsWith(int method) {
    return method == VrelMethodBlack || method == VrelMethodFourColor ||
           method == VrelMethodSixColor || method == VrelMethodSevenColor;
}

// The ink sets of one profile index record. VrelInit takes the first entry
// with the key it composes, so a later entry with the same key is never
// opened and gives no ink set.
void addInkSets(const Database& db, std::size_t recordIndex, const std::filesystem::path& path,
                std::unordered_set<std::string>* keywords, std::vector<InkSet>* sets) {
    const Record& record = db.records[recordIndex];
    const auto& index = std::get<ProfileIndex>(record.content);
    if (index.entries.empty())
        return;
    const int layout = decodeLayout(index.layoutWord);
    EntryProbe probe(db, recordIndex, path);
    std::unordered_set<uint32_t> keys;
    for (const auto& entry : index.entries) {
        InkSet set;
        set.params.profileNumber = static_cast<uint16_t>(record.id - kProfileIdBase);
        if (!keys.insert(entry.key).second ||
            !vrel::format::splitProfileKey(entry.key, layout, &set.params))
            continue;
        set.method = probe.method(entry, set.params);
        if (!printsWith(set.method))
            continue;
        const int number = static_cast<int>(sets->size()) + 1;
        set.text = bytesOf(entry.name2).empty() ? bytesOf(entry.name1) : bytesOf(entry.name2);
        if (set.text.empty())
            set.text = "Profile " + std::to_string(set.params.profileNumber) + ", ink set " +
                       std::to_string(number);
        const std::string name1 = bytesOf(entry.name1);
        set.keyword = keywordFor(name1.empty() ? set.text : name1, keywords, number);
        set.hasCorrection = (entry.tableIds[0] & 0xffff) != 0;
        sets->push_back(std::move(set));
    }
}

// Every profile index record's ink sets; VrelInit reads the first record
// with an id, so a later one with the same id is left out.
std::vector<InkSet> inkSets(const Database& db, const std::filesystem::path& path) {
    std::vector<InkSet> sets;
    std::unordered_set<std::string> keywords;
    std::unordered_set<uint16_t> ids;
    for (std::size_t i = 0; i < db.records.size(); ++i) {
        const Record& record = db.records[i];
        if (record.recordClass != kProfileClass || !ids.insert(record.id).second ||
            !std::holds_alternative<ProfileIndex>(record.content))
            continue;
        addInkSets(db, i, path, &keywords, &sets);
    }
    return sets;
}

// The model name: --model, else the database's extension name, else the
// database file's stem; those two keep only the characters --model takes.
std::string modelText(const PpdOptions& options, const Database& db,
                      const std::filesystem::path& path) {
    if (!options.model.empty())
        return ppdtext::modelText(options.model);
    for (const auto& record : db.records)
        if (const auto* ext = std::get_if<ExtensionChunk>(&record.content))
            if (const auto name = ppdtext::cleanModelText(bytesOf(ext->extName1)); !name.empty())
                return name;
    const std::string stem = ppdtext::cleanModelText(path.stem().string());
    return stem.empty() ? "vrel printer" : stem;
}

void option(std::ostream& out, const std::string& keyword, const std::string& text, int order,
            const std::string& defaultChoice,
            const std::vector<std::pair<std::string, std::string>>& choices) {
    out << "*OpenUI *" << keyword << "/" << text << ": PickOne\n"
        << "*OrderDependency: " << order << " AnySetup *" << keyword << "\n"
        << "*Default" << keyword << ": " << defaultChoice << "\n";
    for (const auto& [choice, code] : choices)
        out << "*" << keyword << " " << choice << ": \"<<" << code << ">>setpagedevice\"\n";
    out << "*CloseUI: *" << keyword << "\n\n";
}

// Five levels of a signed value passed as a real number.
std::vector<std::pair<std::string, std::string>> levels(const std::string& field) {
    std::vector<std::pair<std::string, std::string>> choices;
    for (int v : {-20, -10, 0, 10, 20}) {
        const std::string name = v < 0   ? "Minus" + std::to_string(-v)
                                 : v > 0 ? "Plus" + std::to_string(v)
                                         : "Normal";
        const std::string text = v == 0 ? "Normal" : (v > 0 ? "+" : "") + std::to_string(v);
        choices.emplace_back(name + "/" + text, "/" + field + " " + std::to_string(v));
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

} // namespace

std::string makePpd(const PpdOptions& options) {
    const std::filesystem::path path = options.database;
    std::string error;
    std::ifstream probe(path, std::ios::binary);
    if (!probe)
        throw CliError("cannot open database '" + options.database + "'");
    const auto db = readDatabaseFile(path, &error);
    if (!db)
        throw CliError("cannot read database '" + options.database + "': " + error);
    const std::string model = modelText(options, *db, path);
    const std::string modelName = ppdtext::modelNameValue(model);
    const std::string recorded = options.databasePath.empty()
                                     ? std::filesystem::absolute(path).lexically_normal().string()
                                     : options.databasePath;
    ppdtext::checkDatabasePath(recorded);
    const auto sets = inkSets(*db, path);
    if (sets.empty())
        throw CliError(
            "database '" + options.database +
            "' has no profile with black, four, six or seven inks that the engine opens");

    std::ostringstream out;
    out << "*PPD-Adobe: \"4.3\"\n"
        << "*% " << model << ": written by 'vrel ppd' from "
        << ppdtext::commentText(path.filename().string()) << ".\n"
        << "*% The options reach rastertovrel through the raster page header:\n"
        << "*% " << integerSlot(slots::kProfileNumber) << " profile number, "
        << integerSlot(slots::kKeyField14) << "-" << slots::kKeyField108
        << " key fields 14, 16, 94, 104, 106, 108,\n*% " << integerSlot(slots::kAdjustSwitch)
        << " adjustment switch, " << integerSlot(slots::kTableSelector) << " table selector, "
        << integerSlot(slots::kColourOrder) << " colour\n*% order, "
        << integerSlot(slots::kRasterFormat) << " raster format, " << realSlot(slots::kDensity)
        << " density, " << realSlot(slots::kFirstBalance) << "-" << slots::kFirstBalance + 3
        << " balance.\n"
        << "*FormatVersion: \"4.3\"\n*FileVersion: \"1.0\"\n*LanguageVersion: English\n"
        << "*LanguageEncoding: ISOLatin1\n*PCFileName: \"VREL.PPD\"\n*Manufacturer: \"vrel\"\n"
        << "*Product: \"(" << modelName << ")\"\n*ModelName: \"" << modelName << "\"\n"
        << "*ShortNickName: \"" << ppdtext::shortNickName(model) << "\"\n"
        << "*NickName: \"" << model << ", vrel\"\n"
        << "*PSVersion: \"(3010.000) 0\"\n*LanguageLevel: \"3\"\n*ColorDevice: True\n"
        << "*DefaultColorSpace: RGB\n*FileSystem: False\n*Throughput: \"1\"\n"
        << "*LandscapeOrientation: Plus90\n*TTRasterizer: Type42\n*cupsVersion: 2.4\n"
        << "*cupsModelNumber: 0\n*cupsManualCopies: True\n"
        << "*cupsFilter2: \"application/vnd.cups-raster application/vnd.vrel-ink-raster 0 "
           "rastertovrel\"\n"
        << ppdtext::kDatabaseKeyword << "\"" << recorded << "\"\n\n";

    const std::vector<std::pair<std::string, std::string>> sizes = {
        {"A4/A4", "595 842"}, {"Letter/US Letter", "612 792"}};
    for (const char* keyword : {"PageSize", "PageRegion"}) {
        std::vector<std::pair<std::string, std::string>> choices;
        for (const auto& [name, size] : sizes)
            choices.emplace_back(name, "/PageSize[" + size + "]/ImagingBBox null");
        option(out, keyword, keyword == std::string("PageSize") ? "Page Size" : "Page Region", 10,
               "A4", choices);
    }
    out << "*DefaultImageableArea: A4\n";
    for (const auto& [name, size] : sizes)
        out << "*ImageableArea " << name << ": \"0 0 " << size << "\"\n";
    out << "*DefaultPaperDimension: A4\n";
    for (const auto& [name, size] : sizes)
        out << "*PaperDimension " << name << ": \"" << size << "\"\n";
    out << "\n";
    option(out, "Resolution", "Resolution", 10, "300dpi",
           {{"150dpi/150 dpi", "/HWResolution[150 150]"},
            {"300dpi/300 dpi", "/HWResolution[300 300]"},
            {"600dpi/600 dpi", "/HWResolution[600 600]"}});
    option(out, "ColorModel", "Colour Mode", 10, "RGB",
           {{"RGB/Colour", "/cupsColorSpace 1/cupsBitsPerColor 8/cupsColorOrder 0"},
            {"Gray/Grey", "/cupsColorSpace 0/cupsBitsPerColor 8/cupsColorOrder 0"}});

    std::vector<std::pair<std::string, std::string>> inkChoices;
    std::string defaultSet = sets.front().keyword;
    bool defaultIsFour = sets.front().method == VrelMethodFourColor;
    bool anyCorrection = false;
    for (const auto& set : sets) {
        const ParamRecord& p = set.params;
        std::ostringstream code;
        const std::pair<int, unsigned> fields[] = {
            {slots::kProfileNumber, p.profileNumber}, {slots::kKeyField14, p.keyField14},
            {slots::kKeyField16, p.keyField16},       {slots::kKeyField94, p.keyField94},
            {slots::kKeyField104, p.keyField104},     {slots::kKeyField106, p.keyField106},
            {slots::kKeyField108, p.keyField108}};
        for (const auto& [slot, value] : fields)
            code << "/" << integerSlot(slot) << " " << value;
        // The black-only method converts grey: such ink sets render grey pages.
        if (set.method == VrelMethodBlack)
            code << "/cupsColorSpace 0";
        inkChoices.emplace_back(inkSetChoice("VrelInkSet", set, code.str()), code.str());
        if (!defaultIsFour && set.method == VrelMethodFourColor) {
            defaultSet = set.keyword;
            defaultIsFour = true;
        }
        anyCorrection = anyCorrection || set.hasCorrection;
    }
    option(out, "VrelInkSet", "Ink Set and Media", 20, defaultSet, inkChoices);
    option(out, "VrelRasterFormat", "Ink Raster", 20, "CMYK",
           {{"CMYK/Cyan first, 8 bits", slotCode(slots::kRasterFormat, 0)},
            {"KCMY/Black first, 8 bits", slotCode(slots::kRasterFormat, 1)},
            {"Bilevel/Cyan first, 1 bit, on-dot black", slotCode(slots::kRasterFormat, 2)},
            {"BilevelKCMY/Black first, 1 bit, on-dot black", slotCode(slots::kRasterFormat, 3)}});
    option(out, "VrelColorOrder", "Ink Order", 20, "Chunked",
           {{"Chunked/Chunked (CMYK CMYK)", slotCode(slots::kColourOrder, 0)},
            {"Banded/Banded (CCC MMM per line)", slotCode(slots::kColourOrder, 1)},
            {"Planar/Planar (one page per ink)", slotCode(slots::kColourOrder, 2)}});
    if (anyCorrection)
        option(out, "VrelAdjustment", "Colour Adjustment", 20, "None",
               {{"None/None", adjustment(0, 0)},
                {"Table1/Correction table 1", adjustment(1, 0)},
                {"Table2/Correction table 2", adjustment(1, 2)},
                {"Table3/Correction table 3", adjustment(1, 3)}});
    option(out, "VrelDensity", "Density", 20, "Normal", levels(realSlot(slots::kDensity)));
    const char* inks[] = {"Cyan", "Magenta", "Yellow", "Black"};
    for (int k = 0; k < 4; ++k)
        option(out, std::string("VrelBalance") + inks[k],
               std::string(inks[k]) + " Balance (with a colour adjustment)", 20, "Normal",
               levels(realSlot(slots::kFirstBalance + k)));
    out << "*% End of the PPD\n";
    return out.str();
}

void addPpdCommand(CLI::App& app) {
    auto options = std::make_shared<PpdOptions>();
    PpdOptions& o = *options;
    auto* ppd = app.add_subcommand(
        "ppd", "Write a PPD for the CUPS filter rastertovrel from a database's profiles");
    ppd->add_option("--db", o.database, "profile database file")->required();
    ppd->add_option("--database-path", o.databasePath,
                    "path the PPD gives for the database, byte for byte: no control character "
                    "or '\"' (default: the absolute path of --db; a relative path is taken from "
                    "the PPD's folder)");
    ppd->add_option("--model", o.model,
                    "printer model name: up to 128 ISO Latin-1 characters, no control character, "
                    "'\"', '<' or '>' (default: the database's own name)");
    ppd->add_option("-o,--output", o.output, "PPD file to write (default: standard output)");
    ppd->callback([options] {
        const PpdOptions& o = *options;
        const std::string text = makePpd(o);
        if (o.output.empty() || o.output == "-") {
            std::cout << text;
            return;
        }
        OutputSet set;
        set.add(o.output).write(text.data(), text.size());
        set.commit();
    });
}

} // namespace vrel::cli
