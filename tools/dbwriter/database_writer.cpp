// Implementation in progress; the public API is include/vrel/dbwriter.h.
#include <vrel/dbwriter.h>

namespace vrel::dbwriter {} // namespace vrel::dbwriter
