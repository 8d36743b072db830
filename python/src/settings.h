// The print settings of a context, by the tool's long option names, read
// from Python keyword arguments and checked against the tool's ranges.
#pragma once

#include "convert/engine_settings.h"

#include <optional>
#include <vector>

namespace vrel::python {

// The keyword arguments of vrel.Context; None leaves a setting unset (0).
struct SettingArgs {
    long long profile = 0;
    std::optional<long long> key14, key16, key94, key104, key106, key108;
    std::optional<long long> adjust, selector, inputKind;
    std::optional<std::vector<long long>> balance;
    std::optional<long long> density;
    bool threeChannel = false;
};

// The tool's settings for the arguments. Raises ValueError (with the tool's
// wording where it has one) for a value out of range; warns (UserWarning)
// about settings that others make ineffective, as the tool does.
cli::PrintSettings printSettings(const SettingArgs& args);

} // namespace vrel::python
