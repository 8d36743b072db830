// Helpers of the table tests: a zero-filled engine context that frees the
// blocks hanging from it, and small grid builders.
#pragma once

#include "core/engine_context.h"
#include "resources/block_layer.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace vrel::tables_test {

// A context as VrelInit allocates it (zero-filled, default key layout),
// without a database behind it. The table groups' blocks are freed with it.
class ScratchContext {
  public:
    ScratchContext() : context_(new EngineContext{}) {
        context_->kernelFlags = kKernelFlagsDefault;
        context_->profileClass = kDefaultProfileClass;
        context_->initMagic = kInitMagic;
    }
    ~ScratchContext() {
        for (TableGroup& g : context_->groups) {
            freeBlock(&g.lutBlock);
            freeBlock(&g.cache8Block);
            freeBlock(&g.cache12Block);
        }
    }
    ScratchContext(const ScratchContext&) = delete;
    ScratchContext& operator=(const ScratchContext&) = delete;

    EngineContext* get() { return context_.get(); }
    EngineContext* operator->() { return context_.get(); }

  private:
    std::unique_ptr<EngineContext> context_;
};

// 0, 16, ..., 240, 255.
inline std::vector<uint8_t> defaultGridNodes() {
    std::vector<uint8_t> nodes;
    for (int i = 0; i < 16; ++i) {
        nodes.push_back(static_cast<uint8_t>(16 * i));
    }
    nodes.push_back(255);
    return nodes;
}

} // namespace vrel::tables_test
