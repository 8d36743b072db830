// Run-time detection of the new-colour path's instruction-set level.
#include "convert/kernel_isa.h"

#include <algorithm>
#include <atomic>

namespace vrel {

namespace {

KernelIsa detectKernelIsa() {
#ifdef VREL_X86_KERNELS
    // The library's checks also require the operating system to save the
    // wide registers before reporting AVX2.
    __builtin_cpu_init();
    if (__builtin_cpu_supports("avx2")) {
        return KernelIsa::Avx2;
    }
    if (__builtin_cpu_supports("sse4.1")) {
        return KernelIsa::Sse41;
    }
#endif
    return KernelIsa::Portable;
}

std::atomic<int> isaLimit{static_cast<int>(KernelIsa::Avx2)};

} // namespace

KernelIsa supportedKernelIsa() {
    static const KernelIsa best = detectKernelIsa();
    return best;
}

KernelIsa kernelIsa() {
    const int limit = isaLimit.load(std::memory_order_relaxed);
    return static_cast<KernelIsa>(std::min(static_cast<int>(supportedKernelIsa()), limit));
}

namespace testing {
void limitKernelIsa(KernelIsa highest) {
    isaLimit.store(static_cast<int>(highest), std::memory_order_relaxed);
}
} // namespace testing

} // namespace vrel
