// The one place where the kernels' instruction-set level is chosen, for
// every kernel family (interpolation, correction, on-dot rules), once per
// process: the best level the processor supports, unless the environment
// variable VREL_FORCE_PORTABLE is 1, which forces the portable instances
// (the only environment variable the library reads).
#include "convert/kernel_set.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>

namespace vrel {

extern const KernelSet kPortableKernels;
#if VREL_X86_KERNELS
extern const KernelSet kSse41Kernels;
extern const KernelSet kAvx2Kernels;
#endif

namespace {

KernelIsa detectKernelIsa() {
    const char* force = std::getenv("VREL_FORCE_PORTABLE");
    if (force != nullptr && std::strcmp(force, "1") == 0) {
        return KernelIsa::Portable;
    }
#if VREL_X86_KERNELS
    // The compiler's checks also require the operating system to save the
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

const KernelSet& kernels() {
#if VREL_X86_KERNELS
    switch (kernelIsa()) {
    case KernelIsa::Avx2:
        return kAvx2Kernels;
    case KernelIsa::Sse41:
        return kSse41Kernels;
    case KernelIsa::Portable:
        break;
    }
#endif
    return kPortableKernels;
}

namespace testing {
void limitKernelIsa(KernelIsa highest) {
    isaLimit.store(static_cast<int>(highest), std::memory_order_relaxed);
}
} // namespace testing

} // namespace vrel
