#include "info_command.h"

#include "convert/profile_name.h"
#include "interface/context_view.h"

#include <fmt/format.h>
#include <iostream>
#include <memory>

namespace vrel::cli {

namespace {

std::string nameText(const ShownName& name) {
    return "\"" + name.text + "\"" +
           (name.origin.empty() ? "" : " (" + name.origin + "; the name query answers empty)");
}

std::string searchText(const uint8_t* data) {
    return fmt::format("key {:02x} {:02x} {:02x} {:02x}, pair {} / {}", data[0], data[1], data[2],
                       data[3], data[4] | data[5] << 8, data[6] | data[7] << 8);
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
    out << fmt::format("database        {}\n", o.database);
    out << fmt::format("profile         number {} (index record {}), layout {}, record flags "
                       "0x{:08x}\n",
                       p.profileNumber, static_cast<uint16_t>(p.profileNumber + 1000), s.layout,
                       s.recordFlags);
    out << fmt::format("method          {} ({}), {} channels in the profile\n", method,
                       methodName(method), s.channelCount);
    out << fmt::format("name            {}\n", nameText(name));
    out << fmt::format("search data     {}\n", searchText(search));
    out << fmt::format("value           0x{:08x}\n", value);
    if (s.flagExtension) {
        out << fmt::format("record name     {} (the extension chunk answers above)\n",
                           nameText(nameC));
        out << fmt::format("record search   {}\n", searchText(searchC));
        out << fmt::format("record value    0x{:08x}\n", valueC);
    }
    const auto& g0 = s.conversion;
    const auto& g1 = s.correction;
    out << (g0.present ? fmt::format("conversion      chunk 0x{:x}, {} channels, {} grid points\n",
                                     s.lutChunkId, int(g0.channels), int(g0.gridPoints))
                       : "conversion      no table (black from the grey curve)\n");
    out << (g1.present
                ? fmt::format("correction      chunk 0x{:x}, {} grid points, input kind {}\n",
                              s.correctionTableId, int(g1.gridPoints), s.inputKind)
                : "correction      none\n");
    out << fmt::format("grey curve      mode {}{}\n", s.adjustSwitch ? 2 : s.greyMode,
                       s.adjustSwitch ? " (inverse ramp: adjustment switch set)" : "");
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
