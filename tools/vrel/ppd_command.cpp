#include "ppd_command.h"

#include "cli_error.h"
#include "output_set.h"

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <sstream>
#include <vector>
#include <vrel/dbwriter.h>
#include <vrel/vrel.h>

namespace vrel::cli {

namespace {

using namespace vrel::dbwriter;

struct InkSet {
    ParamRecord params{};
    int method = 0;
    std::string keyword, text;
    bool hasCorrection = false;
};

std::string nameOf(const Name24& name) {
    std::string text;
    for (auto b : name) {
        if (b == 0)
            break;
        if (b >= 0x20 && b < 0x7f && b != '"' && b != '/' && b != ':')
            text.push_back(static_cast<char>(b));
    }
    return text;
}

// A PPD option keyword: letters and digits of the name, unique in the list.
std::string keywordFor(const std::string& name, const std::vector<InkSet>& taken, int number) {
    std::string keyword;
    for (char c : name)
        if (std::isalnum(static_cast<unsigned char>(c)) && keyword.size() < 32)
            keyword.push_back(c);
    if (keyword.empty() || !std::isalpha(static_cast<unsigned char>(keyword[0])))
        keyword = "InkSet" + std::to_string(number);
    for (const auto& set : taken)
        if (set.keyword == keyword)
            return keyword + "_" + std::to_string(number);
    return keyword;
}

// The key fields that pack into this key, or false when none do.
bool keyFields(uint32_t key, int layout, ParamRecord* params) {
    params->keyField94 = static_cast<uint16_t>(key & 0x1f);
    params->keyField14 = static_cast<uint16_t>((key >> 5) & 0x1ff);
    params->keyField16 = static_cast<uint16_t>((key >> 14) & 3);
    if (layout == 2) {
        params->keyField104 = static_cast<uint16_t>((key >> 16) & 0x1f);
        params->keyField106 = static_cast<uint16_t>((key >> 21) & 3);
        params->keyField108 = static_cast<uint16_t>((key >> 23) & 3);
    } else {
        params->keyField104 = static_cast<uint16_t>((key >> 16) & 0xff);
    }
    return profileKey(*params, layout) == key;
}

// The conversion method the engine gives for params, or a negative result.
int openedMethod(ParamRecord params, const std::filesystem::path& database) {
    const std::string name = database.filename().string();
    const std::string directory = database.parent_path().string();
    if (name.size() > sizeof params.databaseName)
        throw CliError("the database file name '" + name + "' is longer than 20 bytes");
    std::memcpy(params.databaseName, name.data(), name.size());
    params.directoryName = directory.empty() ? nullptr : directory.c_str();
    EngineContext* context = nullptr;
    const VrelResult opened = VrelInit(&context, &params);
    if (opened != VREL_OK && opened != VREL_OK_ADJUST)
        return opened < 0 ? opened : VREL_ERR_PARAM;
    const int method = VrelInitColorConversion(context, VrelModeDirect, nullptr);
    VrelClose(context);
    return method;
}

std::vector<InkSet> inkSets(const Database& db, const std::filesystem::path& path) {
    std::vector<InkSet> sets;
    for (const auto& record : db.records) {
        const auto* index = std::get_if<ProfileIndex>(&record.content);
        if (index == nullptr || record.recordClass != kProfileClass)
            continue;
        const int layout = decodeLayout(index->layoutWord);
        for (const auto& entry : index->entries) {
            InkSet set;
            set.params.profileNumber = static_cast<uint16_t>(record.id - kProfileIdBase);
            if (!keyFields(entry.key, layout, &set.params))
                continue;
            set.method = openedMethod(set.params, path);
            if (set.method != VrelMethodBlack && set.method != VrelMethodFourColor &&
                set.method != VrelMethodSixColor && set.method != VrelMethodSevenColor)
                continue;
            std::string text = nameOf(entry.name2);
            if (text.empty())
                text = nameOf(entry.name1);
            const int number = static_cast<int>(sets.size()) + 1;
            if (text.empty())
                text = "Profile " + std::to_string(set.params.profileNumber) + ", ink set " +
                       std::to_string(number);
            set.keyword =
                keywordFor(nameOf(entry.name1).empty() ? text : nameOf(entry.name1), sets, number);
            set.text = text;
            set.hasCorrection = (entry.tableIds[0] & 0xffff) != 0;
            sets.push_back(set);
        }
    }
    return sets;
}

std::string modelName(const Database& db, const std::filesystem::path& path) {
    for (const auto& record : db.records)
        if (const auto* ext = std::get_if<ExtensionChunk>(&record.content))
            if (const std::string name = nameOf(ext->extName1); !name.empty())
                return name;
    return path.stem().string();
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
    const auto sets = inkSets(*db, path);
    if (sets.empty())
        throw CliError(
            "database '" + options.database +
            "' has no profile with black, four, six or seven inks that the engine opens");
    const std::string model = options.model.empty() ? modelName(*db, path) : options.model;
    const std::string recorded = options.databasePath.empty()
                                     ? std::filesystem::absolute(path).lexically_normal().string()
                                     : options.databasePath;

    std::ostringstream out;
    out << "*PPD-Adobe: \"4.3\"\n"
        << "*% " << model << ": written by 'vrel ppd' from " << path.filename().string() << ".\n"
        << "*% The options reach rastertovrel through the raster page header:\n"
        << "*% cupsInteger0 profile number, cupsInteger1-6 key fields 14, 16, 94, 104, 106, 108,\n"
        << "*% cupsInteger7 adjustment switch, cupsInteger8 table selector, cupsInteger14 colour\n"
        << "*% order, cupsInteger15 raster format, cupsReal0 density, cupsReal1-4 balance.\n"
        << "*FormatVersion: \"4.3\"\n*FileVersion: \"1.0\"\n*LanguageVersion: English\n"
        << "*LanguageEncoding: ISOLatin1\n*PCFileName: \"VREL.PPD\"\n*Manufacturer: \"vrel\"\n"
        << "*Product: \"(" << model << ")\"\n*ModelName: \"" << model << "\"\n"
        << "*ShortNickName: \"" << model << "\"\n*NickName: \"" << model << ", vrel\"\n"
        << "*PSVersion: \"(3010.000) 0\"\n*LanguageLevel: \"3\"\n*ColorDevice: True\n"
        << "*DefaultColorSpace: RGB\n*FileSystem: False\n*Throughput: \"1\"\n"
        << "*LandscapeOrientation: Plus90\n*TTRasterizer: Type42\n*cupsVersion: 2.4\n"
        << "*cupsModelNumber: 0\n*cupsManualCopies: True\n"
        << "*cupsFilter2: \"application/vnd.cups-raster application/vnd.vrel-ink-raster 0 "
           "rastertovrel\"\n"
        << "*vrelDatabase: \"" << recorded << "\"\n\n";

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
        code << "/cupsInteger0 " << p.profileNumber << "/cupsInteger1 " << p.keyField14
             << "/cupsInteger2 " << p.keyField16 << "/cupsInteger3 " << p.keyField94
             << "/cupsInteger4 " << p.keyField104 << "/cupsInteger5 " << p.keyField106
             << "/cupsInteger6 " << p.keyField108;
        // The black-only method converts grey: such ink sets render grey pages.
        if (set.method == VrelMethodBlack)
            code << "/cupsColorSpace 0";
        inkChoices.emplace_back(set.keyword + "/" + set.text, code.str());
        if (!defaultIsFour && set.method == VrelMethodFourColor) {
            defaultSet = set.keyword;
            defaultIsFour = true;
        }
        anyCorrection = anyCorrection || set.hasCorrection;
    }
    option(out, "VrelInkSet", "Ink Set and Media", 20, defaultSet, inkChoices);
    option(out, "VrelRasterFormat", "Ink Raster", 20, "CMYK",
           {{"CMYK/Cyan first, 8 bits", "/cupsInteger15 0"},
            {"KCMY/Black first, 8 bits", "/cupsInteger15 1"},
            {"Bilevel/Cyan first, 1 bit, on-dot black", "/cupsInteger15 2"},
            {"BilevelKCMY/Black first, 1 bit, on-dot black", "/cupsInteger15 3"}});
    option(out, "VrelColorOrder", "Ink Order", 20, "Chunked",
           {{"Chunked/Chunked (CMYK CMYK)", "/cupsInteger14 0"},
            {"Banded/Banded (CCC MMM per line)", "/cupsInteger14 1"},
            {"Planar/Planar (one page per ink)", "/cupsInteger14 2"}});
    if (anyCorrection)
        option(out, "VrelAdjustment", "Colour Adjustment", 20, "None",
               {{"None/None", "/cupsInteger7 0/cupsInteger8 0"},
                {"Table1/Correction table 1", "/cupsInteger7 1/cupsInteger8 0"},
                {"Table2/Correction table 2", "/cupsInteger7 1/cupsInteger8 2"},
                {"Table3/Correction table 3", "/cupsInteger7 1/cupsInteger8 3"}});
    option(out, "VrelDensity", "Density", 20, "Normal", levels("cupsReal0"));
    const char* inks[] = {"Cyan", "Magenta", "Yellow", "Black"};
    for (int k = 0; k < 4; ++k)
        option(out, std::string("VrelBalance") + inks[k],
               std::string(inks[k]) + " Balance (with a colour adjustment)", 20, "Normal",
               levels("cupsReal" + std::to_string(k + 1)));
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
                    "path the PPD gives for the database (default: the absolute path of --db; "
                    "a relative path is taken from the PPD's folder)");
    ppd->add_option("--model", o.model, "printer model name (default: the database's own name)");
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
