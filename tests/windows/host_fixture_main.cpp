// Host side of the Windows check: writes a four-ink profile database with the
// project's writer, runs the driver scenario through the statically linked
// engine and stores what it observed. The Windows program replays the same
// scenario through vrel.dll and must observe the same bytes.
//
//   vrel_windows_fixture <directory>
//     writes <directory>/vrel_check.db, params.bin (the first 150 bytes of the
//     ParamRecord) and expected.bin (the observations).
#include "engine_scenario.h"
#include "fixture_database.h"
#include "transcript.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>
#include <vrel/dbwriter.h>

namespace wc = vrel::windows_check;

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <directory>\n", argv[0]);
        return 2;
    }
    const std::string dir = argv[1];
    ParamRecord params = wc::fixtureParams();
    std::string error;
    if (!vrel::dbwriter::writeDatabaseFile(dir + "/" + wc::kFixtureDatabaseName,
                                           wc::fixtureDatabase(params), &error)) {
        std::fprintf(stderr, "cannot write the database: %s\n", error.c_str());
        return 1;
    }
    std::vector<uint8_t> portable(wc::kPortableParamBytes);
    std::memcpy(portable.data(), &params, portable.size());
    if (!wc::writeFileBytes(dir + "/params.bin", portable)) {
        std::fprintf(stderr, "cannot write params.bin\n");
        return 1;
    }

    const wc::EngineApi api{&VrelInit,
                            &VrelReset,
                            &VrelClose,
                            &VrelBitmapColorConversion,
                            &VrelPixelColorConversion,
                            &VrelOnDotBlack,
                            &VrelLineColorConversion,
                            &VrelInitColorConversion,
                            &VrelBitmapColorCorrection,
                            &VrelPixelColorCorrection,
                            &VrelGetSearchData,
                            &VrelGetProfileName,
                            &VrelGetSearchDataC,
                            &VrelGetProfileNameC};
    params.directoryName = dir.c_str();
    const wc::ScenarioRun run = wc::runScenario(api, params);
    for (const std::string& v : run.violations) {
        std::fprintf(stderr, "host engine breaks a rule: %s\n", v.c_str());
    }
    if (!wc::writeTranscript(dir + "/expected.bin", run.observations)) {
        std::fprintf(stderr, "cannot write expected.bin\n");
        return 1;
    }
    std::printf("%zu observations written to %s/expected.bin\n", run.observations.size(),
                dir.c_str());
    return run.violations.empty() ? 0 : 1;
}
