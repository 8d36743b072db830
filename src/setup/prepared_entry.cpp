// One colour to one prepared-table entry: the black amount for MethodBlack,
// otherwise a one-pixel run through VrelBitmapColorConversion (preceded, for
// the four-colour palette and mono tables, by VrelBitmapColorCorrection).
// The exports are called directly: they live in this library.
#include "setup/prepared_entry.h"

#include "convert/conversion.h"
#include "core/pixel_formats.h"
#include "correct/correction.h"
#include "setup/prepared_table.h"

namespace vrel {

uint8_t blackFromRgb(int16_t red, int16_t green, int16_t blue, const EngineContext& context) {
    // For channels in 0..255 the sum never passes 255 (white: 77 + 150 + 28);
    // the mask keeps the curve index inside its 256 entries whatever comes in.
    const int luminance =
        (((77 * red + 128) >> 8) + ((151 * green + 128) >> 8) + ((28 * blue + 128) >> 8)) & 0xff;
    return context.adjustCurves[3][context.greyCurve[luminance]];
}

EntryMaker entryMakerFor(EngineContext* context, bool correctWhenAdjusting) {
    const int16_t method = context->conversionMethod;
    const bool correct = correctWhenAdjusting && method == VrelMethodFourColor &&
                         context->settings.adjustSwitch == 1;
    return EntryMaker{context, method, correct};
}

namespace {

void makeBlackEntry(const EntryMaker& maker, uint8_t red, uint8_t green, uint8_t blue,
                    uint8_t* entry) {
    entry[0] = 0;
    entry[1] = 0;
    entry[2] = 0;
    entry[3] = blackFromRgb(red, green, blue, *maker.context);
}

void makeThreeChannelEntry(const EntryMaker& maker, uint8_t red, uint8_t green, uint8_t blue,
                           uint8_t* entry) {
    // Xrgb32 in and out: byte 0 spare, then red, green, blue.
    const uint8_t source[4] = {0, red, green, blue};
    uint8_t result[4] = {0, 0, 0, 0};
    vrel::convertBitmap(Xrgb32, Xrgb32, source, result, 1, 0, 0, 0, maker.context);
    entry[0] = result[1];
    entry[1] = result[2];
    entry[2] = result[3];
    entry[3] = 0;
}

void makeFourColorEntry(const EntryMaker& maker, uint8_t red, uint8_t green, uint8_t blue,
                        uint8_t* entry) {
    uint8_t source[3] = {red, green, blue};
    if (maker.correctFirst) {
        vrel::correctBitmap(Rgb24, source, source, 1, 0, 0, maker.context);
    }
    // Kymc32 holds black, yellow, magenta, cyan; the entry holds C, M, Y, K so
    // that an ink kernel can copy it whole as a Cmyk32 pixel.
    uint8_t result[4] = {0, 0, 0, 0};
    vrel::convertBitmap(Rgb24, Kymc32, source, result, 1, 0, 0, 0, maker.context);
    entry[0] = result[3];
    entry[1] = result[2];
    entry[2] = result[1];
    entry[3] = result[0];
}

} // namespace

void makeEntry(const EntryMaker& maker, uint8_t red, uint8_t green, uint8_t blue, uint8_t* entry) {
    switch (maker.method) {
    case VrelMethodBlack:
        makeBlackEntry(maker, red, green, blue, entry);
        break;
    case VrelMethodThreeChannel:
        makeThreeChannelEntry(maker, red, green, blue, entry);
        break;
    case VrelMethodFourColor:
        makeFourColorEntry(maker, red, green, blue, entry);
        break;
    default:
        // No builder runs for the other methods; the entry stays zero.
        break;
    }
}

} // namespace vrel
