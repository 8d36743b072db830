// Engine contexts opened by VrelInit from real database files written by the
// project's writer, then given profile class 9 so that VrelInitColorConversion
// builds its tables on them.
#pragma once

#include "prepared_reference.h"
#include "setup/test_hooks.h"
#include "support/database_factory.h"
#include "support/test_support.h"

#include <cstdint>
#include <gtest/gtest.h>
#include <memory>
#include <vector>

namespace setup_test {

struct ContextOptions {
    int profileMethod = 4;       // channel count of the profile (1, 3, 4, 6, 7)
    uint16_t adjustSwitch = 0;   // 1: the caller's adjustments apply
    uint16_t methodOverride = 0; // 1: three-channel output through the direct path
    uint32_t profileClass = 9;
    uint32_t seed = 1;
};

class RealContext {
  public:
    explicit RealContext(const ContextOptions& options) {
        vrel::test::ProfileOptions profile;
        profile.method = options.profileMethod;
        profile.seed = options.seed;
        fixture_ = vrel::test::makeProfileFixture(profile);
        fixture_.writeTo(dir_);
        fixture_.params.adjustSwitch = options.adjustSwitch;
        fixture_.params.methodOverride = options.methodOverride;
        open_ = std::make_unique<vrel::test::OpenContext>(fixture_.params);
        if (open_->get() != nullptr && options.profileClass != 2) {
            vrel::testing::setProfileClass(open_->get(), options.profileClass);
        }
    }

    // True when VrelInit accepted the database.
    bool opened() const { return open_->get() != nullptr && open_->result() >= 0; }
    EngineContext* get() const { return open_->get(); }
    EngineContext* operator->() const { return open_->get(); }
    // Closes the context now (VrelClose); get() is null afterwards.
    void close() {
        VrelClose(*open_->slot());
        *open_->slot() = nullptr;
    }

  private:
    vrel::test::TempDir dir_;
    vrel::test::ProfileFixture fixture_;
    std::unique_ptr<vrel::test::OpenContext> open_;
};

// The entry that direct colour input of (r, g, b) gives, computed through a
// different call than the builders make: a run of Rgb24 pixels converted
// to Xrgb32 (three-channel) or to Cmyk32 (four colours), so that neither the
// builders' source format nor their byte reordering is taken for granted.
// For the four-colour method `correct` corrects the run in place first.
inline std::vector<uint32_t> directEntries(EngineContext* context, const std::vector<uint8_t>& rgb,
                                           bool correct) {
    const size_t pixels = rgb.size() / 3;
    std::vector<uint32_t> entries(pixels, 0);
    const int16_t method = context->conversionMethod;
    if (method == VrelMethodBlack) {
        for (size_t i = 0; i < pixels; ++i) {
            entries[i] = bytesOf(
                0, 0, 0, referenceBlack(rgb[3 * i], rgb[3 * i + 1], rgb[3 * i + 2], *context));
        }
        return entries;
    }
    // Runs of at most 1024 pixels: the run length is a 16-bit count.
    for (size_t start = 0; start < pixels; start += 1024) {
        const size_t n = std::min<size_t>(1024, pixels - start);
        std::vector<uint8_t> source(rgb.begin() + static_cast<long>(3 * start),
                                    rgb.begin() + static_cast<long>(3 * (start + n)));
        std::vector<uint8_t> result(4 * n, 0);
        const auto count = static_cast<uint32_t>(n);
        if (method == VrelMethodThreeChannel) {
            VrelBitmapColorConversion(VrelFormatRgb24, VrelFormatXrgb32, source.data(),
                                      result.data(), count, 0, 0, 0, context);
            for (size_t i = 0; i < n; ++i) {
                entries[start + i] =
                    bytesOf(result[4 * i + 1], result[4 * i + 2], result[4 * i + 3], 0);
            }
        } else {
            if (correct) {
                VrelBitmapColorCorrection(VrelFormatRgb24, source.data(), source.data(),
                                          static_cast<uint16_t>(n), 0, 0, context);
            }
            VrelBitmapColorConversion(VrelFormatRgb24, VrelFormatCmyk32, source.data(),
                                      result.data(), count, 0, 0, 0, context);
            for (size_t i = 0; i < n; ++i) {
                entries[start + i] =
                    bytesOf(result[4 * i], result[4 * i + 1], result[4 * i + 2], result[4 * i + 3]);
            }
        }
    }
    return entries;
}

// The prepared table's first `count` entries.
inline std::vector<uint32_t> preparedEntries(const EngineContext& context, uint32_t count) {
    std::vector<uint32_t> entries(count);
    for (uint32_t i = 0; i < count; ++i) {
        entries[i] = entryAt(context, i);
    }
    return entries;
}

// The 32768 grid colours in entry order (red level outermost).
inline std::vector<uint8_t> gridColours() {
    std::vector<uint8_t> rgb;
    rgb.reserve(3 * 32768);
    for (int word = 0; word < 32768; ++word) {
        rgb.push_back(static_cast<uint8_t>(levelOf5Bit((word >> 10) & 31)));
        rgb.push_back(static_cast<uint8_t>(levelOf5Bit((word >> 5) & 31)));
        rgb.push_back(static_cast<uint8_t>(levelOf5Bit(word & 31)));
    }
    return rgb;
}

} // namespace setup_test
