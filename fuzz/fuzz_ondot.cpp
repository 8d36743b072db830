// Fuzz target: VrelOnDotBlack with fuzzer-chosen method, count, skips and
// plane contents. Each plane is allocated at exactly (count + 7) / 8 bytes.
// For a line of count >= 0 pixels and skipEnd >= 0 every result is compared
// with a per-pixel reference of the two rules; otherwise only the bits of the
// line may change and nothing outside the planes may be touched.
#include "exact_buffer.h"
#include "core/engine_context.h"
#include "run_extents.h"
#include "scratch_directory.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

namespace {

using vrel::hardening::ExactBuffer;
using vrel::hardening::harnessFailure;

bool bitOf(const std::vector<uint8_t>& plane, int p) {
    return ((plane[static_cast<size_t>(p / 8)] >> (7 - p % 8)) & 1) != 0;
}

void setBit(std::vector<uint8_t>& plane, int p, bool value) {
    const auto mask = static_cast<uint8_t>(0x80u >> (p % 8));
    auto& byte = plane[static_cast<size_t>(p / 8)];
    byte = static_cast<uint8_t>(value ? byte | mask : byte & ~mask);
}

// The two rules pixel by pixel, for count >= 0 and skipEnd >= 0.
int reference(int method, std::array<std::vector<uint8_t>, 4>& planes, int count, int skipStart,
              int skipEnd) {
    if (method != VrelMethodBlack && method != VrelMethodFourColor) {
        return VREL_ERR_PARAM;
    }
    const int end = count - skipEnd;
    const bool empty = skipStart < 0 || end <= skipStart;
    if (method == VrelMethodBlack) {
        for (int p = skipStart; !empty && p < end; ++p) {
            setBit(planes[3], p, !bitOf(planes[3], p));
        }
        return 0;
    }
    std::fill(planes[3].begin(), planes[3].end(), 0);
    for (int p = skipStart; !empty && p < end; ++p) {
        const bool c = bitOf(planes[0], p), m = bitOf(planes[1], p), y = bitOf(planes[2], p);
        const bool k = !(c || m || y);
        setBit(planes[3], p, k);
        setBit(planes[0], p, !(c || k));
        setBit(planes[1], p, !(m || k));
        setBit(planes[2], p, !(y || k));
    }
    return 0;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 7) {
        return 0;
    }
    static const int kMethods[] = {1, 4, 3, 6, 7, 0, 2, 5, -1, 8};
    // Only conversionMethod is read: a zero-filled context with the method set.
    EngineContext context;
    std::memset(&context, 0, sizeof context);
    context.conversionMethod = static_cast<int16_t>(kMethods[data[0] % 10]);
    const auto count = static_cast<int16_t>(data[1] | data[2] << 8);
    const auto skipStart = static_cast<int16_t>(data[3] | data[4] << 8);
    const auto skipEnd = static_cast<int16_t>(data[5] | data[6] << 8);
    data += 7;
    size -= 7;

    const size_t bytes = vrel::hardening::onDotPlaneBytes(count);
    std::array<ExactBuffer, 4> planes = {ExactBuffer(bytes), ExactBuffer(bytes), ExactBuffer(bytes),
                                         ExactBuffer(bytes)};
    std::array<std::vector<uint8_t>, 4> expected;
    for (size_t p = 0; p < 4; ++p) {
        for (size_t i = 0; i < bytes; ++i) {
            const size_t at = p * bytes + i;
            planes[p].data()[i] = at < size ? data[at] : static_cast<uint8_t>(at * 37);
        }
        expected[p].assign(planes[p].data(), planes[p].data() + bytes);
    }

    const int result =
        VrelOnDotBlack(planes[0].data(), planes[1].data(), planes[2].data(), planes[3].data(),
                       count, skipStart, skipEnd, 0xffffffffu, &context);
    if (count >= 0 && skipEnd >= 0) {
        const int wanted = reference(context.conversionMethod, expected, count, skipStart, skipEnd);
        if (result != wanted) {
            harnessFailure("on-dot black result differs from the reference");
        }
        for (size_t p = 0; p < 4; ++p) {
            if (bytes != 0 && std::memcmp(planes[p].data(), expected[p].data(), bytes) != 0) {
                harnessFailure("on-dot black planes differ from the reference");
            }
        }
    } else if (result != 0 && result != VREL_ERR_PARAM) {
        harnessFailure("on-dot black returned an unknown code");
    }
    return 0;
}
