// VrelOnDotBlack: one line of bilevel bit planes turned from the light sense
// into ink dots, in place.
//
//   MethodBlack      plane 3 inverted over the range.
//   MethodFourColor  K = NOT (C OR M OR Y); then C, M, Y = NOT (plane OR K)
//                    over the range; the black plane is cleared for the whole
//                    line first, so its bits outside the range end up 0.
//
// Both rules are pure logic on whole bytes (on_dot_rules.h); the bytes
// between the partial ends go a block at a time, the block as wide as the
// kernels' level (kernel_set.h) allows.
#include "convert/kernel_set.h"
#include "core/engine_context.h"
#include "correct/correction.h"

// Result: 0 after processing, VREL_ERR_PARAM (no plane touched) when the
// context's method is neither MethodBlack nor MethodFourColor.
//
// The range is [skipStart, count - skipEnd). A negative skipStart or an end
// at or before the start is an empty range. The range never reaches past the
// line: a negative count is a line of no pixels, and a negative skipEnd is
// taken as 0, so nothing beyond the (count + 7) / 8 bytes of each plane is
// ever read or written.
VrelResult vrel::onDotBlack(uint8_t* plane0, uint8_t* plane1, uint8_t* plane2, uint8_t* plane3,
                            int16_t count, int16_t skipStart, int16_t skipEnd,
                            uint32_t /*reserved*/, EngineContext* context) {
    using namespace vrel;
    if (context == nullptr) {
        return VREL_ERR_PARAM;
    }
    const int16_t method = context->conversionMethod;
    if (method != VrelMethodBlack && method != VrelMethodFourColor) {
        return VREL_ERR_PARAM;
    }
    const int32_t pixels = count < 0 ? 0 : count;
    const int32_t end = skipEnd < 0 ? pixels : pixels - skipEnd;
    const ondot::BitRange range = ondot::bitRange(skipStart, end);
    const int32_t lineBytes = (pixels + 7) / 8;
    if (method == VrelMethodBlack) {
        kernels().invertRange(plane3, range);
    } else {
        kernels().fourColourRange(plane0, plane1, plane2, plane3, lineBytes, range);
    }
    return VREL_OK;
}
