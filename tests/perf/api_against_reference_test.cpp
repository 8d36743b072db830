// Every instruction-set level of the kernels against the portable level,
// the reference they must match byte for byte: the conversion entry points
// (bitmap and line), the colour correction and the on-dot rules run on twin
// contexts, the portable level on one and the level under test on the
// other, over every interpolated output format and the planes, random skips
// and source steps and long call sequences. After every call the outputs
// (with the destination bytes that must stay untouched pre-filled with
// noise) and the two contexts' colour caches are equal.
#include "convert/kernel_set.h"
#include "core/pixel_formats.h"
#include "perf/twin_contexts.h"

#include <cstdlib>
#include <cstring>
#include <gtest/gtest.h>
#include <vector>

namespace vrel::test {
namespace {

struct Skips {
    int16_t start;
    uint16_t end;
};

Skips randomSkips(dbwriter::Random& random, int pixels) {
    const int start =
        pixels == 0
            ? 0
            : static_cast<int>(random.below(static_cast<uint32_t>(std::min(pixels, 5)) + 1));
    const int room = pixels - start;
    const int end =
        room <= 0 ? 0
                  : static_cast<int>(random.below(static_cast<uint32_t>(std::min(room, 5)) + 1));
    return Skips{static_cast<int16_t>(start), static_cast<uint16_t>(end)};
}

// call() with the kernels capped at `level`.
template <typename Call> auto atLevel(KernelIsa level, Call call) {
    KernelIsaLimit limit(level);
    return call();
}

std::vector<uint8_t> noise(dbwriter::Random& random, size_t bytes) {
    std::vector<uint8_t> out(bytes);
    for (uint8_t& b : out) {
        b = random.byte();
    }
    return out;
}

// One bitmap call at the portable level on the reference twin and at
// `level` on the other.
void compareBitmapCall(TwinContexts& twins, KernelIsa level, dbwriter::Random& random,
                       uint32_t outFormat, const RandomRun& run) {
    const Skips skip = randomSkips(random, run.pixels);
    const PixelFormatDescriptor& out = kPixelFormats[outFormat];
    std::vector<uint8_t> want =
        noise(random, static_cast<size_t>(run.pixels) * out.bytesPerPixel + 1);
    std::vector<uint8_t> got = want;
    const uint32_t sourceStep =
        run.step == kPixelFormats[run.inFormat].bytesPerPixel && random.below(2) ? 0 : run.step;
    auto convert = [&](EngineContext* context, std::vector<uint8_t>& destination) {
        return VrelBitmapColorConversion(run.inFormat, outFormat, run.first(), destination.data(),
                                         static_cast<uint32_t>(run.pixels), skip.start, skip.end,
                                         sourceStep, context);
    };
    ASSERT_EQ(atLevel(KernelIsa::Portable, [&] { return convert(twins.reference(), want); }),
              VREL_OK);
    ASSERT_EQ(atLevel(level, [&] { return convert(twins.production(), got); }), VREL_OK);
    ASSERT_EQ(got, want) << "in " << run.inFormat << " out " << outFormat << " pixels "
                         << run.pixels;
    ASSERT_TRUE(twins.cachesEqual());
}

void compareLineCall(TwinContexts& twins, KernelIsa level, dbwriter::Random& random, int planes,
                     const RandomRun& run) {
    const Skips skip = randomSkips(random, run.pixels);
    std::vector<std::vector<uint8_t>> want, got;
    for (int p = 0; p < planes; ++p) {
        want.push_back(noise(random, static_cast<size_t>(run.pixels) + 1));
    }
    got = want;
    auto convert = [&](EngineContext* context, std::vector<std::vector<uint8_t>>& destination) {
        LineRecord line{};
        line.format = run.inFormat;
        line.source = run.first();
        for (int p = 0; p < planes; ++p) {
            line.planes[p] = destination[static_cast<size_t>(p)].data();
        }
        return VrelLineColorConversion(&line, static_cast<uint16_t>(run.pixels), skip.start,
                                       skip.end, run.step, context);
    };
    ASSERT_EQ(atLevel(KernelIsa::Portable, [&] { return convert(twins.reference(), want); }),
              VREL_OK);
    ASSERT_EQ(atLevel(level, [&] { return convert(twins.production(), got); }), VREL_OK);
    ASSERT_EQ(got, want) << "line of format " << run.inFormat << ", " << run.pixels << " pixels";
    ASSERT_TRUE(twins.cachesEqual());
}

// A correction call in a random direct colour format or Rgb555, in place or
// into another buffer.
void compareCorrectionCall(TwinContexts& twins, KernelIsa level, dbwriter::Random& random,
                           const RandomRun& run) {
    static constexpr uint32_t kFormats[] = {Bgr24, Bgrx32, Xbgr32, Rgb24, Xrgb32, Rgb555};
    const uint32_t format = kFormats[random.below(6)];
    const uint32_t bytes = kPixelFormats[format].bytesPerPixel;
    const auto count = static_cast<uint16_t>(run.source.size() / bytes);
    const Skips skip = randomSkips(random, count);
    const bool inPlace = random.below(2) == 0;
    std::vector<uint8_t> wantSource = run.source, gotSource = run.source;
    std::vector<uint8_t> want = noise(random, run.source.size()), got = want;
    auto correct = [&](EngineContext* context, std::vector<uint8_t>& source,
                       std::vector<uint8_t>& destination) {
        return VrelBitmapColorCorrection(format, source.data(),
                                         inPlace ? source.data() : destination.data(), count,
                                         skip.start, skip.end, context);
    };
    ASSERT_EQ(
        atLevel(KernelIsa::Portable, [&] { return correct(twins.reference(), wantSource, want); }),
        VREL_OK);
    ASSERT_EQ(atLevel(level, [&] { return correct(twins.production(), gotSource, got); }), VREL_OK);
    ASSERT_EQ(gotSource, wantSource) << "format " << format;
    ASSERT_EQ(got, want) << "format " << format;
    ASSERT_TRUE(twins.cachesEqual());
}

// The on-dot rules over random planes and ranges.
void compareOnDotCall(TwinContexts& twins, KernelIsa level, dbwriter::Random& random) {
    const auto count = static_cast<int16_t>(random.below(700));
    const auto skipStart = static_cast<int16_t>(random.below(40));
    const auto skipEnd = static_cast<int16_t>(random.below(40));
    std::vector<std::vector<uint8_t>> want;
    for (int p = 0; p < 4; ++p) {
        want.push_back(noise(random, static_cast<size_t>(count + 7) / 8 + 1));
    }
    std::vector<std::vector<uint8_t>> got = want;
    auto rule = [&](EngineContext* context, std::vector<std::vector<uint8_t>>& p) {
        return VrelOnDotBlack(p[0].data(), p[1].data(), p[2].data(), p[3].data(), count, skipStart,
                              skipEnd, 0, context);
    };
    ASSERT_EQ(atLevel(KernelIsa::Portable, [&] { return rule(twins.reference(), want); }), VREL_OK);
    ASSERT_EQ(atLevel(level, [&] { return rule(twins.production(), got); }), VREL_OK);
    ASSERT_EQ(got, want) << count << " pixels from " << skipStart << " less " << skipEnd;
}

// The levels above the portable one that this process runs.
std::vector<KernelIsa> fasterLevels() {
    std::vector<KernelIsa> levels = kernelIsaLevels();
    levels.erase(levels.begin());
    return levels;
}

TEST(KernelLevels, FourInkContextMatchesPortableForEveryOutputCorrectionAndOnDot) {
    static constexpr uint32_t kOutputs[] = {Bgr24, Bgrx32, Xbgr32, Rgb24, Xrgb32, Cmyk32, Kymc32};
    for (const KernelIsa level : fasterLevels()) {
        for (const bool preparedClass : {false, true}) {
            SCOPED_TRACE(::testing::Message() << "level " << static_cast<int>(level));
            TwinContexts twins(4, 41, false, preparedClass);
            ASSERT_TRUE(twins.ok());
            twins.randomiseCurves(42);
            dbwriter::Random random(43);
            for (int call = 0; call < 400 && !::testing::Test::HasFatalFailure(); ++call) {
                const RandomRun run = RandomRun::make(random);
                switch (random.below(8)) {
                case 0:
                    compareLineCall(twins, level, random, 4, run);
                    break;
                case 1:
                    compareCorrectionCall(twins, level, random, run);
                    break;
                case 2:
                    compareOnDotCall(twins, level, random);
                    break;
                default:
                    compareBitmapCall(twins, level, random, kOutputs[random.below(7)], run);
                }
            }
        }
    }
}

TEST(KernelLevels, SixAndSevenInkContextsMatchPortableForEveryOutput) {
    static constexpr uint32_t kOutputs[] = {Ink6, Ink6Reversed, Ink7, Ink7Reversed};
    for (const KernelIsa level : fasterLevels()) {
        SCOPED_TRACE(::testing::Message() << "level " << static_cast<int>(level));
        // A six-ink context serves only the six-ink outputs; on a seven-ink
        // context the six-ink outputs compute all seven inks.
        for (const int inks : {6, 7}) {
            TwinContexts twins(inks, 10 * inks + 1, inks == 6, inks == 7);
            ASSERT_TRUE(twins.ok());
            twins.randomiseCurves(10 * inks + 2);
            dbwriter::Random random(10 * inks + 3);
            for (int call = 0; call < 300 && !::testing::Test::HasFatalFailure(); ++call) {
                const RandomRun run = RandomRun::make(random);
                if (random.below(4) == 0) {
                    compareLineCall(twins, level, random, inks, run);
                } else {
                    compareBitmapCall(twins, level, random,
                                      kOutputs[random.below(inks == 6 ? 2 : 4)], run);
                }
            }
        }
    }
}

// Flat stretches go through the repeat path, which writes a stretch at
// once: every writer, both key-layout classes and a layout that packs red
// and green at one shift (so swapped colours share a key and repeat).
TEST(KernelLevels, LongStretchesOfOneKeyMatchPortableForEveryWriter) {
    static constexpr uint32_t kFourOutputs[] = {Bgr24,  Bgrx32, Xbgr32, Rgb24,
                                                Xrgb32, Cmyk32, Kymc32};
    static constexpr uint32_t kMultiOutputs[] = {Ink6, Ink6Reversed, Ink7, Ink7Reversed};
    for (const KernelIsa level : fasterLevels()) {
        SCOPED_TRACE(::testing::Message() << "level " << static_cast<int>(level));
        for (const uint32_t flags : {0u, 1u, 0x08081000u}) {
            SCOPED_TRACE(::testing::Message() << "layout " << flags);
            TwinContexts four(4, 81, false, flags == 1u);
            TwinContexts seven(7, 82, false, flags == 1u);
            ASSERT_TRUE(four.ok() && seven.ok());
            if (flags > 1u) {
                four.setKernelFlags(flags);
                seven.setKernelFlags(flags);
            }
            four.randomiseCurves(83);
            seven.randomiseCurves(84);
            dbwriter::Random random(85 + flags);
            for (int call = 0; call < 60 && !::testing::Test::HasFatalFailure(); ++call) {
                const RandomRun run = RandomRun::makeStretched(random);
                switch (random.below(5)) {
                case 0:
                    compareLineCall(four, level, random, 4, run);
                    break;
                case 1:
                    compareLineCall(seven, level, random, 7, run);
                    break;
                case 2:
                    compareBitmapCall(four, level, random, kFourOutputs[random.below(7)], run);
                    break;
                case 3:
                    compareCorrectionCall(four, level, random, run);
                    break;
                default:
                    compareBitmapCall(seven, level, random, kMultiOutputs[random.below(4)], run);
                }
            }
        }
    }
}

// The level is chosen once per process: the best the processor supports,
// or the portable one when VREL_FORCE_PORTABLE is 1; the test cap lowers it
// and lifts it again.
TEST(KernelLevels, ForcedPortableAndTheTestCapChooseTheLevel) {
    const char* force = std::getenv("VREL_FORCE_PORTABLE");
    if (force != nullptr && std::strcmp(force, "1") == 0) {
        EXPECT_EQ(supportedKernelIsa(), KernelIsa::Portable);
    }
    {
        KernelIsaLimit limit(KernelIsa::Portable);
        EXPECT_EQ(kernelIsa(), KernelIsa::Portable);
        EXPECT_EQ(kernels().level, KernelIsa::Portable);
    }
    EXPECT_EQ(kernelIsa(), supportedKernelIsa());
    EXPECT_EQ(kernels().level, supportedKernelIsa());
}

} // namespace
} // namespace vrel::test
