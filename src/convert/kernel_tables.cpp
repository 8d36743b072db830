#include "convert/kernel_tables.h"

#include "resources/block_layer.h"

namespace vrel {

namespace {

// Locks the group-0 table when it exists and has the group's channel count.
const LutBlock* groupZeroTable(EngineContext* context) {
    TableGroup& group = context->groups[0];
    if (group.lutBlock.address == nullptr) {
        return nullptr;
    }
    const auto* lut = static_cast<const LutBlock*>(group.lutBlock.address);
    if (lut->lutChannels != group.channels) {
        return nullptr;
    }
    return lut;
}

} // namespace

PreCorrectionCurves preCorrectionCurves(const EngineContext* context) {
    return PreCorrectionCurves{context->greyCurve, context->adjustCurves};
}

bool fourInkTables(EngineContext* context, InterpolationTables<CacheEntry8>* tables) {
    TableGroup& group = context->groups[0];
    if (group.channels < 4 || group.cache8Block.address == nullptr) {
        return false;
    }
    const LutBlock* lut = groupZeroTable(context);
    if (lut == nullptr) {
        return false;
    }
    auto* cache = static_cast<ColourCache8*>(group.cache8Block.address);
    *tables = InterpolationTables<CacheEntry8>{lut, cache, preCorrectionCurves(context),
                                               KeyLayout(context->kernelFlags)};
    return true;
}

bool multiInkTables(EngineContext* context, int inks, InterpolationTables<CacheEntry12>* tables,
                    int* computeInks) {
    TableGroup& group = context->groups[0];
    if (group.channels < inks || group.cache12Block.address == nullptr) {
        return false;
    }
    const LutBlock* lut = groupZeroTable(context);
    if (lut == nullptr) {
        return false;
    }
    auto* cache = static_cast<ColourCache12*>(group.cache12Block.address);
    *tables = InterpolationTables<CacheEntry12>{lut, cache, preCorrectionCurves(context),
                                                KeyLayout(context->kernelFlags)};
    *computeInks = group.channels >= 7 ? 7 : 6;
    return true;
}

} // namespace vrel
