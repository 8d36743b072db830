#include "setup/test_hooks.h"

#include "core/colour_cache.h"
#include "core/engine_context.h"

namespace vrel::testing {

namespace {

template <typename Entry> void emptyCache(void* block) {
    if (block == nullptr) {
        return;
    }
    auto* cache = static_cast<ColourCache<Entry>*>(block);
    for (Entry& entry : cache->entries) {
        entry = Entry{};
        entry.key = kEmptyCacheKey;
    }
}

} // namespace

void setProfileClass(EngineContext* context, uint32_t profileClass) {
    context->profileClass = profileClass;
    context->kernelFlags =
        profileClass == kPreparedProfileClass ? kKernelFlagsPrepared : kKernelFlagsDefault;
    for (TableGroup& group : context->groups) {
        emptyCache<CacheEntry8>(group.cache8Block.address);
        emptyCache<CacheEntry12>(group.cache12Block.address);
    }
}

} // namespace vrel::testing
