// Turning one colour into one prepared-table entry, by conversion method.
#pragma once

#include "core/engine_context.h"

#include <cstdint>

namespace vrel {

struct EntryMaker {
    EngineContext* context;
    int16_t method;
    // Four-colour palette and mono tables only: correct the colour in place
    // through the correction table before converting it.
    bool correctFirst;
};

// The entry maker of the context's method. correctWhenAdjusting asks for the
// in-place correction when the caller's adjustments apply (adjustSwitch 1);
// it only takes effect for MethodFourColor.
EntryMaker entryMakerFor(EngineContext* context, bool correctWhenAdjusting);

// Writes the four entry bytes of the colour (red, green, blue), each 0..255,
// running it through the library's own single-pixel conversion exactly as a
// pixel of direct input would go. The results of the conversion and
// correction calls are not consulted: a pairing they do not handle leaves
// the entry zero.
void makeEntry(const EntryMaker& maker, uint8_t red, uint8_t green, uint8_t blue, uint8_t* entry);

} // namespace vrel
