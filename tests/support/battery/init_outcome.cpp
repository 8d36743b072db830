// The allowed outcomes of VrelInit.
#include "init_outcome.h"

#include "core/engine_context.h"
#include "resources/block_layer.h"
#include "resources/file_layer.h"

namespace vrel::test {

long liveBlocks() {
    return vrel::testing::liveBlocks();
}

EngineContext* untouchedSlotMarker() {
    alignas(16) static unsigned char storage[16];
    return reinterpret_cast<EngineContext*>(storage);
}

const char* checkInitOutcome(int result, EngineContext* slot, bool expectAdjust, long liveBefore) {
    if (vrel::testing::openFiles() != 0) {
        return "a database file stayed open";
    }
    const bool unchanged = slot == untouchedSlotMarker();
    if (result == 0 || result == 1) {
        if (unchanged || slot == nullptr) {
            return "success without a context in the slot";
        }
        if (result != (expectAdjust ? 1 : 0)) {
            return "success value does not follow the adjustment switch";
        }
        if (slot->ready != 1 || slot->initMagic != kInitMagic) {
            return "a context handed out before it was complete";
        }
        return nullptr;
    }
    if (vrel::testing::liveBlocks() != liveBefore) {
        return "a failed start-up left blocks allocated";
    }
    if (result == VREL_ERR_MEMORY || result == VREL_ERR_PARAM || result == VREL_ERR_FILE) {
        return unchanged || slot == nullptr ? nullptr : "a failure left a context in the slot";
    }
    if (result == VREL_OK_KEPT) {
        return "VrelInit returned the value of a kept context";
    }
    // Any other value is a layout number the engine does not read; the slot
    // must not have been touched.
    return unchanged ? nullptr : "an unknown layout touched the slot";
}

} // namespace vrel::test
