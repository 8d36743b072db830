#include "info_command.h"

#include "convert/profile_name.h"
#include "interface/context_view.h"

#include <cstdio>
#include <iomanip>
#include <iostream>
#include <memory>

namespace vrel::cli {

namespace {

std::string nameText(const ShownName& name) {
    return "\"" + name.text + "\"" +
           (name.origin.empty() ? "" : " (" + name.origin + "; the name query answers empty)");
}

std::string searchText(const uint8_t* data) {
    char text[64];
    std::snprintf(text, sizeof text, "key %02x %02x %02x %02x, pair %u / %u", data[0], data[1],
                  data[2], data[3], static_cast<unsigned>(data[4] | data[5] << 8),
                  static_cast<unsigned>(data[6] | data[7] << 8));
    return text;
}

const char* methodName(int method) {
    switch (method) {
    case 1:
        return "black only";
    case 3:
        return "three channels (RGB out)";
    case 4:
        return "four inks";
    case 6:
        return "six inks";
    case 7:
        return "seven inks";
    }
    return "unknown";
}

} // namespace

void printProfileInfo(const ConversionOptions& o, std::ostream& out) {
    EngineSession session(o.settings, o.database);
    EngineContext* ctx = session.context();
    const int method = conversionMethodOf(ctx);
    const auto s = vrel::inspect::view(ctx);
    uint8_t search[8] = {}, searchC[8] = {};
    const uint32_t value = VrelGetSearchData(ctx, search, 0);
    const uint32_t valueC = VrelGetSearchDataC(ctx, searchC, 0);
    const auto name = shownProfileName(ctx, false);
    const auto nameC = shownProfileName(ctx, true);
    const auto& p = session.params();
    out << "database        " << o.database << "\n";
    out << "profile         number " << p.profileNumber << " (index record "
        << static_cast<uint16_t>(p.profileNumber + 1000) << "), layout " << s.layout
        << ", record flags 0x" << std::hex << std::setw(8) << std::setfill('0') << s.recordFlags
        << std::dec << std::setfill(' ') << "\n";
    out << "method          " << method << " (" << methodName(method) << "), " << s.channelCount
        << " channels in the profile\n";
    out << "name            " << nameText(name) << "\n";
    out << "search data     " << searchText(search) << "\n";
    out << "value           0x" << std::hex << std::setw(8) << std::setfill('0') << value
        << std::dec << std::setfill(' ') << "\n";
    if (s.flagExtension) {
        out << "record name     " << nameText(nameC) << " (the extension chunk answers above)\n";
        out << "record search   " << searchText(searchC) << "\n";
        out << "record value    0x" << std::hex << std::setw(8) << std::setfill('0') << valueC
            << std::dec << std::setfill(' ') << "\n";
    }
    const auto& g0 = s.conversion;
    const auto& g1 = s.correction;
    out << "conversion      ";
    if (g0.present)
        out << "chunk 0x" << std::hex << s.lutChunkId << std::dec << ", " << int(g0.channels)
            << " channels, " << int(g0.gridPoints) << " grid points\n";
    else
        out << "no table (black from the grey curve)\n";
    out << "correction      ";
    if (g1.present)
        out << "chunk 0x" << std::hex << s.correctionTableId << std::dec << ", "
            << int(g1.gridPoints) << " grid points, input kind " << s.inputKind << "\n";
    else
        out << "none\n";
    out << "grey curve      mode " << (s.adjustSwitch ? 2 : s.greyMode)
        << (s.adjustSwitch ? " (inverse ramp: adjustment switch set)" : "") << "\n";
    if (session.initResult() == VREL_OK_ADJUST)
        out << "adjustments     on (VrelInit returned 1)\n";
}

void addInfoCommand(CLI::App& app) {
    auto options = std::make_shared<ConversionOptions>();
    auto* info = app.add_subcommand("info", "Show which profile the settings select: name, "
                                            "search data, value, method, tables");
    addSettingsOptions(info, *options);
    info->callback([options] {
        warnAboutSettings(options->settings, std::cerr);
        printProfileInfo(*options, std::cout);
    });
}

} // namespace vrel::cli
