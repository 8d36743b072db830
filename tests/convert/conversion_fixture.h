// Engine contexts built by hand for the conversion tests: a group-0 table
// laid out as the loader lays it out, a fresh colour cache of the layout the
// channel count calls for, curves, and an optional prepared table.
#pragma once

#include "core/engine_context.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace vrel::test {

// 0, 16, ..., 240, 255.
std::vector<uint8_t> defaultNodes();
// `points` rising positions from 0 to 255 (2..64 points), drawn from seed.
std::vector<uint8_t> randomNodes(int points, uint32_t seed);

class TestContext {
  public:
    // A context of the given method with identity curves, no group-0 table
    // and no prepared table; kernelFlags takes the default key layout.
    explicit TestContext(int16_t method);
    ~TestContext();
    TestContext(const TestContext&) = delete;
    TestContext& operator=(const TestContext&) = delete;

    EngineContext* get() { return context_.get(); }
    EngineContext* operator->() { return context_.get(); }

    // Group-0 table from node-interleaved grid data (the `channels` bytes of
    // a grid point adjacent, axis 2 fastest), with a fresh cache: 8-byte
    // entries below 5 channels, 12-byte entries from 5 on.
    void setTable(int channels, const std::vector<uint8_t>& nodes,
                  const std::vector<uint8_t>& interleavedGrid);
    // Random curves from seed; `wide` curves often push the pre-correction
    // sums to 256 and over.
    void setRandomCurves(uint32_t seed, bool wide);
    // A prepared table of four-byte entries, recorded as prepared for `mode`.
    void setPrepared(uint32_t mode, const std::vector<uint8_t>& entries);
    // Marks the context as one whose record forces three-channel output.
    void forceThreeChannel();

    const uint8_t* lutBytes() const { return lut_.empty() ? nullptr : bytesOf(lut_); }
    size_t lutSize() const { return lutSize_; }

  private:
    static const uint8_t* bytesOf(const std::vector<uint64_t>& v) {
        return reinterpret_cast<const uint8_t*>(v.data());
    }
    struct Deleter {
        void operator()(EngineContext* c) const;
    };
    std::unique_ptr<EngineContext, Deleter> context_;
    std::vector<uint64_t> lut_, cache_, prepared_;
    size_t lutSize_ = 0;
};

} // namespace vrel::test
