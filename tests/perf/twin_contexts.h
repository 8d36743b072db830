// Two contexts opened from the same database written by the project's
// writer: the portable kernels run on one, the level under test on the
// other, and their colour caches must stay byte for byte equal. Plus random runs of
// source pixels with the repeats, cache hits, whites and greys that exercise
// every branch of the conversion loop.
#pragma once

#include "convert/kernel_set.h"
#include "core/engine_context.h"
#include "core/lut_block.h"
#include "support/database_factory.h"
#include "support/test_support.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace vrel::test {

class TwinContexts {
  public:
    // A random group-0 grid of the method's channels (4, 6 or 7); uneven
    // nodes give an 11-point grid with irregular spacing. preparedClass
    // gives both contexts profile class 9 (the other key layout).
    TwinContexts(int method, uint32_t seed, bool unevenNodes, bool preparedClass = false);

    bool ok() const { return reference_ && production_; }
    EngineContext* reference() const { return reference_.get(); }
    EngineContext* production() const { return production_.get(); }
    const LutBlock* lut() const;

    // The same random grey and adjustment curves in both contexts (sums
    // above 255 included, so the fold's clamp is taken).
    void randomiseCurves(uint32_t seed);
    // Gives both contexts another key layout (shifts that drop bits make
    // different colours share a key).
    void setKernelFlags(uint32_t flags);
    // Both contexts' caches (of both groups, whichever layout) hold the same bytes.
    bool cachesEqual() const;

  private:
    TempDir dir_;
    ProfileFixture fixture_;
    std::unique_ptr<OpenContext> referenceOwner_, productionOwner_;
    std::shared_ptr<EngineContext> reference_, production_;
};

// A run of source pixels in a random input format.
struct RandomRun {
    uint32_t inFormat = 3;
    bool grey = false;
    uint8_t offsets[3] = {0, 1, 2};
    uint32_t step = 3;
    int pixels = 0;
    std::vector<uint8_t> source;

    const uint8_t* first() const { return source.data(); }
    int32_t count() const { return pixels; }
    static RandomRun make(dbwriter::Random& random, int maxPixels = 300);
    // Stretches of one colour (flat pages), up to 300 pixels each; within a
    // stretch the first two channels of a three-channel format are now and
    // then swapped, which a layout packing both at one shift keys alike.
    static RandomRun makeStretched(dbwriter::Random& random, int maxPixels = 3000);
};

// The new-colour levels this machine runs, portable first.
std::vector<KernelIsa> kernelIsaLevels();

// Caps the conversion calls' level for its lifetime (the test hook), then
// lifts the cap again.
class KernelIsaLimit {
  public:
    explicit KernelIsaLimit(KernelIsa highest) { testing::limitKernelIsa(highest); }
    ~KernelIsaLimit() { testing::limitKernelIsa(KernelIsa::Avx2); }
    KernelIsaLimit(const KernelIsaLimit&) = delete;
    KernelIsaLimit& operator=(const KernelIsaLimit&) = delete;
};

} // namespace vrel::test
