#include "interface/context_view.h"

#include "core/engine_context.h"
#include "core/lut_block.h"

namespace vrel::inspect {

namespace {

TableView tableOf(const TableGroup& group) {
    const auto* lut = static_cast<const LutBlock*>(group.lutBlock.address);
    if (lut == nullptr) {
        return TableView{false, group.channels, group.gridPoints, group.nodes, nullptr};
    }
    return TableView{true, lut->lutChannels, lut->lutGridPoints, group.nodes, lut->grid()};
}

} // namespace

ContextView view(const EngineContext* context) {
    const SettingsRecord& s = context->settings;
    return ContextView{s.layout,
                       s.channelCount,
                       s.recordFlags,
                       s.lutChunkId,
                       s.correctionTableId,
                       s.inputKind,
                       s.adjustSwitch,
                       s.greyMode,
                       s.flagExtension != 0,
                       s.name1,
                       s.extChunk.extName9,
                       s.extChunk.extName10,
                       context->greyCurve,
                       context->inputCurve,
                       context->adjustCurves,
                       tableOf(context->groups[0]),
                       tableOf(context->groups[1])};
}

} // namespace vrel::inspect
