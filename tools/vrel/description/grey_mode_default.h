// The grey mode a profile gets when its description names none.
//
// The engine sends every colour through the grey curve before the
// conversion table. Only the inverse ramp (grey mode 2) leaves the colour as
// it is, so a table computed from an ICC transform or the ink model is
// reproduced only in that mode; the fixed curve of mode 0 lightens every
// channel before the table and prints a washed-out picture. A profile without
// "greyMode" whose entries convert through such a table therefore gets grey
// mode 2; an explicit "greyMode" is kept as written.
#pragma once

#include "json_reader.h"

#include <cstdint>
#include <map>
#include <string>
#include <vector>
#include <vrel/dbwriter.h>

namespace vrel::cli {

// `profile` was read from `node`; `computedTables` maps the ids of tables
// with a computed grid to their grid source ("icc", "ink-model"). Layout 0
// stores no grey mode: such a profile is left as it is and a warning naming
// the JSON path is added to `warnings`.
void applyDefaultGreyMode(dbwriter::Record& profile, const JsonNode& node,
                          const std::map<uint16_t, std::string>& computedTables,
                          std::vector<std::string>& warnings);

} // namespace vrel::cli
