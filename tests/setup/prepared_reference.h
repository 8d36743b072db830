// The prepared-table tests' view of the plain reference (support/reference.h)
// and a hand-built context for the tests that need no tables.
#pragma once

#include "core/engine_context.h"
#include "resources/block_layer.h"
#include "support/reference.h"

#include <cstdint>
#include <cstring>
#include <memory>
#include <random>

namespace setup_test {

using vrel::test::levelOf5Bit;

// The luminance of (r, g, b) through the grey curve and the black adjustment.
inline uint8_t referenceBlack(int r, int g, int b, const EngineContext& context) {
    return vrel::test::referenceLuminanceBlack(r, g, b, context.greyCurve, context.adjustCurves[3]);
}

// The four bytes of entry i of the context's prepared table.
inline uint32_t entryAt(const EngineContext& context, uint32_t i) {
    uint32_t value;
    std::memcpy(&value, static_cast<const uint8_t*>(context.preparedAddress) + 4 * i, 4);
    return value;
}

inline uint32_t bytesOf(uint8_t b0, uint8_t b1, uint8_t b2, uint8_t b3) {
    const uint8_t bytes[4] = {b0, b1, b2, b3};
    uint32_t value;
    std::memcpy(&value, bytes, 4);
    return value;
}

// A zero-filled context owned by the test, with random grey and black
// adjustment curves; only the fields that the black method reads are set.
// Its prepared table, if any, is freed with it.
class HandContext {
  public:
    HandContext(int16_t method, uint32_t profileClass, uint32_t seed)
        : context_(std::make_unique<EngineContext>()) {
        context_->conversionMethod = method;
        context_->profileClass = profileClass;
        std::mt19937 rng(seed);
        for (int i = 0; i < 256; ++i) {
            context_->greyCurve[i] = static_cast<uint8_t>(rng());
            context_->adjustCurves[3][i] = static_cast<uint8_t>(rng());
        }
    }
    ~HandContext() { vrel::freeBlock(&context_->preparedBlock); }
    HandContext(const HandContext&) = delete;
    HandContext& operator=(const HandContext&) = delete;

    EngineContext* get() const { return context_.get(); }
    EngineContext* operator->() const { return context_.get(); }

  private:
    std::unique_ptr<EngineContext> context_;
};

} // namespace setup_test
