// The instruction-set level of the conversion loops' new-colour path,
// detected once per process and chosen once per call (never per pixel), so
// that the library runs on any processor of its architecture and uses the
// wider multiplies where the processor has them.
#pragma once

// The x86 levels are compiled with per-function target attributes (the rest
// of the library keeps the baseline instruction set); elsewhere, and in the
// reference build (-DVREL_SCALAR_KERNELS), only the portable level exists.
#if (defined(__x86_64__) || defined(__i386__)) && defined(__GNUC__) && !defined(VREL_SCALAR_KERNELS)
#define VREL_X86_KERNELS 1
#endif

namespace vrel {

enum class KernelIsa : int {
    Portable = 0, // plain C++ (with SSE2 where the target has it)
    Sse41 = 1,    // 32-bit lane multiplies of four inks at once
    Avx2 = 2,     // the same, eight inks at once
};

// The best level this processor (and its operating system) runs.
KernelIsa supportedKernelIsa();

// The level a conversion call uses: the supported one, unless a test has
// lowered it.
KernelIsa kernelIsa();

namespace testing {
// Test hook: caps the level conversion calls use (KernelIsa::Portable forces
// the portable path); KernelIsa::Avx2 lifts the cap again. Not an option of
// the library: nothing outside the tests calls it.
void limitKernelIsa(KernelIsa highest);
} // namespace testing

} // namespace vrel
