// Host byte-order test and in-place swapping of file data.
#include "resources/byte_order.h"

#include <cstddef>
#include <cstring>
#include <utility>

namespace vrel {

int hostIsBigEndian() {
    const uint16_t probe = 0x1234;
    uint8_t first;
    std::memcpy(&first, &probe, 1);
    return first == 0x12 ? 1 : 0;
}

void swapBytes(void* address, int32_t length, int16_t unit) {
    if (length <= 0 || (unit != 2 && unit != 4)) {
        return;
    }
    auto* bytes = static_cast<uint8_t*>(address);
    const int32_t groups = length / unit;
    for (int32_t g = 0; g < groups; ++g) {
        uint8_t* p = bytes + static_cast<std::ptrdiff_t>(g) * unit;
        if (unit == 2) {
            std::swap(p[0], p[1]);
        } else {
            std::swap(p[0], p[3]);
            std::swap(p[1], p[2]);
        }
    }
}

} // namespace vrel
