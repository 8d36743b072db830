#include "settings.h"

#include "cli_error.h"

#include <cstdint>
#include <fmt/format.h>
#include <fmt/ranges.h>
#include <pybind11/pybind11.h>
#include <string>

namespace py = pybind11;

namespace vrel::python {

namespace {

std::optional<uint16_t> word(const char* name, const std::optional<long long>& value) {
    if (!value)
        return std::nullopt;
    if (*value < 0 || *value > 0xffff)
        throw py::value_error(fmt::format("{} must be from 0 to 65535, not {}", name, *value));
    return static_cast<uint16_t>(*value);
}

// The balance as the tool's option text, so that the tool's reader checks it
// and words its refusal.
std::string balanceText(const std::vector<long long>& values) {
    return fmt::format("{}", fmt::join(values, ","));
}

} // namespace

cli::PrintSettings printSettings(const SettingArgs& args) {
    cli::PrintSettings s;
    s.profileNumber = word("profile", args.profile);
    s.keyField14 = word("key14", args.key14);
    s.keyField16 = word("key16", args.key16);
    s.keyField94 = word("key94", args.key94);
    s.keyField104 = word("key104", args.key104);
    s.keyField106 = word("key106", args.key106);
    s.keyField108 = word("key108", args.key108);
    s.adjustSwitch = word("adjust", args.adjust);
    s.tableSelector = word("selector", args.selector);
    s.inputKind = word("input_kind", args.inputKind);
    if (args.balance)
        s.balanceText = args.balance->empty() ? "," : balanceText(*args.balance);
    if (args.density) {
        // The tool's check below sees 16 bits; a wider value is refused here
        // in the same words.
        const long long d = *args.density;
        if (d < INT16_MIN || d > INT16_MAX)
            throw py::value_error(fmt::format("--density must be from -{0} to {0}, not {1}",
                                              cli::kAdjustmentLimit, d));
        s.density = static_cast<int16_t>(d);
    }
    s.threeChannel = args.threeChannel;
    cli::PrintSettings resolved;
    try {
        resolved = cli::resolveSettings(s);
    } catch (const cli::CliError& e) {
        throw py::value_error(e.what());
    }
    for (const auto& line : cli::ineffectiveSettings(resolved))
        if (PyErr_WarnEx(PyExc_UserWarning, line.c_str(), 2) != 0)
            throw py::error_already_set();
    return s;
}

} // namespace vrel::python
