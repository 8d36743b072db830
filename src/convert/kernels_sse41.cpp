// The kernels at the SSE4.1 level (this file is built with -msse4.1).
#define VREL_KERNEL_SET kSse41Kernels
#define VREL_KERNEL_ISA KernelIsa::Sse41
#define VREL_KERNEL_X86 1
#define VREL_KERNEL_WIDE 0
#include "convert/kernels_inl.h"
