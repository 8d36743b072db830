// Fuzz target: the conversion, correction and set-up exports on valid
// contexts (one per conversion method, one on the direct path of the RGB
// output group, and class-9 contexts with prepared tables), opened once from
// databases written by the project's writer. The input is a sequence of
// 14-byte operations choosing the context, the export, the formats, the run
// (count, skips, source step) and the data; every buffer is allocated at
// exactly the size of the line the count describes.
#include "battery.h"
#include "scratch_directory.h"
#include "support/test_support.h"

#include <array>
#include <string>

namespace {

using namespace vrel::test;

constexpr int kContextCount = 9;
std::array<EngineContext*, kContextCount> contexts;

EngineContext* openSample(int method, int paramsIndex, const char* name) {
    const std::string path = scratchDirectory() + "/" + name;
    if (!vrel::dbwriter::writeDatabaseFile(path, makeSampleDatabase(recipeForMethod(method)))) {
        harnessFailure("cannot write a sample database");
    }
    const ParamRecord params = standardParams(paramsIndex, scratchDirectory().c_str(), name);
    EngineContext* context = nullptr;
    const int result = VrelInit(&context, &params);
    if (result < 0 || result > 1 || context == nullptr) {
        harnessFailure("a sample database does not open");
    }
    return context;
}

// Methods 1, 3, 4, 6, 7; three-channel output forced by the record (the
// direct path); then methods 1, 3, 4 with prepared tables.
void openContexts() {
    const int methods[kContextCount] = {1, 3, 4, 6, 7, 4, 1, 3, 4};
    for (size_t i = 0; i < kContextCount; ++i) {
        const std::string name = "m" + std::to_string(i) + ".db";
        contexts[i] = openSample(methods[i], i == 5 ? 2 : 0, name.c_str());
        if (i > 5) {
            usePreparedTables(contexts[i]);
        }
    }
}

uint16_t word(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] | p[1] << 8);
}

void runOperation(const uint8_t* op) {
    EngineContext* const context = contexts[op[0] % kContextCount];
    const uint32_t inFormat = op[2] % 26u;
    const uint32_t outFormat = op[3] % 26u;
    RunShape run;
    // Counts up to 131071 (a line longer than the 16-bit arithmetic), skips
    // anywhere in their 16 bits, mostly beyond the count: buffers hold the
    // count's pixels, so a run reaching past them shows.
    run.count = word(op + 4) | static_cast<uint32_t>(op[13] & 1u) << 16;
    run.skipStart = static_cast<int16_t>(word(op + 6));
    run.skipEnd = word(op + 8);
    run.sourceStep = op[10] % 20u;
    const uint32_t seed = static_cast<uint32_t>(op[11] | op[12] << 8);
    const uint32_t value = static_cast<uint32_t>(op[4] | op[5] << 8 | op[6] << 16 | op[11] << 24);

    switch (op[1] % 6) {
    case 0:
        // Any input on any table: a run that needs more entries than the
        // context's prepared table holds must be refused, never read past it.
        convertBitmapExact(context, inFormat, outFormat, run, seed, nullptr);
        break;
    case 1:
        convertLineExact(context, inFormat, run, seed, nullptr);
        break;
    case 2:
        convertPixel(context, outFormat, value, nullptr);
        break;
    case 3:
        correctExact(context, inFormat, run, (op[10] & 0x80) != 0, seed, nullptr);
        break;
    case 4:
        correctPixel(context, static_cast<int32_t>(outFormat) - 2, value, nullptr);
        break;
    default: {
        const int mode = op[2] % 7;
        const auto lastIndex = static_cast<int16_t>(static_cast<int16_t>(word(op + 4)) % 300);
        (void)prepareMode(context, static_cast<uint32_t>(mode), lastIndex, seed, nullptr);
        break;
    }
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    openContexts();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    constexpr size_t kOperationBytes = 14;
    for (size_t at = 0; at + kOperationBytes <= size; at += kOperationBytes) {
        runOperation(data + at);
    }
    return 0;
}
