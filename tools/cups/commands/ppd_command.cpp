#include "ppd_command.h"

#include "cli_error.h"
#include "common/page_slots.h"
#include "files/output_set.h"
#include "ppd_ink_sets.h"
#include "ppd_merge.h"
#include "ppd_options.h"
#include "ppd_template.h"
#include "ppd_text.h"

#include <filesystem>
#include <fmt/format.h>
#include <fstream>
#include <iostream>
#include <memory>
#include <sstream>
#include <vector>
#include <vrel/dbwriter.h>

namespace vrel::cli {

namespace {

using namespace vrel::dbwriter;
namespace slots = vrel::tools::slots;
using slots::integerSlot;
using slots::realSlot;

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

// The comment lines that name the page header slots the options set.
std::string slotComment() {
    return fmt::format("*% The options reach rastertovrel through the raster page header:\n"
                       "*% {} profile number, {}-{} key fields 14, 16, 94, 104, 106, 108,\n"
                       "*% {} adjustment switch, {} table selector, {} colour\n"
                       "*% order, {} raster format, {} density, {}-{} balance.\n",
                       integerSlot(slots::kProfileNumber), integerSlot(slots::kKeyField14),
                       slots::kKeyField108, integerSlot(slots::kAdjustSwitch),
                       integerSlot(slots::kTableSelector), integerSlot(slots::kColourOrder),
                       integerSlot(slots::kRasterFormat), realSlot(slots::kDensity),
                       realSlot(slots::kFirstBalance), slots::kFirstBalance + 3);
}

std::string readPrinterPpd(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw CliError("cannot open the printer's PPD '" + path + "'");
    std::string text{std::istreambuf_iterator<char>(in), {}};
    if (text.compare(0, 11, "*PPD-Adobe:") != 0)
        throw CliError("'" + path + "' is not a PPD (it does not start with *PPD-Adobe:)");
    return text;
}

// The PPD of rastertovrel's own queue.
std::string ownPpd(const std::filesystem::path& path, const std::string& model,
                   const std::vector<InkSet>& sets, const std::string& recorded) {
    std::ostringstream out;
    out << fillTemplate(ppdHeadTemplate(),
                        {{"model", model},
                         {"source", ppdtext::commentText(path.filename().string())},
                         {"slots", slotComment()},
                         {"modelName", ppdtext::modelNameValue(model)},
                         {"shortNickName", ppdtext::shortNickName(model)},
                         {"database", recorded}});
    writeVrelOptions(out, sets, {});
    out << "*% End of the PPD\n";
    return out.str();
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
    const bool merge = !options.printerPpd.empty();
    const std::string printerText = merge ? readPrinterPpd(options.printerPpd) : std::string();
    const std::string model = merge ? std::string() : modelText(options, *db, path);
    const std::string recorded = options.databasePath.empty()
                                     ? std::filesystem::absolute(path).lexically_normal().string()
                                     : options.databasePath;
    ppdtext::checkDatabasePath(recorded);
    const auto sets = inkSets(*db, path);
    if (sets.empty())
        throw CliError(
            "database '" + options.database +
            "' has no profile with black, four, six or seven inks that the engine opens");
    if (!merge)
        return ownPpd(path, model, sets, recorded);
    return mergePrinterPpd({options.printerPpd, printerText}, {path.filename().string(), recorded},
                           driverInkSets(sets, std::cerr));
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
    ppd->add_option("--printer-ppd", o.printerPpd,
                    "a Gutenprint printer's PPD to keep and put vrel's colour in front of (its "
                    "raster goes through rastertovrel-gutenprint; --model is not used)");
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
