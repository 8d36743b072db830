#include "conversion_options.h"
#include "image/image_read.h"

namespace vrel::cli {

void addSettingsOptions(CLI::App* cmd, ConversionOptions& o) {
    cmd->add_option("--db", o.database, "profile database file")->required();
    addProfileSelectionOptions(cmd, o.settings);
}

void addProfileSelectionOptions(CLI::App* cmd, PrintSettings& s) {
    cmd->add_option("--settings", s.settingsFile,
                    "JSON file with print settings (profileNumber, keyField14, ..., "
                    "adjustSwitch, tableSelector, inputKind, balance, density, "
                    "methodOverride); options given here override it");
    cmd->add_option("--profile", s.profileNumber, "profile number (index record = number + 1000)");
    cmd->add_option("--key14", s.keyField14, "key field at offset 14 (bits 0-8 enter the key)");
    cmd->add_option("--key16", s.keyField16,
                    "key field at offset 16 (bits 0-1; nonzero "
                    "switches the balance off)");
    cmd->add_option("--key94", s.keyField94, "key field at offset 94 (bits 0-4)");
    cmd->add_option("--key104", s.keyField104, "key field at offset 104");
    cmd->add_option("--key106", s.keyField106, "key field at offset 106 (layout 2)");
    cmd->add_option("--key108", s.keyField108, "key field at offset 108 (layout 2)");
    cmd->add_option("--adjust", s.adjustSwitch,
                    "adjustment switch (1: the selector, input kind and balance apply)");
    cmd->add_option("--selector", s.tableSelector, "table selector: 0 first, 2 second, 3 third");
    cmd->add_option("--input-kind", s.inputKind, "input kind: 10, 18, 22, 32 or other");
    cmd->add_option("--balance", s.balanceText,
                    "balance of cyan,magenta,yellow,black, each -50..50, as one argument "
                    "(applies with --adjust 1)");
    cmd->add_option("--density", s.density, "density (-50..50)")
        ->check(CLI::Range(-kAdjustmentLimit, kAdjustmentLimit));
    cmd->add_flag("--three-channel", s.threeChannel, "force the three-channel method");
}

} // namespace vrel::cli
