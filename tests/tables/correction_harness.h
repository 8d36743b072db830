// Drives VrelBitmapColorCorrection with long random sequences of runs on one
// context and checks every byte of source and destination against the
// reference corrector: the corrected channels where the run is processed,
// everything else untouched.
#pragma once

#include "correction_reference.h"
#include "vrel/vrel.h"

#include <array>
#include <cstdint>
#include <cstring>
#include <gtest/gtest.h>
#include <random>
#include <vector>

namespace vrel::tables_test {

// The formats the correction changes, with their bytes per pixel and the
// byte offsets of channels 0, 1, 2 (one-byte and black formats read the same
// byte three times).
struct CorrectedFormat {
    uint32_t code;
    int bytesPerPixel;
    int offset[3];
    bool rgb555;
};

inline const std::vector<CorrectedFormat>& correctedFormats() {
    static const std::vector<CorrectedFormat> formats = {
        {VrelFormatBgr24, 3, {2, 1, 0}, false},
        {VrelFormatBgrx32, 4, {2, 1, 0}, false},
        {VrelFormatXbgr32, 4, {3, 2, 1}, false},
        {VrelFormatRgb24, 3, {0, 1, 2}, false},
        {VrelFormatRgb555, 2, {0, 0, 0}, true},
        {VrelFormatXrgb32, 4, {1, 2, 3}, false},
        {VrelFormatGray8, 1, {0, 0, 0}, false},
        {VrelFormatBlack8, 1, {0, 0, 0}, false},
        {VrelFormatBlack32, 4, {0, 0, 0}, false},
        {VrelFormatCmyk32, 4, {0, 1, 2}, false},
        {VrelFormatKymc32, 4, {3, 2, 1}, false},
        {VrelFormatInk6, 6, {0, 1, 2}, false},
        {VrelFormatInk6Reversed, 6, {3, 2, 1}, false},
        {VrelFormatInk7, 7, {0, 1, 2}, false},
        {VrelFormatInk7Reversed, 7, {3, 2, 1}, false},
        {VrelFormatBlackPixel32, 4, {0, 0, 0}, false},
    };
    return formats;
}

inline uint8_t widen5(uint32_t level) {
    return static_cast<uint8_t>((level << 3) | (level >> 2));
}

// Colours that exercise the registers and the cache: white (the initial
// key), colours sharing a slot, colours sharing white's slot, greys.
inline std::array<uint8_t, 3> pickColour(std::mt19937& rng) {
    static const uint8_t kPool[][3] = {
        {255, 255, 255},    {0x12, 0x34, 0x56}, {0x22, 0x44, 0x66}, {0x1f, 0x2f, 0x3f},
        {0xef, 0xff, 0xcf}, {0, 0, 0},          {128, 128, 128},    {0x56, 0x34, 0x12},
    };
    if (rng() % 3 == 0) {
        const auto& c = kPool[rng() % (sizeof kPool / sizeof kPool[0])];
        return {c[0], c[1], c[2]};
    }
    return {static_cast<uint8_t>(rng()), static_cast<uint8_t>(rng()), static_cast<uint8_t>(rng())};
}

// Runs `calls` random corrections on the context and compares each with the
// model. Returns false after the first mismatch (already reported).
inline bool runRandomCorrections(EngineContext* context, ReferenceCorrector& model,
                                 std::mt19937& rng, int calls) {
    const auto& formats = correctedFormats();
    for (int call = 0; call < calls; ++call) {
        const CorrectedFormat& f = formats[rng() % formats.size()];
        const int skipStart = static_cast<int>(rng() % 4);
        const int skipEnd = static_cast<int>(rng() % 4);
        const int n = static_cast<int>(rng() % 60);
        const int count = skipStart + skipEnd + n;
        const bool inPlace = rng() % 2 == 0;
        const size_t bytes = static_cast<size_t>(count) * f.bytesPerPixel;

        std::vector<uint8_t> source(bytes + 8), destination(bytes + 8);
        for (auto& b : source) {
            b = static_cast<uint8_t>(rng());
        }
        for (auto& b : destination) {
            b = static_cast<uint8_t>(rng());
        }
        // Pixel colours: white at the start of some runs, repeated
        // neighbours, pool colours, random colours.
        std::array<uint8_t, 3> colour = pickColour(rng);
        for (int p = 0; p < count; ++p) {
            if (p == skipStart && rng() % 3 == 0) {
                colour = {255, 255, 255};
            } else if (rng() % 3 != 0) {
                colour = pickColour(rng);
            }
            uint8_t* px = source.data() + static_cast<size_t>(p) * f.bytesPerPixel;
            if (f.rgb555) {
                const uint32_t w = static_cast<uint32_t>(colour[0] >> 3) << 10 |
                                   static_cast<uint32_t>(colour[1] >> 3) << 5 | (colour[2] >> 3) |
                                   (rng() % 2 ? 0x8000u : 0u);
                px[0] = static_cast<uint8_t>(w);
                px[1] = static_cast<uint8_t>(w >> 8);
            } else {
                for (int k = 0; k < 3; ++k) {
                    px[f.offset[k]] = colour[k];
                }
            }
        }

        const std::vector<uint8_t> originalSource = source;
        std::vector<uint8_t> expected = inPlace ? source : destination;
        model.beginCall();
        for (int p = skipStart; p < skipStart + n; ++p) {
            const uint8_t* in = originalSource.data() + static_cast<size_t>(p) * f.bytesPerPixel;
            uint8_t* out = expected.data() + static_cast<size_t>(p) * f.bytesPerPixel;
            if (f.rgb555) {
                const uint32_t w = in[0] | static_cast<uint32_t>(in[1]) << 8;
                const auto r =
                    model.pixel(widen5((w >> 10) & 31), widen5((w >> 5) & 31), widen5(w & 31));
                const uint32_t o = static_cast<uint32_t>(r[0] >> 3) << 10 |
                                   static_cast<uint32_t>(r[1] >> 3) << 5 | (r[2] >> 3);
                out[0] = static_cast<uint8_t>(o);
                out[1] = static_cast<uint8_t>(o >> 8);
            } else {
                const auto r = model.pixel(in[f.offset[0]], in[f.offset[1]], in[f.offset[2]]);
                for (int k = 0; k < 3; ++k) {
                    out[f.offset[k]] = r[k];
                }
            }
        }

        void* target = inPlace ? source.data() : destination.data();
        const VrelResult rc = VrelBitmapColorCorrection(
            f.code, source.data(), target, static_cast<uint16_t>(count),
            static_cast<int16_t>(skipStart), static_cast<uint16_t>(skipEnd), context);
        EXPECT_EQ(rc, 0);
        const std::vector<uint8_t>& actual = inPlace ? source : destination;
        for (size_t i = 0; i < actual.size(); ++i) {
            if (actual[i] != expected[i]) {
                ADD_FAILURE() << "call " << call << " format " << f.code
                              << (inPlace ? " in place" : " copy") << " byte " << i << " pixel "
                              << i / f.bytesPerPixel << ": got " << int(actual[i]) << ", want "
                              << int(expected[i]) << " (skip " << skipStart << "/" << skipEnd
                              << ", n " << n << ")";
                return false;
            }
        }
        if (!inPlace && source != originalSource) {
            ADD_FAILURE() << "call " << call << ": the copy changed its source";
            return false;
        }
    }
    return true;
}

} // namespace vrel::tables_test
