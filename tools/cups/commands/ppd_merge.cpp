#include "ppd_merge.h"

#include "cli_error.h"
#include "ppd_options.h"
#include "ppd_text.h"

#include <fmt/format.h>
#include <sstream>

namespace vrel::cli {

namespace {

// The ink raster between the stages: black first, 8 bits (raster format 1),
// the driver's own channel order.
constexpr int kBlackFirstFormat = 1;

struct MergeState {
    std::string printerFilter; // the raster filter the printer's PPD named
    bool rawChoice = false, rgbChoice = false;
};

bool startsWith(const std::string& line, const std::string& prefix) {
    return line.compare(0, prefix.size(), prefix) == 0;
}

// The choice keyword of a "*Option Choice/Text: code" line.
std::string choiceOf(const std::string& line, const std::string& option) {
    const std::size_t start = option.size() + 2;
    return line.substr(start, line.find_first_of("/:", start) - start);
}

// A "*cupsFilter" or "*cupsFilter2" line for CUPS raster with its program
// replaced by the bridge; the program it named goes into the state.
std::string bridgeFilterLine(const std::string& line, MergeState* state) {
    const std::size_t close = line.rfind('"');
    const std::size_t space = line.rfind(' ', close);
    if (close == std::string::npos || space == std::string::npos)
        return line;
    state->printerFilter = line.substr(space + 1, close - space - 1);
    if (state->printerFilter == kBridgeFilter)
        throw CliError("the printer's PPD already prints through " + std::string(kBridgeFilter));
    return line.substr(0, space + 1) + kBridgeFilter + line.substr(close);
}

// Whether a choice line of an option cut down to the one choice `kept`
// stays; *seen tells that the choice was found.
bool keepsOnly(const std::string& line, const std::string& option, const std::string& kept,
               bool* seen) {
    const bool keeps = choiceOf(line, option) == kept;
    *seen = *seen || keeps;
    return keeps;
}

// A default keyword's line set to `choice`.
std::string withDefault(const std::string& line, const std::string& choice) {
    return line.substr(0, line.find(':') + 1) + " " + choice;
}

// Whether the line stays; a line that stays may be rewritten in place.
bool mergeLine(std::string* line, MergeState* state) {
    const std::string& l = *line;
    if (startsWith(l, ppdtext::kDatabaseKeyword.data()))
        throw CliError("the printer's PPD holds vrel's options already");
    if ((startsWith(l, "*cupsFilter:") || startsWith(l, "*cupsFilter2:")) &&
        l.find("\"application/vnd.cups-raster ") != std::string::npos)
        *line = bridgeFilterLine(l, state);
    else if (startsWith(l, "*DefaultStpColorCorrection:") ||
             startsWith(l, "*StpDefaultStpColorCorrection:"))
        *line = withDefault(l, "Raw");
    else if (startsWith(l, "*DefaultColorModel:") || startsWith(l, "*StpDefaultColorModel:"))
        *line = withDefault(l, "RGB");
    else if (startsWith(l, "*StpColorCorrection "))
        return keepsOnly(l, "StpColorCorrection", "Raw", &state->rawChoice);
    else if (startsWith(l, "*ColorModel "))
        return keepsOnly(l, "ColorModel", "RGB", &state->rgbChoice);
    else if (startsWith(l, "*NickName:") && l.rfind('"') > l.find('"'))
        line->insert(l.rfind('"'), ", vrel");
    else if (startsWith(l, "*cupsLanguages:")) // vrel's options are in English alone
        return false;
    else if ((startsWith(l, "*UIConstraints:") || startsWith(l, "*NonUIConstraints:")) &&
             (l.find("*StpColorCorrection") != std::string::npos ||
              l.find("*ColorModel") != std::string::npos))
        return false;
    return true;
}

void checkMerged(const PrinterPpd& printer, const MergeState& state) {
    const std::string ppd = "the printer's PPD '" + printer.path + "'";
    if (state.printerFilter.empty())
        throw CliError(ppd + " names no filter for CUPS raster (*cupsFilter with "
                             "application/vnd.cups-raster)");
    if (!state.rawChoice)
        throw CliError(ppd + " has no StpColorCorrection choice Raw: its driver would correct "
                             "vrel's colour a second time");
    if (!state.rgbChoice)
        throw CliError(ppd + " has no ColorModel choice RGB");
}

void writeVrelBlock(std::ostream& out, const MergeSource& source, const MergeState& state,
                    const std::vector<InkSet>& sets) {
    out << "*% vrel colour, added by 'vrel ppd' from " << ppdtext::commentText(source.databaseName)
        << ": pages are rendered in RGB,\n"
        << "*% turned into ink amounts by the vrel database and printed by " << state.printerFilter
        << "\n*% with its colour correction Raw, which takes them as "
        << "given.\n"
        << ppdtext::kDatabaseKeyword << "\"" << source.databasePath << "\"\n"
        << "*vrelPrinterFilter: \"" << state.printerFilter << "\"\n\n"
        << "*OpenGroup: Vrel/vrel Colour\n\n";
    writeVrelOptions(out, sets, VrelOptionStyle{kBlackFirstFormat});
    out << "*CloseGroup: Vrel\n\n";
}

} // namespace

std::vector<InkSet> driverInkSets(const std::vector<InkSet>& sets, std::ostream& warnings) {
    std::vector<InkSet> kept;
    for (const auto& set : sets) {
        if (inkCount(set.method) <= 4) {
            kept.push_back(set);
            continue;
        }
        warnings << fmt::format("vrel: warning: ink set '{}' ({} inks) left out: the printer "
                                "driver reads at most four ink channels\n",
                                set.text, inkCount(set.method));
    }
    if (kept.empty())
        throw CliError("the database has no ink set of black only or four inks, the most the "
                       "printer driver reads");
    return kept;
}

std::string mergePrinterPpd(const PrinterPpd& printer, const MergeSource& source,
                            const std::vector<InkSet>& sets) {
    MergeState state;
    std::vector<std::string> lines;
    std::istringstream in(printer.text);
    for (std::string line; std::getline(in, line);)
        if (mergeLine(&line, &state))
            lines.push_back(std::move(line));
    checkMerged(printer, state);
    // The vrel block goes before a closing "*% End of" comment, else last.
    std::size_t end = lines.size();
    while (end > 0 && lines[end - 1].empty())
        --end;
    if (end > 0 && startsWith(lines[end - 1], "*% End of"))
        --end;
    std::ostringstream out;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (i == end)
            writeVrelBlock(out, source, state, sets);
        out << lines[i] << "\n";
    }
    if (end == lines.size())
        writeVrelBlock(out, source, state, sets);
    return out.str();
}

} // namespace vrel::cli
