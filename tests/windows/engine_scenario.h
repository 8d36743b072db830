// A driver's session with the engine, run through a table of the fourteen
// exports: open, queries, set-up, conversions, corrections, on-dot black,
// reset and close, on fixed pseudo-random inputs. Every result code and
// every byte the engine writes is recorded as a named observation, so that
// two runs (the host's statically linked engine and vrel.dll under Windows)
// can be compared byte for byte. Rules a driver relies on whatever the
// tables hold are checked on the spot and reported as violations.
#pragma once

#include <cstdint>
#include <string>
#include <vector>
#include <vrel/vrel.h>

namespace vrel::windows_check {

// The fourteen exports, typed from the public declarations so that the
// calling convention of every call is the header's.
struct EngineApi {
    decltype(&VrelInit) init = nullptr;
    decltype(&VrelReset) reset = nullptr;
    decltype(&VrelClose) close = nullptr;
    decltype(&VrelBitmapColorConversion) bitmapConversion = nullptr;
    decltype(&VrelPixelColorConversion) pixelConversion = nullptr;
    decltype(&VrelOnDotBlack) onDotBlack = nullptr;
    decltype(&VrelLineColorConversion) lineConversion = nullptr;
    decltype(&VrelInitColorConversion) initConversion = nullptr;
    decltype(&VrelBitmapColorCorrection) bitmapCorrection = nullptr;
    decltype(&VrelPixelColorCorrection) pixelCorrection = nullptr;
    decltype(&VrelGetSearchData) searchData = nullptr;
    decltype(&VrelGetProfileName) profileName = nullptr;
    decltype(&VrelGetSearchDataC) searchDataC = nullptr;
    decltype(&VrelGetProfileNameC) profileNameC = nullptr;
};

struct Observation {
    std::string name;
    std::vector<uint8_t> bytes;
};

struct ScenarioRun {
    std::vector<Observation> observations;
    std::vector<std::string> violations; // empty when every rule held
};

// params selects a four-ink profile of the database; its directoryName is
// used as given (null: the database is opened relative to the current
// directory).
ScenarioRun runScenario(const EngineApi& api, const ParamRecord& params);

// The first 150 bytes of a ParamRecord: everything before the pointer-wide
// directoryName, the same on every target.
inline constexpr std::size_t kPortableParamBytes = 150;

// File name of the database the scenario runs on.
inline constexpr const char* kFixtureDatabaseName = "vrel_check.db";

} // namespace vrel::windows_check
