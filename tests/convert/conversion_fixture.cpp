#include "conversion_fixture.h"

#include "core/colour_cache.h"
#include "core/lut_block.h"

#include <algorithm>
#include <cstring>
#include <random>
#include <set>

namespace vrel::test {

std::vector<uint8_t> defaultNodes() {
    std::vector<uint8_t> nodes;
    for (int i = 0; i < 16; ++i) {
        nodes.push_back(static_cast<uint8_t>(16 * i));
    }
    nodes.push_back(255);
    return nodes;
}

std::vector<uint8_t> randomNodes(int points, uint32_t seed) {
    std::mt19937 rng(seed);
    std::set<int> inner;
    while (static_cast<int>(inner.size()) < points - 2) {
        inner.insert(1 + static_cast<int>(rng() % 254));
    }
    std::vector<uint8_t> nodes{0};
    for (int v : inner) {
        nodes.push_back(static_cast<uint8_t>(v));
    }
    nodes.push_back(255);
    return nodes;
}

void TestContext::Deleter::operator()(EngineContext* c) const {
    delete c;
}

TestContext::TestContext(int16_t method) : context_(new EngineContext{}) {
    EngineContext* c = context_.get();
    c->conversionMethod = method;
    c->profileClass = kDefaultProfileClass;
    c->kernelFlags = kKernelFlagsDefault;
    c->initMagic = kInitMagic;
    c->ready = 1;
    for (int v = 0; v < 256; ++v) {
        c->greyCurve[v] = static_cast<uint8_t>(v);
        for (auto& curve : c->adjustCurves) {
            curve[v] = static_cast<uint8_t>(v);
        }
    }
    c->groups[0].channels = static_cast<uint8_t>(method == 3 ? 4 : method);
}

TestContext::~TestContext() = default;

void TestContext::setTable(int channels, const std::vector<uint8_t>& nodes,
                           const std::vector<uint8_t>& grid) {
    const uint32_t n = static_cast<uint32_t>(nodes.size());
    const uint32_t c = static_cast<uint32_t>(channels);
    lutSize_ = lutBlockSize(c, n);
    lut_.assign((lutSize_ + 7) / 8, 0);
    auto* lut = reinterpret_cast<LutBlock*>(lut_.data());
    lut->lutMagic = kLutMagic;
    lut->lutChannels = static_cast<uint8_t>(c);
    lut->lutGridPoints = static_cast<uint8_t>(n);
    lut->lutGridBytes = n * n * n * c;
    lut->stride0 = n * n * c;
    lut->stride1 = n * c;
    lut->stride2 = c;
    uint32_t j = 0;
    for (uint32_t v = 0; v < 256; ++v) {
        while (j + 1 < n && nodes[j + 1] <= v) {
            ++j;
        }
        AxisEntry& a = lut->axisTable[v];
        if (j < n - 1) {
            const uint32_t width = nodes[j + 1] - nodes[j];
            a.fraction = ((v - nodes[j]) * 65536 + width / 2) / width;
        } else {
            a.fraction = 0;
        }
        a.offset0 = j * lut->stride0;
        a.offset1 = j * lut->stride1;
        a.offset2 = j * lut->stride2;
    }
    // Inner corners of the six tetrahedra as (axis 0, axis 1, axis 2) steps.
    static const int steps[6][2][3] = {{{0, 0, 1}, {0, 1, 1}}, {{0, 0, 1}, {1, 0, 1}},
                                       {{1, 0, 0}, {1, 0, 1}}, {{0, 1, 0}, {0, 1, 1}},
                                       {{0, 1, 0}, {1, 1, 0}}, {{1, 0, 0}, {1, 1, 0}}};
    for (int t = 0; t < 6; ++t) {
        for (int k = 0; k < 2; ++k) {
            lut->cornerTable[3 * t + k] = steps[t][k][0] * lut->stride0 +
                                          steps[t][k][1] * lut->stride1 +
                                          steps[t][k][2] * lut->stride2;
        }
        lut->cornerTable[3 * t + 2] = lut->stride0 + lut->stride1 + lut->stride2;
    }
    std::memcpy(lut->grid(), grid.data(), lut->lutGridBytes);
    lut->lutReady = kLutReady;

    TableGroup& group = context_->groups[0];
    group.channels = static_cast<uint8_t>(c);
    group.gridPoints = static_cast<uint8_t>(n);
    std::memcpy(group.nodes, nodes.data(), n);
    group.lutBlock = BlockHandle{lut, 0, 0};
    group.cache8Block = BlockHandle{};
    group.cache12Block = BlockHandle{};
    if (c < 5) {
        cache_.assign((sizeof(ColourCache8) + 7) / 8, 0);
        auto* cache = reinterpret_cast<ColourCache8*>(cache_.data());
        cache->slotCount = kCacheSlots;
        for (auto& e : cache->entries) {
            e.key = kEmptyCacheKey;
        }
        group.cache8Block = BlockHandle{cache, 0, 0};
    } else {
        cache_.assign((sizeof(ColourCache12) + 7) / 8, 0);
        auto* cache = reinterpret_cast<ColourCache12*>(cache_.data());
        cache->slotCount = kCacheSlots;
        for (auto& e : cache->entries) {
            e.key = kEmptyCacheKey;
        }
        group.cache12Block = BlockHandle{cache, 0, 0};
    }
}

void TestContext::setRandomCurves(uint32_t seed, bool wide) {
    std::mt19937 rng(seed);
    EngineContext* c = context_.get();
    for (int v = 0; v < 256; ++v) {
        c->greyCurve[v] = static_cast<uint8_t>(
            wide ? rng() : std::min<uint32_t>(255u, static_cast<uint32_t>(v) + rng() % 8));
        for (auto& curve : c->adjustCurves) {
            curve[v] = static_cast<uint8_t>(wide ? rng() : v / 2 + rng() % 4);
        }
    }
}

void TestContext::setPrepared(uint32_t mode, const std::vector<uint8_t>& entries) {
    prepared_.assign((entries.size() + 7) / 8, 0);
    std::memcpy(prepared_.data(), entries.data(), entries.size());
    context_->preparedBlock = BlockHandle{prepared_.data(), 0, 0};
    context_->preparedAddress = prepared_.data();
    context_->conversionMode = mode;
}

void TestContext::forceThreeChannel() {
    context_->settings.paramsCopy.methodOverride = 1;
    context_->params.methodOverride = 1;
}

} // namespace vrel::test
