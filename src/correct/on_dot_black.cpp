// VrelOnDotBlack: one line of bilevel bit planes turned from the light sense
// into ink dots, in place.
//
//   MethodBlack      plane 3 inverted over the range.
//   MethodFourColor  K = NOT (C OR M OR Y); then C, M, Y = NOT (plane OR K)
//                    over the range; the black plane is cleared for the whole
//                    line first, so its bits outside the range end up 0.
//
// Both rules are pure logic on whole bytes (on_dot_rules.h). On x86-64 with
// GCC or Clang the bytes between the partial ends go 32 at a time when the
// processor has AVX2, else 16 at a time; the choice is made on every call
// from the processor's feature bits, so the library keeps no state for it.
#include "correct/on_dot_rules.h"
#include "interface/engine_context.h"

#if VREL_HAS_VECTOR_BLOCKS && defined(__x86_64__)
#define VREL_ONDOT_AVX2 1
#else
#define VREL_ONDOT_AVX2 0
#endif

namespace vrel::ondot {

namespace {

#if VREL_HAS_VECTOR_BLOCKS
using BaselineBlock = VectorBlock16;
#else
using BaselineBlock = WordBlock;
#endif

void blackRule(uint8_t* plane, const BitRange& range) {
    invertRange<BaselineBlock>(plane, range);
}

void fourColourRule(uint8_t* c, uint8_t* m, uint8_t* y, uint8_t* k, int32_t lineBytes,
                    const BitRange& range) {
    fourColourRange<BaselineBlock>(c, m, y, k, lineBytes, range);
}

#if VREL_ONDOT_AVX2
__attribute__((target("avx2"))) void blackRuleAvx2(uint8_t* plane, const BitRange& range) {
    invertRange<VectorBlock32>(plane, range);
}

__attribute__((target("avx2"))) void fourColourRuleAvx2(uint8_t* c, uint8_t* m, uint8_t* y,
                                                        uint8_t* k, int32_t lineBytes,
                                                        const BitRange& range) {
    fourColourRange<VectorBlock32>(c, m, y, k, lineBytes, range);
}

bool hasAvx2() {
    return __builtin_cpu_supports("avx2") != 0;
}
#endif

} // namespace

} // namespace vrel::ondot

// Result: 0 after processing, VREL_ERR_PARAM (no plane touched) when the
// context's method is neither MethodBlack nor MethodFourColor.
//
// The range is [skipStart, count - skipEnd). A negative skipStart or an end
// at or before the start is an empty range. The range never reaches past the
// line: a negative count is a line of no pixels, and a negative skipEnd is
// taken as 0, so nothing beyond the (count + 7) / 8 bytes of each plane is
// ever read or written.
extern "C" VREL_API VrelResult VREL_CALL VrelOnDotBlack(uint8_t* plane0, uint8_t* plane1,
                                                        uint8_t* plane2, uint8_t* plane3,
                                                        int16_t count, int16_t skipStart,
                                                        int16_t skipEnd, uint32_t /*reserved*/,
                                                        EngineContext* context) {
    using namespace vrel::ondot;
    if (context == nullptr) {
        return VREL_ERR_PARAM;
    }
    const int16_t method = context->conversionMethod;
    if (method != VrelMethodBlack && method != VrelMethodFourColor) {
        return VREL_ERR_PARAM;
    }
    const int32_t pixels = count < 0 ? 0 : count;
    const int32_t end = skipEnd < 0 ? pixels : pixels - skipEnd;
    const BitRange range = bitRange(skipStart, end);
    const int32_t lineBytes = (pixels + 7) / 8;
#if VREL_ONDOT_AVX2
    if (hasAvx2()) {
        if (method == VrelMethodBlack) {
            blackRuleAvx2(plane3, range);
        } else {
            fourColourRuleAvx2(plane0, plane1, plane2, plane3, lineBytes, range);
        }
        return VREL_OK;
    }
#endif
    if (method == VrelMethodBlack) {
        blackRule(plane3, range);
    } else {
        fourColourRule(plane0, plane1, plane2, plane3, lineBytes, range);
    }
    return VREL_OK;
}
