// Sample profile databases for the fuzz targets and the hardening tests: a
// valid database for every table kind, written by the project's database
// writer, and the four parameter records every harness opens them with.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vrel/dbwriter.h>
#include <vrel/vrel.h>

namespace vrel::hardening {

// How a colour-table chunk is written.
enum class TableForm : uint8_t {
    Unmarked, // no mark: the whole chunk is table data on the default grid
    Type0,    // mark, header type 0, default grid
    Type1,    // mark, header type 1 with its own node positions
    Type2,    // mark, header type 2 with five node sets (group 1 only)
};

// Chunk ids used by every sample database.
inline constexpr uint16_t kCorrectionChunkIds[3] = {0x10, 0x11, 0x12}; // tableIds[0..2]
inline constexpr uint16_t kConversionChunkId = 0x20;

struct SampleRecipe {
    int layout = 1;            // 0, 1 or 2
    int channels = 4;          // channel count of the profile (0..8)
    bool fourWithE256 = false; // four present channels that count as three
    uint32_t recordFlags = 0;  // noBlackBalance, extension, grey mode (not layout 0)
    bool correction = true;    // false: tableIds are 0, no group-1 table
    TableForm correctionForm = TableForm::Type1;
    int correctionPoints = 5;
    TableForm conversionForm = TableForm::Type1;
    int conversionPoints = 5;
    bool sharedDirectory = false;
    // Selector 3 lays a type-1 correction table on the default grid: only
    // with this set does the third table carry the 17-point grid it needs
    // (otherwise it is as small as the others and selector 3 fails to load).
    bool fullThirdTable = false;
    uint32_t seed = 1; // grid contents
};

// A valid database for the recipe: profile index record 1000 keyed for the
// standard records 0 to 2 and record 1007 keyed for standard record 3, the
// correction tables 0x10..0x12, the conversion table 0x20 (unless the
// channel count is 1) and, when the flags ask for it, the extension chunks
// 0x640..0x642.
dbwriter::Database makeSampleDatabase(const SampleRecipe& recipe);

// A recipe for a context of the given conversion method (1, 3, 4, 6, 7).
SampleRecipe recipeForMethod(int method);

// The parameter records every harness uses. The database name is set by
// standardParams; the directory pointer must outlive the record's use.
inline constexpr int kStandardParamCount = 4;
ParamRecord standardParams(int index, const char* directory, const char* databaseName);

} // namespace vrel::hardening
