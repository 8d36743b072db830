// Fetching group 0's table, cache and curves for an interpolating member,
// after checking that the context really holds what the member reads.
#pragma once

#include "convert/kernel_set.h"
#include "core/engine_context.h"

namespace vrel {

// The four-ink members read four bytes per node and the 8-byte cache. A
// context of MethodBlack has no group-0 table, and one of six or more
// channels has the 12-byte cache instead; both are refused (false).
bool fourInkTables(EngineContext* context, InterpolationTables<CacheEntry8>* tables);

// A member of `inks` inks (6 or 7) reads that many bytes per node and the
// 12-byte cache: refused (false) unless the group has at least `inks`
// channels and the 12-byte cache. *computeInks receives the number of inks
// the member must interpolate and cache: 7 whenever the table has seven or
// more, so that a six-ink member on a seven-ink context stores complete
// entries in the cache it shares with the seven-ink members (an entry
// holding only six inks would later give them ink 6 = 0).
bool multiInkTables(EngineContext* context, int inks, InterpolationTables<CacheEntry12>* tables,
                    int* computeInks);

// The curves of the colour pre-correction.
PreCorrectionCurves preCorrectionCurves(const EngineContext* context);

} // namespace vrel
