// VrelInitColorConversion: the driver announces the class of input pixels it
// is about to send; together with the context's conversion method this
// decides whether a prepared direct lookup table is needed and which builder
// makes it.
#include "setup/prepared_table.h"

namespace vrel {

namespace {

enum class PairAction { AcceptWithoutTable, Refuse, Build };

// The method x mode matrix. MethodFourColor takes Gray8 through its grey
// interpolation kernel, six and seven inks have no prepared tables, and any
// method outside 1, 3, 4, 6, 7 is refused for every mode.
PairAction actionFor(int16_t method, uint32_t mode) {
    const bool direct = mode == VrelModeDirect;
    const bool directOrGray = direct || mode == VrelModeGray;
    switch (method) {
    case VrelMethodBlack:
    case VrelMethodThreeChannel:
        return direct ? PairAction::AcceptWithoutTable : PairAction::Build;
    case VrelMethodFourColor:
        return directOrGray ? PairAction::AcceptWithoutTable : PairAction::Build;
    case VrelMethodSixColor:
    case VrelMethodSevenColor:
        return directOrGray ? PairAction::AcceptWithoutTable : PairAction::Refuse;
    default:
        return PairAction::Refuse;
    }
}

VrelResult runBuilder(EngineContext* context, uint32_t mode, const PaletteRecord* const* palette) {
    switch (mode) {
    case VrelModeRgb555:
        return buildRgb555Table(context);
    case VrelModePalette:
        return buildPaletteTable(context, palette);
    case VrelModeGray:
        return buildGrayTable(context);
    case VrelModeMono:
        return buildMonoTable(context);
    default:
        return VREL_OK;
    }
}

} // namespace

} // namespace vrel

// Result: the conversion method (positive) on success, VREL_ERR_PARAM for a
// mode above 4 or a refused pair, VREL_ERR_MEMORY when the table cannot be
// allocated. Tables are built only for a context of profile class 9; on any
// other context the call records the mode and returns the method, keeping
// whatever table is there.
VrelResult vrel::prepareConversion(EngineContext* context, uint32_t mode,
                                   const PaletteRecord* const* palette) {
    // A null context is refused rather than dereferenced.
    if (context == nullptr) {
        return VREL_ERR_PARAM;
    }
    context->conversionMode = mode; // recorded even when out of range
    if (mode > VrelModeMono) {
        return VREL_ERR_PARAM; // the status bit is not touched on this path
    }
    VrelResult result = context->conversionMethod;
    if (context->profileClass != vrel::kPreparedProfileClass) {
        context->statusBits |= vrel::kStatusModeSelected;
        return result;
    }
    // The previous table goes before the pair is examined, so a refused call
    // also leaves the context without one.
    vrel::releasePreparedTable(context);
    switch (vrel::actionFor(context->conversionMethod, mode)) {
    case vrel::PairAction::AcceptWithoutTable:
        break;
    case vrel::PairAction::Refuse:
        result = VREL_ERR_PARAM;
        break;
    case vrel::PairAction::Build:
        if (vrel::runBuilder(context, mode, palette) != VREL_OK) {
            result = VREL_ERR_MEMORY;
        }
        break;
    }
    context->statusBits |= vrel::kStatusModeSelected;
    return result;
}
