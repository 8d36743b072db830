// A driver's view of vrel.dll: loads the library, resolves the fourteen
// exports by ordinal and by name, and replays the host's scenario through the
// ordinals; everything the engine writes must equal what the host's engine
// wrote. Also checks the Win32 platform seam directly.
//
//   vrel_windows_driver <path of vrel.dll> <fixture directory>
//
// The fixture directory holds vrel_check.db, params.bin and expected.bin from
// vrel_windows_fixture. Ends with "N passed, N failed"; exits 1 on any
// failure.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include "engine_scenario.h"
#include "platform_checks.h"
#include "tally.h"
#include "transcript.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <windows.h>

namespace wc = vrel::windows_check;

namespace {

constexpr const char* kExportNames[14] = {
    "VrelInit",
    "VrelReset",
    "VrelClose",
    "VrelBitmapColorConversion",
    "VrelPixelColorConversion",
    "VrelOnDotBlack",
    "VrelLineColorConversion",
    "VrelInitColorConversion",
    "VrelBitmapColorCorrection",
    "VrelPixelColorCorrection",
    "VrelGetSearchData",
    "VrelGetProfileName",
    "VrelGetSearchDataC",
    "VrelGetProfileNameC",
};

template <typename Fn> void take(Fn*& slot, FARPROC address) {
    slot = reinterpret_cast<Fn*>(reinterpret_cast<void (*)()>(address));
}

// Resolves every export by ordinal and by name; the API is built from the
// ordinals. False when an export is missing.
bool resolveExports(HMODULE dll, wc::EngineApi& api, wc::Tally& tally) {
    FARPROC byOrdinal[14] = {};
    bool complete = true;
    for (int n = 1; n <= 14; ++n) {
        byOrdinal[n - 1] = ::GetProcAddress(dll, MAKEINTRESOURCEA(n));
        const FARPROC byName = ::GetProcAddress(dll, kExportNames[n - 1]);
        const std::string what =
            std::string(kExportNames[n - 1]) + " resolves at ordinal " + std::to_string(n);
        complete = tally.check(byOrdinal[n - 1] != nullptr && byOrdinal[n - 1] == byName,
                               what + " and by name to the same address") &&
                   complete;
    }
    tally.check(::GetProcAddress(dll, MAKEINTRESOURCEA(15)) == nullptr,
                "no export beyond ordinal 14");
    if (!complete) {
        return false;
    }
    take(api.init, byOrdinal[0]);
    take(api.reset, byOrdinal[1]);
    take(api.close, byOrdinal[2]);
    take(api.bitmapConversion, byOrdinal[3]);
    take(api.pixelConversion, byOrdinal[4]);
    take(api.onDotBlack, byOrdinal[5]);
    take(api.lineConversion, byOrdinal[6]);
    take(api.initConversion, byOrdinal[7]);
    take(api.bitmapCorrection, byOrdinal[8]);
    take(api.pixelCorrection, byOrdinal[9]);
    take(api.searchData, byOrdinal[10]);
    take(api.profileName, byOrdinal[11]);
    take(api.searchDataC, byOrdinal[12]);
    take(api.profileNameC, byOrdinal[13]);
    return true;
}

void replay(const wc::EngineApi& api, const ParamRecord& params,
            const std::vector<wc::Observation>& expected, const std::string& how,
            wc::Tally& tally) {
    const wc::ScenarioRun run = wc::runScenario(api, params);
    for (const std::string& v : run.violations) {
        tally.check(false, how + ": " + v);
    }
    const auto differences = wc::compareTranscripts(expected, run.observations);
    for (const std::string& d : differences) {
        tally.check(false, how + ": " + d);
    }
    if (run.violations.empty() && differences.empty()) {
        tally.passed += static_cast<int>(run.observations.size());
    }
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s <vrel.dll> <fixture directory>\n", argv[0]);
        return 2;
    }
    const std::string dllPath = argv[1];
    const std::string dir = argv[2];
    wc::Tally tally;

    wc::checkPlatformSeam(dir + "\\" + wc::kFixtureDatabaseName, tally);

    const auto portable = wc::readFileBytes(dir + "\\params.bin");
    const auto expected = wc::readTranscript(dir + "\\expected.bin");
    HMODULE dll = ::LoadLibraryA(dllPath.c_str());
    tally.check(dll != nullptr, "LoadLibraryA loads " + dllPath);
    wc::EngineApi api;
    if (tally.check(portable && portable->size() == wc::kPortableParamBytes,
                    "params.bin holds the portable part of the record") &&
        tally.check(expected && !expected->empty(), "expected.bin holds observations") &&
        dll != nullptr && resolveExports(dll, api, tally)) {
        ParamRecord params;
        std::memset(&params, 0, sizeof params);
        std::memcpy(&params, portable->data(), portable->size());

        params.directoryName = dir.c_str();
        replay(api, params, *expected, "database below a directory", tally);

        // Without a directory the database is opened relative to the
        // current directory of the process.
        char previous[MAX_PATH] = {};
        ::GetCurrentDirectoryA(MAX_PATH, previous);
        if (tally.check(::SetCurrentDirectoryA(dir.c_str()) != 0, "enter " + dir)) {
            params.directoryName = nullptr;
            replay(api, params, *expected, "database in the current directory", tally);
            ::SetCurrentDirectoryA(previous);
        }

        // A database that is not there: the file error, the slot untouched.
        const std::string missing = dir + "\\no such directory";
        params.directoryName = missing.c_str();
        auto* const sentinel = reinterpret_cast<EngineContext*>(&params);
        EngineContext* slot = sentinel;
        const VrelResult r = api.init(&slot, &params);
        tally.check(r == VREL_ERR_FILE && slot == sentinel,
                    "VrelInit with a missing database gives -138 and leaves the slot (got " +
                        std::to_string(r) + ")");
    }
    if (dll != nullptr) {
        tally.check(::FreeLibrary(dll) != 0, "FreeLibrary unloads the engine");
    }
    tally.summary();
    return tally.failed == 0 ? 0 : 1;
}
