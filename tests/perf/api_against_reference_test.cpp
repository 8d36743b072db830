// The conversion entry points (bitmap and line) on one context against the
// reference loop with the reference writers run on a twin context: every
// interpolated output format and the planes, random skips and source steps,
// long call sequences at every new-colour level, with the destination bytes that must stay
// untouched pre-filled with noise.
#include "convert/interpolation_kernel.h"
#include "convert/kernel_tables.h"
#include "convert/pixel_formats.h"
#include "perf/twin_contexts.h"

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

// Runs the reference loop over pixels [skip.start, pixels - skip.end) of the
// run on the reference context, writing through `write`.
template <int ComputeInks, typename Entry, typename Writer>
void referenceRun(EngineContext* context, const RandomRun& run, Skips skip, Writer& write) {
    InterpolationTables<Entry> tables;
    bool ok;
    if constexpr (sizeof(Entry) == sizeof(CacheEntry8)) {
        ok = fourInkTables(context, &tables);
    } else {
        int inks = 0;
        ok = multiInkTables(context, 6, &tables, &inks);
        ASSERT_EQ(inks, ComputeInks);
    }
    ASSERT_TRUE(ok);
    const uint8_t* first = run.first() + static_cast<size_t>(skip.start) * run.step;
    const int32_t n = run.pixels - skip.start - skip.end;
    if (run.grey) {
        interpolateRun<ComputeInks>(tables, first, run.step, n, GreyReader{}, write);
    } else {
        interpolateRun<ComputeInks>(
            tables, first, run.step, n,
            ThreeChannelReader{run.offsets[0], run.offsets[1], run.offsets[2]}, write);
    }
    releaseGroupZero(context);
}

std::vector<uint8_t> noise(dbwriter::Random& random, size_t bytes) {
    std::vector<uint8_t> out(bytes);
    for (uint8_t& b : out) {
        b = random.byte();
    }
    return out;
}

// One bitmap call on each twin, compared with the reference writer for the
// output format.
template <int ComputeInks, typename Entry>
void compareBitmapCall(TwinContexts& twins, dbwriter::Random& random, uint32_t outFormat,
                       const RandomRun& run) {
    const Skips skip = randomSkips(random, run.pixels);
    const PixelFormatDescriptor& out = kPixelFormats[outFormat];
    std::vector<uint8_t> want =
        noise(random, static_cast<size_t>(run.pixels) * out.bytesPerPixel + 1);
    std::vector<uint8_t> got = want;
    uint8_t* first = want.data() + static_cast<size_t>(skip.start) * out.bytesPerPixel;
    if (outFormat <= Xrgb32) {
        FoldedRgbWriter write{
            first, out.bytesPerPixel, {out.offset[0], out.offset[1], out.offset[2]}};
        referenceRun<4, Entry>(twins.reference(), run, skip, write);
    } else if (outFormat == Cmyk32 || outFormat == Kymc32) {
        PackedInkWriter<4> write{first, out.bytesPerPixel, {}};
        std::memcpy(write.offset, out.offset, 4);
        referenceRun<4, Entry>(twins.reference(), run, skip, write);
    } else if (outFormat == Ink6 || outFormat == Ink6Reversed) {
        PackedInkWriter<6> write{first, out.bytesPerPixel, {}};
        std::memcpy(write.offset, out.offset, 6);
        referenceRun<ComputeInks, Entry>(twins.reference(), run, skip, write);
    } else {
        PackedInkWriter<7> write{first, out.bytesPerPixel, {}};
        std::memcpy(write.offset, out.offset, 7);
        referenceRun<ComputeInks, Entry>(twins.reference(), run, skip, write);
    }
    const uint32_t sourceStep =
        run.step == kPixelFormats[run.inFormat].bytesPerPixel && random.below(2) ? 0 : run.step;
    ASSERT_EQ(VrelBitmapColorConversion(run.inFormat, outFormat, run.first(), got.data(),
                                        static_cast<uint32_t>(run.pixels), skip.start, skip.end,
                                        sourceStep, twins.production()),
              VREL_OK);
    ASSERT_EQ(got, want) << "in " << run.inFormat << " out " << outFormat << " pixels "
                         << run.pixels;
    ASSERT_TRUE(twins.cachesEqual());
}

template <int Planes, int ComputeInks, typename Entry>
void compareLineCall(TwinContexts& twins, dbwriter::Random& random, const RandomRun& run) {
    const Skips skip = randomSkips(random, run.pixels);
    std::vector<std::vector<uint8_t>> want, got;
    for (int p = 0; p < Planes; ++p) {
        want.push_back(noise(random, static_cast<size_t>(run.pixels) + 1));
    }
    got = want;
    PlaneWriter<Planes> write{};
    LineRecord line{};
    line.format = run.inFormat;
    line.source = run.first();
    for (int p = 0; p < Planes; ++p) {
        write.plane[p] = want[static_cast<size_t>(p)].data() + skip.start;
        line.planes[p] = got[static_cast<size_t>(p)].data();
    }
    referenceRun<ComputeInks, Entry>(twins.reference(), run, skip, write);
    ASSERT_EQ(VrelLineColorConversion(&line, static_cast<uint16_t>(run.pixels), skip.start,
                                      skip.end, run.step, twins.production()),
              VREL_OK);
    ASSERT_EQ(got, want) << "line of format " << run.inFormat << ", " << run.pixels << " pixels";
    ASSERT_TRUE(twins.cachesEqual());
}

TEST(ConversionEntries, FourInkContextMatchesReferenceForEveryOutput) {
    static constexpr uint32_t kOutputs[] = {Bgr24, Bgrx32, Xbgr32, Rgb24, Xrgb32, Cmyk32, Kymc32};
    for (const KernelIsa level : kernelIsaLevels()) {
        KernelIsaLimit limit(level);
        for (const bool preparedClass : {false, true}) {
            SCOPED_TRACE(::testing::Message() << "level " << static_cast<int>(level));
            TwinContexts twins(4, 41, false, preparedClass);
            ASSERT_TRUE(twins.ok());
            twins.randomiseCurves(42);
            dbwriter::Random random(43);
            for (int call = 0; call < 400 && !::testing::Test::HasFatalFailure(); ++call) {
                const RandomRun run = RandomRun::make(random);
                if (random.below(5) == 0) {
                    compareLineCall<4, 4, CacheEntry8>(twins, random, run);
                } else {
                    compareBitmapCall<4, CacheEntry8>(twins, random, kOutputs[random.below(7)],
                                                      run);
                }
            }
        }
    }
}

TEST(ConversionEntries, SixAndSevenInkContextsMatchReferenceForEveryOutput) {
    static constexpr uint32_t kOutputs[] = {Ink6, Ink6Reversed, Ink7, Ink7Reversed};
    for (const KernelIsa level : kernelIsaLevels()) {
        KernelIsaLimit limit(level);
        SCOPED_TRACE(::testing::Message() << "level " << static_cast<int>(level));
        {
            // A six-ink context serves only the six-ink outputs.
            TwinContexts twins(6, 61, true);
            ASSERT_TRUE(twins.ok());
            twins.randomiseCurves(62);
            dbwriter::Random random(63);
            for (int call = 0; call < 300 && !::testing::Test::HasFatalFailure(); ++call) {
                const RandomRun run = RandomRun::make(random);
                if (random.below(4) == 0) {
                    compareLineCall<6, 6, CacheEntry12>(twins, random, run);
                } else {
                    compareBitmapCall<6, CacheEntry12>(twins, random, kOutputs[random.below(2)],
                                                       run);
                }
            }
        }
        {
            // On a seven-ink context the six-ink outputs compute all seven inks.
            TwinContexts twins(7, 71, false, true);
            ASSERT_TRUE(twins.ok());
            twins.randomiseCurves(72);
            dbwriter::Random random(73);
            for (int call = 0; call < 300 && !::testing::Test::HasFatalFailure(); ++call) {
                const RandomRun run = RandomRun::make(random);
                if (random.below(4) == 0) {
                    compareLineCall<7, 7, CacheEntry12>(twins, random, run);
                } else {
                    compareBitmapCall<7, CacheEntry12>(twins, random, kOutputs[random.below(4)],
                                                       run);
                }
            }
        }
    }
}

// Flat stretches go through the repeat path, which writes a stretch at
// once: every writer, both key-layout classes and a layout that packs red
// and green at one shift (so swapped colours share a key and repeat).
TEST(ConversionEntries, LongStretchesOfOneKeyMatchReferenceForEveryWriter) {
    static constexpr uint32_t kFourOutputs[] = {Bgr24,  Bgrx32, Xbgr32, Rgb24,
                                                Xrgb32, Cmyk32, Kymc32};
    static constexpr uint32_t kMultiOutputs[] = {Ink6, Ink6Reversed, Ink7, Ink7Reversed};
    for (const KernelIsa level : kernelIsaLevels()) {
        KernelIsaLimit limit(level);
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
                switch (random.below(4)) {
                case 0:
                    compareLineCall<4, 4, CacheEntry8>(four, random, run);
                    break;
                case 1:
                    compareLineCall<7, 7, CacheEntry12>(seven, random, run);
                    break;
                case 2:
                    compareBitmapCall<4, CacheEntry8>(four, random, kFourOutputs[random.below(7)],
                                                      run);
                    break;
                default:
                    compareBitmapCall<7, CacheEntry12>(seven, random,
                                                       kMultiOutputs[random.below(4)], run);
                }
            }
        }
    }
}

} // namespace
} // namespace vrel::test
