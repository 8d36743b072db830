// A hand-built context together with its reference model, kept in step over
// long call sequences, and the plain expectations of each kind of run.
#pragma once

#include "conversion_fixture.h"
#include "reference_conversion.h"

#include <array>
#include <cstdint>
#include <random>
#include <vector>

namespace vrel::test {

// The format table written out again for the tests: channel offsets 0..6
// and bytes per pixel (0xFF where there is none).
struct FormatLayout {
    std::array<uint8_t, 7> offset;
    uint8_t bytesPerPixel;
};
const FormatLayout& layoutOf(uint32_t format);
bool isDirectColour(uint32_t format); // 0, 1, 2, 3, 5
bool isGreyInput(uint32_t format);    // 9, 22

struct RigOptions {
    int16_t method = 4;
    std::vector<uint8_t> nodes = defaultNodes();
    uint32_t curveSeed = 0; // 0: identity curves
    bool wideCurves = false;
    uint32_t kernelFlags = kKernelFlagsDefault;
    uint32_t gridSeed = 1;
};

struct Rig {
    explicit Rig(const RigOptions& options);
    TestContext context;
    int channels;
    std::vector<uint8_t> grid; // node-interleaved
    ReferenceConverter reference;
};

// Colours that stress the register and the cache: white, black, greys and
// their equal RGB colours, colours sharing a slot, random colours, and runs
// of one colour.
class ColourSource {
  public:
    explicit ColourSource(uint32_t seed);
    std::array<uint8_t, 3> next();
    std::mt19937& rng() { return rng_; }

  private:
    std::mt19937 rng_;
    std::vector<std::array<uint8_t, 3>> pool_;
    std::array<uint8_t, 3> last_{255, 255, 255};
};

// A source buffer of `count` pixels `step` bytes apart in `format`, filler
// bytes random. Grey formats get the grey in byte 0.
std::vector<uint8_t> makeSource(uint32_t format, uint32_t count, uint32_t step, ColourSource& s);

// What the expectation helpers write into `expected` for pixels skipStart to
// skipStart + n - 1 (n computed as the engine computes it).
int32_t convertedCount(uint32_t count, int16_t skipStart, uint16_t skipEnd);

enum class InkWrite { FourInk, Folded, MultiInk };
// An interpolating bitmap run; computeInks is what the member interpolates.
void expectInterpolatedRun(ReferenceConverter& ref, InkWrite write, int computeInks,
                           uint32_t inFormat, uint32_t outFormat, const std::vector<uint8_t>& src,
                           uint32_t step, std::vector<uint8_t>& expected, uint32_t count,
                           int16_t skipStart, uint16_t skipEnd);
void expectPreCorrectionRun(ReferenceConverter& ref, uint32_t inFormat, uint32_t outFormat,
                            const std::vector<uint8_t>& src, uint32_t step,
                            std::vector<uint8_t>& expected, uint32_t count, int16_t skipStart,
                            uint16_t skipEnd);

// A buffer of `size` bytes of a recognisable guard pattern.
std::vector<uint8_t> guardBuffer(size_t size, uint8_t seed = 0x5a);

struct RunShape {
    uint32_t count;
    int16_t skipStart;
    uint16_t skipEnd;
    uint32_t step; // as passed: 0 = the input format's size
};
// Mostly short runs, now and then a few thousand pixels; random skips and
// steps (0, the format's size, or wider).
RunShape randomRunShape(std::mt19937& rng, uint32_t inFormat);

// Runs `calls` random bitmap conversions between the given formats on the
// context and checks every destination byte against the model, then the
// whole cache.
void checkRandomBitmapRuns(EngineContext* context, ReferenceConverter& ref,
                           const std::vector<uint32_t>& inputs,
                           const std::vector<uint32_t>& outputs, InkWrite write, int computeInks,
                           uint32_t seed, int calls);

// Compares the engine's group-0 cache with the model's, slot by slot.
void expectSameCache(const EngineContext& context, const ReferenceConverter& ref);

} // namespace vrel::test
