// Every conversion and correction export against the plain reference, on
// contexts opened by VrelInit from databases written by the project's
// writer: random tables and node positions, random curves, long sequences of
// random calls (every input x output pairing, skips, source steps, repeats,
// cache collisions, prepared tables of every mode), at every kernel level
// this machine runs and with both key layouts (and one that packs red and
// green at one shift). After every call: the result code, every destination
// byte (bytes that must stay untouched hold a guard) and both colour caches.
#include "convert/kernel_set.h"
#include "run_extents.h"
#include "setup/test_hooks.h"
#include "support/reference.h"
#include "support/test_support.h"

#include <cstdlib>
#include <gtest/gtest.h>
#include <string>
#include <tuple>

namespace vrel::test {
namespace {

namespace db = vrel::dbwriter;

// Caps the kernels' level for the lifetime of the object.
struct KernelLevel {
    explicit KernelLevel(KernelIsa level) { vrel::testing::limitKernelIsa(level); }
    ~KernelLevel() { vrel::testing::limitKernelIsa(KernelIsa::Avx2); }
};

enum KeyLayout { DefaultKeys, ClassNineKeys, RedGreenSharedKeys };

// method (profile channels), standard record, key layout, kernel level.
using Row = std::tuple<int, int, int, int>;

class Differential : public ::testing::TestWithParam<Row> {
  protected:
    void SetUp() override {
        const auto [method, record, layout, level] = GetParam();
        if (level > static_cast<int>(supportedKernelIsa())) {
            GTEST_SKIP() << "kernel level not available here";
        }
        random_ = std::make_unique<db::Random>(method * 1000 + record * 100 + layout * 10 + level);
        SampleRecipe recipe = recipeForMethod(method);
        recipe.seed = 17 * static_cast<uint32_t>(method + record + layout);
        if (record % 2 == 0) { // random node positions; otherwise the default grid
            recipe.conversionNodes = {0};
            for (int v = 1 + static_cast<int>(random_->below(40)); v < 255;
                 v += 1 + static_cast<int>(random_->below(60))) {
                recipe.conversionNodes.push_back(static_cast<uint8_t>(v));
            }
            recipe.conversionNodes.push_back(255);
            recipe.conversionPoints = static_cast<int>(recipe.conversionNodes.size());
        } else {
            recipe.conversionForm = TableForm::Type0;
        }
        database_ = makeSampleDatabase(recipe);
        file_ = std::make_unique<SampleFile>(database_);
        context_ = std::make_unique<OpenContext>(file_->params(record));
        ASSERT_TRUE(*context_) << "VrelInit gave " << context_->result();
        EngineContext* c = context_->get();
        if (layout == ClassNineKeys) {
            vrel::testing::setProfileClass(c, kPreparedProfileClass);
        } else if (layout == RedGreenSharedKeys) {
            c->kernelFlags = 0x08081000u; // a context field: no database gives this layout
        }
        if (record != 1) { // random curves (context fields), sums above 255 included
            for (int v = 0; v < 256; ++v) {
                c->greyCurve[v] = random_->byte();
                c->inputCurve[v] = random_->byte();
                for (auto& curve : c->adjustCurves) {
                    curve[v] = random_->below(8) == 0 ? random_->byte()
                                                      : static_cast<uint8_t>(random_->below(128));
                }
            }
        }
        const int tableChannels = std::max(4, method);
        const uint16_t correctionId = kCorrectionChunkIds[record == 1 ? 1 : record == 2 ? 2 : 0];
        reference_ = std::make_unique<ReferenceEngine>(
            *c, referenceTableOf(database_, kConversionChunkId, tableChannels),
            referenceTableOf(database_, correctionId, 3, record == 2));
        level_ = std::make_unique<KernelLevel>(static_cast<KernelIsa>(level));
    }

    uint32_t below(uint32_t n) { return random_->below(n); }
    EngineContext* context() const { return context_->get(); }

    void expectSameCaches() {
        const int slot = reference_->firstCacheDifference(*context());
        ASSERT_EQ(slot, -1) << "cache of group " << slot / 4096 << " differs at slot "
                            << slot % 4096;
    }

    // A source of `count` pixels `step` bytes apart: repeats, white, greys,
    // colours sharing a slot, fresh colours.
    ExactBuffer source(uint32_t count, uint32_t step, bool stretched) {
        ExactBuffer buffer(std::max<size_t>(size_t{count} * step, (count + 7) / 8));
        for (size_t i = 0; i < buffer.size(); ++i) {
            buffer.data()[i] = random_->byte();
        }
        uint8_t pattern[8] = {255, 255, 255, 255, 255, 255, 255, 255};
        const bool everyPixelNew = !stretched && below(4) == 0; // long stretches of new colours
        for (uint32_t p = 0; p < count; ++p) {
            const uint32_t roll = everyPixelNew ? 3 : below(stretched ? 400 : 10);
            if (roll == 0 || roll == 1) {
                const uint8_t v = roll == 0 ? 255 : random_->byte();
                std::fill(pattern, pattern + 8, v);
            } else if (roll == 2) {
                for (uint8_t& b : pattern) { // same low nibbles: the same slot
                    b = static_cast<uint8_t>((b & 0x0f) | (random_->byte() & 0xf0));
                }
            } else if (roll == 3) {
                for (uint8_t& b : pattern) {
                    b = random_->byte();
                }
            } else if (roll == 4) {
                std::swap(pattern[0], pattern[1]);
            }
            for (uint32_t b = 0; b < step; ++b) {
                buffer.data()[size_t{p} * step + b] = pattern[b % 8];
            }
        }
        return buffer;
    }

    uint32_t pixels(bool* stretched) {
        *stretched = below(12) == 0;
        const uint32_t roll = below(100);
        return roll == 0 ? 70000 : *stretched ? below(3000) : roll < 5 ? below(3) : below(300);
    }

    void skips(uint32_t count, int16_t* start, uint16_t* end) {
        const uint32_t room = std::min<uint32_t>(count, 40000);
        *start = static_cast<int16_t>(below(10) == 0 ? below(room + 3)
                                                     : below(std::min<uint32_t>(room, 5) + 1));
        *end = static_cast<uint16_t>(below(10) == 0 ? below(room + 3)
                                                    : below(std::min<uint32_t>(room, 5) + 1));
        if (below(40) == 0) {
            *start = static_cast<int16_t>(-1 - static_cast<int>(below(4)));
        }
    }

    void bitmapCall(uint32_t in, uint32_t out, uint32_t count, bool stretched) {
        int16_t skipStart;
        uint16_t skipEnd;
        skips(count, &skipStart, &skipEnd);
        const int inBytes = static_cast<int>(bytesPerPixel(in));
        const uint32_t step = below(2) == 0 || inBytes == 0 ? 0 : inBytes + below(3);
        const uint32_t effective = step != 0 ? step : inBytes != 0 ? inBytes : 4;
        const ExactBuffer src = source(count, effective, stretched);
        ExactBuffer got(size_t{count} * std::max(static_cast<int>(bytesPerPixel(out)), 4), 0xa5);
        ExactBuffer want(got.size(), 0xa5);
        const VrelResult expected =
            reference_->bitmap(in, out, src.data(), want.data(), count, skipStart, skipEnd, step);
        ASSERT_EQ(VrelBitmapColorConversion(in, out, src.data(), got.data(), count, skipStart,
                                            skipEnd, step, context()),
                  expected);
        ASSERT_EQ(got.bytes(), want.bytes());
    }

    void lineCall(uint32_t format, uint16_t count, bool stretched) {
        int16_t skipStart;
        uint16_t skipEnd;
        skips(count, &skipStart, &skipEnd);
        const int bytes = static_cast<int>(bytesPerPixel(format));
        const uint32_t step = below(2) == 0 || bytes == 0 ? 0 : bytes + below(3);
        const ExactBuffer src = source(count, step != 0 ? step : bytes != 0 ? bytes : 4, stretched);
        std::vector<ExactBuffer> got, want;
        LineRecord line{format, src.data(), {}};
        uint8_t* wantPlanes[7];
        for (int p = 0; p < 7; ++p) {
            got.emplace_back(count, static_cast<uint8_t>(0x30 + p));
            want.emplace_back(count, static_cast<uint8_t>(0x30 + p));
        }
        for (int p = 0; p < 7; ++p) {
            line.planes[p] = got[p].data();
            wantPlanes[p] = want[p].data();
        }
        const VrelResult expected =
            reference_->line(format, src.data(), wantPlanes, count, skipStart, skipEnd, step);
        ASSERT_EQ(VrelLineColorConversion(&line, count, skipStart, skipEnd, step, context()),
                  expected);
        for (int p = 0; p < 7; ++p) {
            ASSERT_EQ(got[p].bytes(), want[p].bytes()) << "plane " << p;
        }
    }

    void correctionCall(uint32_t format, uint16_t count, bool stretched) {
        int16_t skipStart;
        uint16_t skipEnd;
        skips(count, &skipStart, &skipEnd);
        const int bytes = std::max(static_cast<int>(bytesPerPixel(format)), 1);
        ExactBuffer got = source(count, bytes, stretched);
        ExactBuffer want(got.size(), got.data(), got.size());
        const bool inPlace = below(2) == 0;
        ExactBuffer gotOut(inPlace ? 0 : got.size(), 0x5a), wantOut(gotOut.size(), 0x5a);
        reference_->correct(format, want.data(), inPlace ? want.data() : wantOut.data(), count,
                            skipStart, skipEnd);
        ASSERT_EQ(VrelBitmapColorCorrection(format, got.data(),
                                            inPlace ? got.data() : gotOut.data(), count, skipStart,
                                            skipEnd, context()),
                  VREL_OK);
        ASSERT_EQ(got.bytes(), want.bytes());
        ASSERT_EQ(gotOut.bytes(), wantOut.bytes());
    }

    void pixelCalls() {
        static constexpr uint32_t kFormats[] = {2, 5, 13, 15, 22, 3, 0};
        const uint32_t value = below(4) == 0 ? 0xffffffffu : static_cast<uint32_t>(random_->next());
        const uint32_t format = kFormats[below(7)];
        uint32_t got = 0xdeadbeef, want = got;
        ASSERT_EQ(VrelPixelColorConversion(0, format, value, &got, context()),
                  reference_->pixel(format, value, &want))
            << format;
        ASSERT_EQ(got, want) << "pixel format " << format;
        const int32_t corrFormat = below(4) == 0 ? 13 : below(2) == 0 ? 2 : 5;
        ASSERT_EQ(VrelPixelColorCorrection(corrFormat, value, &got, context()),
                  reference_->correctPixel(corrFormat, value, &want));
        ASSERT_EQ(got, want) << "correction format " << corrFormat;
    }

    void prepareCall() {
        std::vector<uint8_t> record(sizeof(PaletteRecord));
        for (uint8_t& b : record) {
            b = random_->byte();
        }
        record[0] = 255, record[1] = 0; // lastIndex 255
        const auto* palette = reinterpret_cast<const PaletteRecord*>(record.data());
        VrelInitColorConversion(context(), below(6), &palette); // the builders belong to setup
        reference_->sync(*context());
    }

    db::Database database_;
    std::unique_ptr<db::Random> random_;
    std::unique_ptr<SampleFile> file_;
    std::unique_ptr<OpenContext> context_;
    std::unique_ptr<ReferenceEngine> reference_;
    std::unique_ptr<KernelLevel> level_;
};

// Every pairing of input and output codes 0..23, twice (the second run
// meets the cache entries of the first): which are refused (-128, nothing
// written), which return 0 and write nothing, and the exact bytes of the rest.
TEST_P(Differential, EveryFormatPairingGivesItsCodeAndBytes) {
    for (const int mode : {-1, 1, 2, 3, 4}) {
        if (mode >= 0) {
            random_ = std::make_unique<db::Random>(static_cast<uint64_t>(mode));
            prepareCall();
        }
        for (uint32_t in = 0; in <= 23; ++in) {
            for (uint32_t out = 0; out <= 23; ++out) {
                for (int round = 0; round < 2; ++round) {
                    bitmapCall(in, out, 16, false);
                    // Named only on failure: a trace per call costs more than the call.
                    if (HasFatalFailure()) {
                        FAIL() << "mode " << mode << ": " << in << " -> " << out;
                    }
                }
            }
        }
        ASSERT_NO_FATAL_FAILURE(expectSameCaches());
    }
}

TEST_P(Differential, LongRandomCallSequencesMatchTheReference) {
    static constexpr uint32_t kColourInputs[] = {0, 1, 2, 3, 5, 9, 22};
    static constexpr uint32_t kOutputs[] = {0, 1, 2, 3, 5, 9, 11, 12, 13, 15, 16, 18, 19, 21};
    static constexpr uint32_t kCorrected[] = {0,  1,  2,  3,  4,  5,  9,  11,
                                              12, 13, 15, 16, 19, 21, 22, 7};
    for (int call = 0; call < 150; ++call) {
        bool stretched = false;
        const uint32_t count = pixels(&stretched);
        const uint32_t roll = below(20);
        SCOPED_TRACE(::testing::Message()
                     << "call " << call << " roll " << roll << " count " << count);
        if (roll < 10) {
            const uint32_t in = below(4) == 0 ? below(24) : kColourInputs[below(7)];
            ASSERT_NO_FATAL_FAILURE(bitmapCall(in, kOutputs[below(14)], count, stretched));
        } else if (roll < 14) {
            const uint32_t format = below(6) == 0 ? below(24) : kColourInputs[below(7)];
            ASSERT_NO_FATAL_FAILURE(lineCall(format, static_cast<uint16_t>(count), stretched));
        } else if (roll < 17) {
            ASSERT_NO_FATAL_FAILURE(
                correctionCall(kCorrected[below(16)], static_cast<uint16_t>(count), stretched));
        } else if (roll < 19) {
            ASSERT_NO_FATAL_FAILURE(pixelCalls());
        } else {
            prepareCall();
        }
        ASSERT_NO_FATAL_FAILURE(expectSameCaches());
    }
}

// Row names such as method4_record1_keys0_level2, by which CTest runs the rows
// of one method together.
std::string rowName(const ::testing::TestParamInfo<Row>& info) {
    return "method" + std::to_string(std::get<0>(info.param)) + "_record" +
           std::to_string(std::get<1>(info.param)) + "_keys" +
           std::to_string(std::get<2>(info.param)) + "_level" +
           std::to_string(std::get<3>(info.param));
}

INSTANTIATE_TEST_SUITE_P(Contexts, Differential,
                         ::testing::Combine(::testing::Values(1, 3, 4, 6, 7),
                                            ::testing::Range(0, 4), ::testing::Range(0, 3),
                                            ::testing::Range(0, 3)),
                         rowName);

// A null context is refused by the conversions and ignored by the
// correction; a null line, result or palette record is refused.
TEST(Exports, NullArgumentsAreRefusedAndWriteNothing) {
    uint8_t pixels[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    uint32_t result = 7;
    LineRecord line{3, pixels, {pixels}};
    EXPECT_EQ(VrelBitmapColorConversion(3, 13, pixels, pixels, 2, 0, 0, 0, nullptr),
              VREL_ERR_PARAM);
    EXPECT_EQ(VrelLineColorConversion(&line, 2, 0, 0, 0, nullptr), VREL_ERR_PARAM);
    EXPECT_EQ(VrelPixelColorConversion(0, 13, 0x123456, &result, nullptr), VREL_ERR_PARAM);
    EXPECT_EQ(VrelBitmapColorCorrection(3, pixels, pixels, 2, 0, 0, nullptr), VREL_OK);
    EXPECT_EQ(result, 7u);
    EXPECT_EQ(pixels[0] + pixels[7], 9);
    SampleFile file(makeSampleDatabase(recipeForMethod(4)));
    OpenContext context(file.params(0));
    EXPECT_EQ(VrelLineColorConversion(nullptr, 2, 0, 0, 0, context.get()), VREL_ERR_PARAM);
    EXPECT_EQ(VrelPixelColorConversion(0, 13, 0x123456, nullptr, context.get()), VREL_ERR_PARAM);
    EXPECT_EQ(VrelPixelColorCorrection(2, 0x123456, nullptr, context.get()), VREL_ERR_PARAM);
}

} // namespace
} // namespace vrel::test

namespace vrel::test {
namespace {

// The level is chosen once per process: the best the processor supports, or
// the portable one when VREL_FORCE_PORTABLE is 1; the test cap lowers it and
// lifts it again.
TEST(KernelLevels, ForcedPortableAndTheTestCapChooseTheLevel) {
    const char* force = std::getenv("VREL_FORCE_PORTABLE");
    if (force != nullptr && std::string(force) == "1") {
        EXPECT_EQ(supportedKernelIsa(), KernelIsa::Portable);
    }
    vrel::testing::limitKernelIsa(KernelIsa::Portable);
    EXPECT_EQ(kernels().level, KernelIsa::Portable);
    vrel::testing::limitKernelIsa(KernelIsa::Avx2);
    EXPECT_EQ(kernelIsa(), supportedKernelIsa());
    EXPECT_EQ(kernels().level, supportedKernelIsa());
}

} // namespace
} // namespace vrel::test
