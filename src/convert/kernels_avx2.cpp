// The kernels at the AVX2 level (this file is built with -mavx2).
#define VREL_KERNEL_SET kAvx2Kernels
#define VREL_KERNEL_ISA KernelIsa::Avx2
#define VREL_KERNEL_X86 1
#define VREL_KERNEL_WIDE 1
#include "convert/kernels_inl.h"
