// The profile database of the Windows check: one profile index record with
// a decoy entry and the entry that the fixture's ParamRecord selects, three
// correction tables and a smooth four-ink conversion table.
#pragma once

#include <vrel/dbwriter.h>
#include <vrel/vrel.h>

#include "engine_scenario.h"

namespace vrel::windows_check {

ParamRecord fixtureParams();
dbwriter::Database fixtureDatabase(const ParamRecord& params);

} // namespace vrel::windows_check
