// Fuzz target: the input is a whole profile database file. It is opened with
// each of the four standard parameter records (table selectors, input kinds,
// adjustments, forced three-channel output, a second profile); on success
// the battery of calls runs on the context, then VrelReset and VrelClose. Any crash, sanitizer
// report, leak, open file or outcome that breaks the start-up contract stops the run.
#include "battery.h"
#include "init_outcome.h"
#include "scratch_directory.h"
#include "support/test_support.h"

namespace {

constexpr char kDatabaseName[] = "fuzz.db";

void check(const char* problem) {
    if (problem != nullptr) {
        vrel::test::harnessFailure(problem);
    }
}

void exerciseContext(EngineContext** slot, const ParamRecord& params, bool whole) {
    vrel::test::BatteryOptions options;
    // Record 0 takes the whole battery: every format pair and the prepared
    // tables. The second record only the formats that reach a kernel.
    options.everyPair = whole;
    options.preparedTables = whole;
    (void)vrel::test::runBattery(*slot, options);

    // The same record again keeps the context.
    EngineContext* kept = *slot;
    const int again = VrelReset(slot, &params);
    if ((again & ~1) != VREL_OK_KEPT || *slot != kept) {
        vrel::test::harnessFailure("VrelReset did not keep an unchanged context");
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace vrel::test;
    writeScratchFile(kDatabaseName, data, size);
    const long liveBefore = vrel::test::liveBlocks();
    for (int index = 0; index < kStandardParamCount; ++index) {
        const ParamRecord params = standardParams(index, scratchDirectory().c_str(), kDatabaseName);
        EngineContext* slot = untouchedSlotMarker();
        const int result = VrelInit(&slot, &params);
        check(checkInitOutcome(result, slot, params.adjustSwitch == 1, liveBefore));
        if (result == 0 || result == 1) {
            exerciseContext(&slot, params, index == 0);
            VrelClose(slot);
        }
        if (vrel::test::liveBlocks() != liveBefore) {
            harnessFailure("blocks outlived VrelClose");
        }
    }
    return 0;
}
