// Fuzz target: VrelOnDotBlack with fuzzer-chosen method, count, skips and
// plane contents, on contexts opened once from databases written by the
// project's writer, one per conversion method a profile can name (1, 3, 4,
// 6, 7 and the odd channel counts 0, 2, 5, 8, which on-dot black refuses).
// Each plane is allocated at exactly (count + 7) / 8 bytes.
// For a line of count >= 0 pixels and skipEnd >= 0 every result is compared
// with a per-pixel reference of the two rules; otherwise only the bits of the
// line may change and nothing outside the planes may be touched.
#include "interface/context_view.h"
#include "run_extents.h"
#include "scratch_directory.h"
#include "support/test_support.h"

#include <array>
#include <cstring>
#include <string>
#include <vector>

namespace {

using vrel::test::ExactBuffer;
using vrel::test::harnessFailure;

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

// The first three are the methods of the seed corpus: black, four-colour and
// three-channel.
constexpr int kMethods[] = {1, 4, 3, 6, 7, 0, 2, 5, 8};
constexpr size_t kMethodCount = std::size(kMethods);
std::array<EngineContext*, kMethodCount> contexts;

EngineContext* openContext(int method) {
    using namespace vrel::test;
    const std::string name = "ondot" + std::to_string(method) + ".db";
    if (!vrel::dbwriter::writeDatabaseFile(scratchDirectory() + "/" + name,
                                           makeSampleDatabase(recipeForMethod(method)))) {
        harnessFailure("cannot write a sample database");
    }
    const ParamRecord params = standardParams(0, scratchDirectory().c_str(), name.c_str());
    EngineContext* context = nullptr;
    if (VrelInit(&context, &params) != VREL_OK ||
        vrel::inspect::view(context).channelCount != method) {
        harnessFailure("a sample database does not open with its method");
    }
    return context;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    for (size_t i = 0; i < kMethodCount; ++i) {
        contexts[i] = openContext(kMethods[i]);
    }
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 7) {
        return 0;
    }
    const size_t pick = data[0] % kMethodCount;
    const int method = kMethods[pick];
    const auto count = static_cast<int16_t>(data[1] | data[2] << 8);
    const auto skipStart = static_cast<int16_t>(data[3] | data[4] << 8);
    const auto skipEnd = static_cast<int16_t>(data[5] | data[6] << 8);
    data += 7;
    size -= 7;

    const size_t bytes = vrel::test::onDotPlaneBytes(count);
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
                       count, skipStart, skipEnd, 0xffffffffu, contexts[pick]);
    if (count >= 0 && skipEnd >= 0) {
        const int wanted = reference(method, expected, count, skipStart, skipEnd);
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
