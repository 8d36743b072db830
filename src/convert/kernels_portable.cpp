// The kernels at the portable level: plain C++ for any processor, and the
// reference every other level must match byte for byte.
#define VREL_KERNEL_SET kPortableKernels
#define VREL_KERNEL_ISA KernelIsa::Portable
#define VREL_KERNEL_X86 0
#define VREL_KERNEL_WIDE 0
#include "convert/kernels_inl.h"
