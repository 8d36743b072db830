#include "engine_settings.h"

#include "cli_error.h"
#include "common/database_name.h"
#include "description/json_reader.h"
#include "files/input_file.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fmt/format.h>
#include <fstream>
#include <ostream>

namespace vrel::cli {

namespace {

void applySettingsFile(const std::string& path, PrintSettings& s) {
    const auto root = loadJsonFile(path);
    const JsonNode top(root, "");
    if (!top.isObject())
        throw CliError("settings file '" + path + "': must be a JSON object");
    try {
        const auto u16 = [&](const char* key, std::optional<uint16_t>& field) {
            if (const auto f = top.optionalField(key))
                field = static_cast<uint16_t>(f->integer(0, 0xffff));
        };
        u16("profileNumber", s.profileNumber);
        u16("keyField14", s.keyField14);
        u16("keyField16", s.keyField16);
        u16("keyField94", s.keyField94);
        u16("keyField104", s.keyField104);
        u16("keyField106", s.keyField106);
        u16("keyField108", s.keyField108);
        u16("adjustSwitch", s.adjustSwitch);
        u16("tableSelector", s.tableSelector);
        u16("inputKind", s.inputKind);
        if (const auto f = top.optionalField("balance")) {
            const auto list = f->elements();
            if (list.size() != 4)
                f->fail("must list 4 values (cyan, magenta, yellow, black)");
            s.balance.clear();
            for (const auto& v : list)
                s.balance.push_back(
                    static_cast<int>(v.integer(-kAdjustmentLimit, kAdjustmentLimit)));
        }
        if (const auto f = top.optionalField("density"))
            s.density = static_cast<int16_t>(f->integer(-kAdjustmentLimit, kAdjustmentLimit));
        if (const auto f = top.optionalField("methodOverride"))
            s.threeChannel = f->integer(0, 0xffff) == 1;
        top.optionalField("comment");
        top.finish();
    } catch (const CliError& e) {
        throw CliError("settings file '" + path + "': " + e.what());
    }
}

// "c,m,y,k": four integers from -50 to 50.
std::vector<int> parseBalance(const std::string& text) {
    const auto refuse = [&text]() {
        throw CliError(fmt::format(
            "--balance takes four values from -{} to {} as cyan,magenta,yellow,black, not '{}'",
            kAdjustmentLimit, kAdjustmentLimit, clipped(text)));
    };
    std::vector<int> values;
    std::size_t start = 0;
    while (start <= text.size()) {
        const auto comma = text.find(',', start);
        const auto part =
            text.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
        char* end = nullptr;
        errno = 0;
        const long v = std::strtol(part.c_str(), &end, 10);
        if (part.empty() || *end != '\0' || errno != 0 || v < -kAdjustmentLimit ||
            v > kAdjustmentLimit)
            refuse();
        values.push_back(static_cast<int>(v));
        if (comma == std::string::npos)
            break;
        start = comma + 1;
    }
    if (values.size() != 4)
        refuse();
    return values;
}

} // namespace

PrintSettings resolveSettings(const PrintSettings& given) {
    PrintSettings s;
    if (!given.settingsFile.empty())
        applySettingsFile(given.settingsFile, s);
    // Options given on the command line override the file.
    const auto take = [](auto& to, const auto& from) {
        if (from)
            to = from;
    };
    take(s.profileNumber, given.profileNumber);
    take(s.keyField14, given.keyField14);
    take(s.keyField16, given.keyField16);
    take(s.keyField94, given.keyField94);
    take(s.keyField104, given.keyField104);
    take(s.keyField106, given.keyField106);
    take(s.keyField108, given.keyField108);
    take(s.adjustSwitch, given.adjustSwitch);
    take(s.tableSelector, given.tableSelector);
    take(s.inputKind, given.inputKind);
    take(s.density, given.density);
    if (s.density && std::abs(*s.density) > kAdjustmentLimit)
        throw CliError(fmt::format("--density must be from -{} to {}, not {}", kAdjustmentLimit,
                                   kAdjustmentLimit, *s.density));
    if (!given.balanceText.empty())
        s.balance = parseBalance(given.balanceText);
    else if (!given.balance.empty())
        s.balance = given.balance;
    s.threeChannel = s.threeChannel || given.threeChannel;
    if (!s.balance.empty() && s.balance.size() != 4)
        throw CliError("--balance takes four values: cyan,magenta,yellow,black");
    return s;
}

std::vector<std::string> ineffectiveSettings(const PrintSettings& s) {
    std::vector<std::string> out;
    const bool adjust = s.adjustSwitch.value_or(0) != 0;
    bool balanceSet = false;
    for (int v : s.balance)
        balanceSet = balanceSet || v != 0;
    if (balanceSet && !adjust)
        out.push_back("the balance (--balance) has no effect without the adjustment switch "
                      "(--adjust 1)");
    else if (balanceSet && s.keyField16.value_or(0) != 0)
        out.push_back("the balance (--balance) has no effect with a nonzero --key16");
    if (s.tableSelector.value_or(0) != 0 && !adjust)
        out.push_back("the table selector (--selector) has no effect without the adjustment "
                      "switch (--adjust 1)");
    return out;
}

void warnAboutSettings(const PrintSettings& given, std::ostream& out) {
    for (const auto& line : ineffectiveSettings(resolveSettings(given)))
        out << fmt::format("vrel: warning: {}\n", line);
}

ParamRecord makeParamRecord(const PrintSettings& given, const std::string& databasePath,
                            std::string& directoryStorage) {
    const PrintSettings s = resolveSettings(given);

    ParamRecord p;
    std::memset(&p, 0, sizeof p);
    p.profileNumber = s.profileNumber.value_or(0);
    p.keyField14 = s.keyField14.value_or(0);
    p.keyField16 = s.keyField16.value_or(0);
    p.keyField94 = s.keyField94.value_or(0);
    p.keyField104 = s.keyField104.value_or(0);
    p.keyField106 = s.keyField106.value_or(0);
    p.keyField108 = s.keyField108.value_or(0);
    p.adjustSwitch = s.adjustSwitch.value_or(0);
    p.tableSelector = s.tableSelector.value_or(0);
    p.inputKind = s.inputKind.value_or(0);
    for (std::size_t i = 0; i < s.balance.size(); ++i)
        p.balance[i] = static_cast<int16_t>(s.balance[i]);
    p.density = s.density.value_or(0);
    p.methodOverride = s.threeChannel ? 1 : 0;

    if (databasePath.empty())
        throw CliError("no database given (--db FILE)");
    checkInputFile(databasePath, "database");
    auto location = vrel::tools::locateDatabase(databasePath);
    const std::string& name = location.name;
    if (!vrel::tools::databaseNameFits(name))
        throw CliError("database file name '" + name +
                       "' is longer than the 20 bytes the "
                       "engine takes; rename or link the file");
    directoryStorage = std::move(location.directory);
    vrel::tools::nameDatabase(p, name, directoryStorage);
    if (directoryStorage.size() + 1 + name.size() > 287)
        throw CliError("database path '" + databasePath + "' is longer than 287 characters");
    return p;
}

EngineSession::EngineSession(const PrintSettings& settings, const std::string& databasePath) {
    params_ = makeParamRecord(settings, databasePath, directory_);
    params_.directoryName = directory_.empty() ? nullptr : directory_.c_str();
    const int rc = VrelInit(&context_, &params_);
    initResult_ = rc;
    if (rc == VREL_OK || rc == VREL_OK_ADJUST)
        return;
    context_ = nullptr;
    const std::string db = "'" + databasePath + "'";
    const std::string profile = fmt::format("profile number {}", params_.profileNumber);
    switch (rc) {
    case VREL_ERR_FILE:
        throw EngineError("cannot read " + profile + " from " + db +
                              ": its profile index record is missing or the file is damaged "
                              "(try 'vrel db check')",
                          rc);
    case VREL_ERR_PARAM:
        throw EngineError("unknown profile: no entry of " + profile + " in " + db +
                              " matches the key fields of the settings",
                          rc);
    case VREL_ERR_MEMORY:
        throw EngineError("the tables of the selected profile in " + db +
                              " cannot be loaded (try 'vrel db check')",
                          rc);
    default:
        throw EngineError(
            fmt::format("the database {} uses record layout {} (0, 1 or 2 are loaded)", db, rc),
            rc);
    }
}

EngineSession::~EngineSession() {
    VrelClose(context_);
}

int conversionMethodOf(EngineContext* context) {
    // A context opened by VrelInit answers with its method whatever it is;
    // only these five convert.
    const int method = VrelInitColorConversion(context, VrelModeDirect, nullptr);
    if (method != VrelMethodBlack && method != VrelMethodThreeChannel &&
        method != VrelMethodFourColor && method != VrelMethodSixColor &&
        method != VrelMethodSevenColor)
        throw CliError("the selected profile has no conversion method the engine takes "
                       "(1, 3, 4, 6 or 7)");
    return method;
}

std::vector<std::string> inkNamesFor(int method) {
    switch (method) {
    case VrelMethodBlack:
        return {"Black"};
    case VrelMethodThreeChannel:
        return {"Red", "Green", "Blue"};
    case VrelMethodSixColor:
        return {"Cyan", "Magenta", "Yellow", "Black", "Light Cyan", "Light Magenta"};
    case VrelMethodSevenColor:
        return {"Cyan", "Magenta", "Yellow", "Black", "Light Cyan", "Light Magenta", "Light Black"};
    default:
        return {"Cyan", "Magenta", "Yellow", "Black"};
    }
}

} // namespace vrel::cli
