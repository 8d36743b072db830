// The print settings a driver would give the engine, as the tool collects
// them from options or a JSON settings file, and an open engine context
// for them.
#pragma once

#include "vrel/vrel.h"

#include <cstdint>
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

namespace vrel::cli {

// Every field optional: unset fields stay 0 in the ParamRecord.
struct PrintSettings {
    std::optional<uint16_t> profileNumber;
    std::optional<uint16_t> keyField14, keyField16, keyField94, keyField104, keyField106,
        keyField108;
    std::optional<uint16_t> adjustSwitch, tableSelector, inputKind;
    std::vector<int> balance; // four values (cyan, magenta, yellow, black) when given
    std::string balanceText;  // --balance as typed ("c,m,y,k"), read into balance
    std::optional<int16_t> density;
    bool threeChannel = false; // methodOverride = 1
    std::string settingsFile;  // JSON file with the same field names; options override it
};

// The range of the balance and density values: beyond it the balance
// curves fall back to the identity and the density curve overshoots.
inline constexpr int kAdjustmentLimit = 50;

// The settings file, then the options over it. Throws CliError for a bad
// settings file or a value out of range.
PrintSettings resolveSettings(const PrintSettings& given);

// One line for each setting that the others make ineffective (the balance
// without the adjustment switch, ...).
std::vector<std::string> ineffectiveSettings(const PrintSettings& resolved);

// Writes ineffectiveSettings of the given settings as "vrel: warning: ..." lines.
void warnAboutSettings(const PrintSettings& given, std::ostream& out);

// Fills a ParamRecord for the database at `databasePath`: directoryName
// points into `directoryStorage`, which must outlive the record's use.
// Throws CliError for a database name longer than the record holds
// (20 bytes) or a bad settings file.
ParamRecord makeParamRecord(const PrintSettings& settings, const std::string& databasePath,
                            std::string& directoryStorage);

// One engine context, opened with VrelInit and closed with VrelClose.
class EngineSession {
  public:
    // Throws CliError with a message naming the cause when VrelInit fails.
    EngineSession(const PrintSettings& settings, const std::string& databasePath);
    ~EngineSession();
    EngineSession(const EngineSession&) = delete;
    EngineSession& operator=(const EngineSession&) = delete;

    EngineContext* context() const { return context_; }
    const ParamRecord& params() const { return params_; }
    int initResult() const { return initResult_; }

  private:
    std::string directory_;
    ParamRecord params_;
    EngineContext* context_ = nullptr;
    int initResult_ = 0;
};

// The conversion method of an open context (VrelInitColorConversion with
// the direct mode returns it); throws CliError when the method is refused.
int conversionMethodOf(EngineContext* context);

// Ink names in the engine's ink order for a conversion method.
std::vector<std::string> inkNamesFor(int method);

} // namespace vrel::cli
