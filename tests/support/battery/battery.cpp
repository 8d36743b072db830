// Every export over one context with exact buffers; see battery.h.
#include "battery.h"

#include "core/engine_context.h"
#include "setup/test_hooks.h"
#include "support/test_support.h"

#include <algorithm>
#include <cstring>
#include <iterator>
#include <vrel/dbwriter.h>

namespace vrel::test {

namespace {

// Eight bytes per draw: buffers hold whole lines of up to 131071 pixels.
void fillRandom(ExactBuffer& buffer, uint32_t seed) {
    dbwriter::Random random(seed);
    for (size_t i = 0; i < buffer.size(); i += sizeof(uint64_t)) {
        const uint64_t bytes = random.next();
        std::memcpy(buffer.data() + i, &bytes, std::min(sizeof bytes, buffer.size() - i));
    }
}

void appendResult(std::vector<uint8_t>* digest, int result) {
    if (digest == nullptr) {
        return;
    }
    const auto value = static_cast<uint16_t>(result);
    digest->push_back(static_cast<uint8_t>(value & 0xff));
    digest->push_back(static_cast<uint8_t>(value >> 8));
}

void appendWord(std::vector<uint8_t>* digest, uint32_t word) {
    if (digest == nullptr) {
        return;
    }
    for (int i = 0; i < 4; ++i) {
        digest->push_back(static_cast<uint8_t>(word >> (8 * i)));
    }
}

void appendBuffer(std::vector<uint8_t>* digest, const ExactBuffer& buffer) {
    if (digest != nullptr) {
        buffer.appendTo(*digest);
    }
}

// The run shapes of the battery: a short run with skips at both ends, and a
// longer one with a source step wider than the pixel.
RunShape shortRun() {
    return RunShape{13, 2, 1, 0};
}

// The input format a prepared table of a mode serves.
uint32_t tableInputFor(uint32_t mode) {
    switch (mode) {
    case 1:
        return 4; // Rgb555
    case 2:
        return 7; // Index8
    case 3:
        return 9; // Gray8
    default:
        return 10; // Mono1
    }
}

RunShape wideRun(uint32_t format) {
    const uint32_t bpp = bytesPerPixel(format);
    return RunShape{29, 5, 3, bpp != 0 ? bpp + 2 : 0};
}

} // namespace

bool takesDirectPath(const EngineContext* context) {
    return context->initMagic == kInitMagic && context->settings.paramsCopy.methodOverride == 1;
}

int convertBitmapExact(EngineContext* context, uint32_t inFormat, uint32_t outFormat,
                       const RunShape& run, uint32_t seed, std::vector<uint8_t>* digest) {
    const bool direct = takesDirectPath(context);
    ExactBuffer source(bitmapSourceBytes(inFormat, outFormat, run, direct));
    fillRandom(source, seed);
    ExactBuffer destination(bitmapDestinationBytes(inFormat, outFormat, run, direct), 0xa5);
    const int result =
        VrelBitmapColorConversion(inFormat, outFormat, source.data(), destination.data(), run.count,
                                  run.skipStart, run.skipEnd, run.sourceStep, context);
    appendResult(digest, result);
    appendBuffer(digest, destination);
    return result;
}

int convertLineExact(EngineContext* context, uint32_t format, const RunShape& run, uint32_t seed,
                     std::vector<uint8_t>* digest) {
    const int method = context->conversionMethod;
    ExactBuffer source(lineSourceBytes(method, format, run));
    fillRandom(source, seed);
    // Only the planes the method writes get an address; the others stay null
    // so that a stray access to them faults.
    std::vector<ExactBuffer> planes;
    LineRecord line{};
    line.format = format;
    line.source = source.data();
    const int written = planesWritten(method);
    for (int p = 0; p < written; ++p) {
        if (method == 1 && p != 3) {
            planes.emplace_back(0);
            continue;
        }
        planes.emplace_back(linePlaneBytes(method, format, run), 0x5a);
        line.planes[p] = planes.back().data();
    }
    const int result = VrelLineColorConversion(&line, static_cast<uint16_t>(run.count),
                                               run.skipStart, run.skipEnd, run.sourceStep, context);
    appendResult(digest, result);
    for (const ExactBuffer& plane : planes) {
        appendBuffer(digest, plane);
    }
    return result;
}

int correctExact(EngineContext* context, uint32_t format, const RunShape& run, bool inPlace,
                 uint32_t seed, std::vector<uint8_t>* digest) {
    const size_t bytes = correctionBytes(format, run);
    ExactBuffer source(bytes);
    fillRandom(source, seed);
    ExactBuffer destination(inPlace ? 0 : bytes, 0x3c);
    uint8_t* target = inPlace ? source.data() : destination.data();
    const int result =
        VrelBitmapColorCorrection(format, source.data(), target, static_cast<uint16_t>(run.count),
                                  run.skipStart, run.skipEnd, context);
    appendResult(digest, result);
    appendBuffer(digest, inPlace ? source : destination);
    return result;
}

int onDotExact(EngineContext* context, int16_t count, int16_t skipStart, int16_t skipEnd,
               uint32_t seed, std::vector<uint8_t>* digest) {
    const size_t bytes = onDotPlaneBytes(count);
    ExactBuffer planes[4] = {ExactBuffer(bytes), ExactBuffer(bytes), ExactBuffer(bytes),
                             ExactBuffer(bytes)};
    for (uint32_t p = 0; p < 4; ++p) {
        fillRandom(planes[p], seed * 4 + p);
    }
    const int result = VrelOnDotBlack(planes[0].data(), planes[1].data(), planes[2].data(),
                                      planes[3].data(), count, skipStart, skipEnd, 0, context);
    appendResult(digest, result);
    for (const ExactBuffer& plane : planes) {
        appendBuffer(digest, plane);
    }
    return result;
}

int convertPixel(EngineContext* context, uint32_t format, uint32_t value,
                 std::vector<uint8_t>* digest) {
    uint32_t out = 0xdeadbeefu;
    const int result = VrelPixelColorConversion(0, format, value, &out, context);
    appendResult(digest, result);
    appendWord(digest, out);
    return result;
}

int correctPixel(EngineContext* context, int32_t format, uint32_t value,
                 std::vector<uint8_t>* digest) {
    uint32_t out = 0xdeadbeefu;
    const int result = VrelPixelColorCorrection(format, value, &out, context);
    appendResult(digest, result);
    appendWord(digest, out);
    return result;
}

void runQueries(EngineContext* context, std::vector<uint8_t>* digest) {
    ExactBuffer search(VREL_SEARCH_DATA_SIZE);
    ExactBuffer name(VREL_PROFILE_NAME_SIZE);
    appendWord(digest, VrelGetSearchData(context, search.data(), 0xffffffffu));
    appendWord(digest, VrelGetProfileName(context, name.data(), 0));
    appendBuffer(digest, search);
    appendBuffer(digest, name);
    ExactBuffer searchC(VREL_SEARCH_DATA_SIZE);
    ExactBuffer nameC(VREL_PROFILE_NAME_SIZE);
    appendWord(digest, VrelGetSearchDataC(context, searchC.data(), 0));
    appendWord(digest, VrelGetProfileNameC(context, nameC.data(), 0x12345678u));
    appendBuffer(digest, searchC);
    appendBuffer(digest, nameC);
}

int prepareMode(EngineContext* context, uint32_t mode, int16_t lastIndex, uint32_t seed,
                std::vector<uint8_t>* digest) {
    const size_t colours = lastIndex < 0 ? 0 : static_cast<size_t>(lastIndex) + 1;
    const size_t read = colours < 256 ? colours : 256;
    ExactBuffer record(2 + 3 * read);
    fillRandom(record, seed);
    std::memcpy(record.data(), &lastIndex, sizeof lastIndex);
    const auto* palette = reinterpret_cast<const PaletteRecord*>(record.data());
    const int result = VrelInitColorConversion(context, mode, &palette);
    appendResult(digest, result);
    return result;
}

std::vector<uint8_t> runBattery(EngineContext* context, const BatteryOptions& options) {
    std::vector<uint8_t> digest;
    uint32_t seed = options.seed;
    runQueries(context, &digest);

    for (uint32_t mode = 0; mode <= 5; ++mode) {
        prepareMode(context, mode, 40, ++seed, &digest);
    }
    for (const int32_t format : {2, 5, 13, -1}) {
        correctPixel(context, format, 0x00ffffffu, &digest);
        correctPixel(context, format, 0x00123456u + static_cast<uint32_t>(format), &digest);
    }
    for (const uint32_t format : {0u, 2u, 5u, 9u, 13u, 15u, 22u, 23u}) {
        convertPixel(context, format, 0xff123456u, &digest);
    }
    for (uint32_t format = 0; format <= 23; ++format) {
        correctExact(context, format, shortRun(), true, ++seed, &digest);
        correctExact(context, format, shortRun(), false, ++seed, &digest);
        convertLineExact(context, format, shortRun(), ++seed, &digest);
        if (options.secondRunShape) {
            correctExact(context, format, wideRun(format), false, ++seed, &digest);
            convertLineExact(context, format, wideRun(format), ++seed, &digest);
        }
    }
    const uint32_t kernelInputs[] = {0, 1, 2, 3, 4, 5, 7, 9, 10, 22};
    for (uint32_t in = 0; in <= 23; ++in) {
        const bool hasKernel = std::find(std::begin(kernelInputs), std::end(kernelInputs), in) !=
                               std::end(kernelInputs);
        if (!options.everyPair && !hasKernel) {
            continue;
        }
        for (uint32_t out = 0; out <= 23; ++out) {
            convertBitmapExact(context, in, out, shortRun(), ++seed, &digest);
            if (options.secondRunShape) {
                convertBitmapExact(context, in, out, wideRun(in), ++seed, &digest);
            }
        }
    }
    onDotExact(context, 45, 3, 6, ++seed, &digest);
    onDotExact(context, 16, 8, 0, ++seed, &digest);

    if (options.preparedTables) {
        // The builders run only on a context of profile class 9.
        vrel::testing::setProfileClass(context, kPreparedProfileClass);
        std::vector<uint32_t> modes = {2, 3, 4};
        if (options.rgb555Table) {
            modes.insert(modes.begin(), 1);
        }
        for (const uint32_t mode : modes) {
            prepareMode(context, mode, mode == 2 ? 40 : -1, ++seed, &digest);
            // A table serves only the input class it was built for.
            const uint32_t in = tableInputFor(mode);
            for (uint32_t out = 0; out <= 22; ++out) {
                convertBitmapExact(context, in, out, shortRun(), ++seed, &digest);
                convertBitmapExact(context, in, out, wideRun(in), ++seed, &digest);
            }
        }
        prepareMode(context, 0, -1, ++seed, &digest); // frees the last table
    }
    return digest;
}

void usePreparedTables(EngineContext* context) {
    vrel::testing::setProfileClass(context, kPreparedProfileClass);
}

} // namespace vrel::test
