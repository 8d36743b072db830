#include "conversion_rig.h"

#include "core/colour_cache.h"

#include <gtest/gtest.h>

namespace vrel::test {

namespace {
constexpr uint8_t X = 0xff;
const FormatLayout kLayouts[23] = {
    {{2, 1, 0, 0, 0, 0, 0}, 3}, {{2, 1, 0, 0, 0, 0, 0}, 4}, {{3, 2, 1, 0, 0, 0, 0}, 4},
    {{0, 1, 2, 0, 0, 0, 0}, 3}, {{0, 0, 0, X, X, X, X}, 2}, {{1, 2, 3, 0, 0, 0, 0}, 4},
    {{X, X, X, X, X, X, X}, X}, {{X, X, X, X, X, X, X}, 1}, {{X, X, X, X, X, X, X}, X},
    {{0, 0, 0, 0, 0, 0, 0}, 1}, {{X, X, X, X, X, X, X}, X}, {{0, 0, 0, 0, 0, 0, 0}, 1},
    {{0, 0, 0, 3, 0, 0, 0}, 4}, {{0, 1, 2, 3, 0, 0, 0}, 4}, {{X, X, X, X, X, X, X}, X},
    {{3, 2, 1, 0, 0, 0, 0}, 4}, {{0, 1, 2, 3, 4, 5, 0}, 6}, {{X, X, X, X, X, X, X}, X},
    {{3, 2, 1, 0, 5, 4, 0}, 6}, {{0, 1, 2, 3, 4, 5, 6}, 7}, {{X, X, X, X, X, X, X}, X},
    {{3, 2, 1, 0, 6, 5, 4}, 7}, {{0, 0, 0, 3, 0, 0, 0}, 4}};

std::vector<uint8_t> randomGrid(size_t size, uint32_t seed) {
    std::mt19937 rng(seed);
    std::vector<uint8_t> g(size);
    for (auto& b : g) {
        b = static_cast<uint8_t>(rng());
    }
    return g;
}
// Key layout and curves, set before the model copies them.
const EngineContext& configured(TestContext& context, const RigOptions& o) {
    context->kernelFlags = o.kernelFlags;
    if (o.curveSeed != 0) {
        context.setRandomCurves(o.curveSeed, o.wideCurves);
    }
    return *context.get();
}
} // namespace

const FormatLayout& layoutOf(uint32_t format) {
    return kLayouts[format];
}
bool isDirectColour(uint32_t f) {
    return f <= 3 || f == 5;
}
bool isGreyInput(uint32_t f) {
    return f == 9 || f == 22;
}

Rig::Rig(const RigOptions& o)
    : context(o.method), channels(o.method == 3 ? 4 : o.method),
      grid(randomGrid(o.nodes.size() * o.nodes.size() * o.nodes.size() *
                          static_cast<size_t>(o.method == 3 ? 4 : o.method),
                      o.gridSeed)),
      reference(configured(context, o), channels, o.nodes, grid) {
    if (o.method != 1) {
        context.setTable(channels, o.nodes, grid);
    }
}

ColourSource::ColourSource(uint32_t seed) : rng_(seed) {
    auto add = [&](int r, int g, int b) {
        pool_.push_back(
            {static_cast<uint8_t>(r), static_cast<uint8_t>(g), static_cast<uint8_t>(b)});
    };
    add(255, 255, 255);
    add(0, 0, 0);
    add(0x12, 0x34, 0x56); // these two share a slot
    add(0x22, 0x44, 0x66);
    add(0x1f, 0x2f, 0x3f); // the white slot under the default key layout
    for (int g : {1, 17, 128, 200, 254}) {
        add(g, g, g);
    }
    for (int i = 0; i < 24; ++i) {
        add(rng_() & 0xff, rng_() & 0xff, rng_() & 0xff);
    }
}

std::array<uint8_t, 3> ColourSource::next() {
    const uint32_t pick = rng_() % 16;
    if (pick < 5) {
        return last_; // a run of one colour
    }
    if (pick < 12) {
        last_ = pool_[rng_() % pool_.size()];
    } else {
        last_ = {static_cast<uint8_t>(rng_()), static_cast<uint8_t>(rng_()),
                 static_cast<uint8_t>(rng_())};
    }
    return last_;
}

std::vector<uint8_t> makeSource(uint32_t format, uint32_t count, uint32_t step, ColourSource& s) {
    std::vector<uint8_t> src(static_cast<size_t>(count) * step + 8);
    for (auto& b : src) {
        b = static_cast<uint8_t>(s.rng()());
    }
    const FormatLayout& f = layoutOf(format);
    for (uint32_t p = 0; p < count; ++p) {
        const std::array<uint8_t, 3> c = s.next();
        uint8_t* px = &src[static_cast<size_t>(p) * step];
        if (isGreyInput(format)) {
            px[0] = c[0];
        } else {
            px[f.offset[0]] = c[0];
            px[f.offset[1]] = c[1];
            px[f.offset[2]] = c[2];
        }
    }
    return src;
}

int32_t convertedCount(uint32_t count, int16_t skipStart, uint16_t skipEnd) {
    return static_cast<int16_t>(
        static_cast<uint16_t>(count - static_cast<uint16_t>(skipStart) - skipEnd));
}

namespace {
std::array<uint8_t, 3> readColour(uint32_t format, const uint8_t* px) {
    if (isGreyInput(format)) {
        return {px[0], px[0], px[0]};
    }
    const FormatLayout& f = layoutOf(format);
    return {px[f.offset[0]], px[f.offset[1]], px[f.offset[2]]};
}
} // namespace

void expectInterpolatedRun(ReferenceConverter& ref, InkWrite write, int computeInks,
                           uint32_t inFormat, uint32_t outFormat, const std::vector<uint8_t>& src,
                           uint32_t step, std::vector<uint8_t>& expected, uint32_t count,
                           int16_t skipStart, uint16_t skipEnd) {
    const FormatLayout& out = layoutOf(outFormat);
    const int32_t n = convertedCount(count, skipStart, skipEnd);
    ref.beginRun();
    for (int32_t p = skipStart; p < skipStart + n; ++p) {
        const std::array<uint8_t, 3> c = readColour(inFormat, &src[static_cast<size_t>(p) * step]);
        const std::array<uint8_t, 8> inks = ref.convert(c[0], c[1], c[2], computeInks);
        uint8_t* px = &expected[static_cast<size_t>(p) * out.bytesPerPixel];
        if (write == InkWrite::Folded) {
            const std::array<uint8_t, 3> rgb = foldReference(inks);
            for (int k = 0; k < 3; ++k) {
                px[out.offset[k]] = rgb[k];
            }
        } else {
            const int written = write == InkWrite::FourInk ? 4 : out.bytesPerPixel;
            for (int k = 0; k < written; ++k) {
                px[out.offset[k]] = inks[k];
            }
        }
    }
}

void expectPreCorrectionRun(ReferenceConverter& ref, uint32_t inFormat, uint32_t outFormat,
                            const std::vector<uint8_t>& src, uint32_t step,
                            std::vector<uint8_t>& expected, uint32_t count, int16_t skipStart,
                            uint16_t skipEnd) {
    const FormatLayout& out = layoutOf(outFormat);
    const int32_t n = convertedCount(count, skipStart, skipEnd);
    ref.beginPreCorrectionRun();
    for (int32_t p = skipStart; p < skipStart + n; ++p) {
        const std::array<uint8_t, 3> c = readColour(inFormat, &src[static_cast<size_t>(p) * step]);
        const std::array<uint8_t, 3> pc = ref.preCorrectionOnly(c[0], c[1], c[2]);
        uint8_t* px = &expected[static_cast<size_t>(p) * out.bytesPerPixel];
        for (int k = 0; k < 3; ++k) {
            px[out.offset[k]] = pc[k];
        }
    }
}

std::vector<uint8_t> guardBuffer(size_t size, uint8_t seed) {
    std::vector<uint8_t> b(size);
    for (size_t i = 0; i < size; ++i) {
        b[i] = static_cast<uint8_t>(seed + 37 * i);
    }
    return b;
}

RunShape randomRunShape(std::mt19937& rng, uint32_t inFormat) {
    RunShape s{};
    const uint32_t pick = rng() % 10;
    s.count = pick == 0 ? 1000 + rng() % 3000 : 1 + rng() % 40;
    s.skipStart = static_cast<int16_t>(rng() % 3 == 0 ? 0 : rng() % (s.count + 1));
    s.skipEnd = static_cast<uint16_t>(rng() % 3 == 0 ? 0 : rng() % (s.count + 2));
    const uint32_t size = layoutOf(inFormat).bytesPerPixel;
    const uint32_t stepPick = rng() % 3;
    s.step = stepPick == 0 ? 0 : stepPick == 1 ? size : size + 1 + rng() % 5;
    return s;
}

void checkRandomBitmapRuns(EngineContext* context, ReferenceConverter& ref,
                           const std::vector<uint32_t>& inputs,
                           const std::vector<uint32_t>& outputs, InkWrite write, int computeInks,
                           uint32_t seed, int calls) {
    ColourSource colours(seed);
    std::mt19937& rng = colours.rng();
    for (int call = 0; call < calls; ++call) {
        const uint32_t in = inputs[rng() % inputs.size()];
        const uint32_t out = outputs[rng() % outputs.size()];
        const RunShape shape = randomRunShape(rng, in);
        const uint32_t step = shape.step != 0 ? shape.step : layoutOf(in).bytesPerPixel;
        const std::vector<uint8_t> src = makeSource(in, shape.count, step, colours);
        std::vector<uint8_t> dst =
            guardBuffer(static_cast<size_t>(shape.count) * layoutOf(out).bytesPerPixel + 16,
                        static_cast<uint8_t>(call));
        std::vector<uint8_t> expected = dst;
        expectInterpolatedRun(ref, write, computeInks, in, out, src, step, expected, shape.count,
                              shape.skipStart, shape.skipEnd);
        const VrelResult result =
            VrelBitmapColorConversion(in, out, src.data(), dst.data(), shape.count, shape.skipStart,
                                      shape.skipEnd, shape.step, context);
        ASSERT_EQ(result, VREL_OK);
        ASSERT_EQ(dst, expected) << "call " << call << " formats " << in << " -> " << out
                                 << " count " << shape.count << " skips " << shape.skipStart << "/"
                                 << shape.skipEnd << " step " << shape.step;
    }
    expectSameCache(*context, ref);
}

void expectSameCache(const EngineContext& context, const ReferenceConverter& ref) {
    const TableGroup& g = context.groups[0];
    const auto& model = ref.cache();
    int mismatches = 0;
    for (int s = 0; s < kCacheSlots && mismatches < 5; ++s) {
        uint32_t key;
        const uint8_t* value;
        size_t bytes;
        if (g.cache8Block.address != nullptr) {
            const auto* c = static_cast<const ColourCache8*>(g.cache8Block.address);
            key = c->entries[s].key, value = c->entries[s].value, bytes = 4;
        } else {
            const auto* c = static_cast<const ColourCache12*>(g.cache12Block.address);
            key = c->entries[s].key, value = c->entries[s].value, bytes = 8;
        }
        const bool same =
            key == model[s].key && std::equal(value, value + bytes, model[s].value.begin());
        if (!same) {
            ++mismatches;
        }
        EXPECT_TRUE(same) << "cache slot " << s;
    }
}

} // namespace vrel::test
