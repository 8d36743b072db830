#include "perf/twin_contexts.h"

#include "core/colour_cache.h"
#include "core/pixel_formats.h"
#include "setup/test_hooks.h"

#include <cstring>

namespace vrel::test {

TwinContexts::TwinContexts(int method, uint32_t seed, bool unevenNodes, bool preparedClass) {
    ProfileOptions options;
    options.method = method;
    options.layout = 1;
    options.seed = seed;
    if (unevenNodes) {
        options.lutNodes = {0, 5, 20, 40, 64, 90, 128, 160, 200, 230, 255};
    }
    fixture_ = makeProfileFixture(options);
    fixture_.writeTo(dir_);
    referenceOwner_ = std::make_unique<OpenContext>(fixture_.params);
    productionOwner_ = std::make_unique<OpenContext>(fixture_.params);
    if (referenceOwner_->get() == nullptr || productionOwner_->get() == nullptr) {
        return;
    }
    // Non-owning views: the OpenContexts close them.
    reference_ = std::shared_ptr<EngineContext>(referenceOwner_->get(), [](EngineContext*) {});
    production_ = std::shared_ptr<EngineContext>(productionOwner_->get(), [](EngineContext*) {});
    if (preparedClass) {
        vrel::testing::setProfileClass(reference(), kPreparedProfileClass);
        vrel::testing::setProfileClass(production(), kPreparedProfileClass);
    }
}

const LutBlock* TwinContexts::lut() const {
    return static_cast<const LutBlock*>(production()->groups[0].lutBlock.address);
}

void TwinContexts::randomiseCurves(uint32_t seed) {
    dbwriter::Random random(seed);
    for (int v = 0; v < 256; ++v) {
        const uint8_t grey = random.byte();
        reference()->greyCurve[v] = production()->greyCurve[v] = grey;
        for (int k = 0; k < 4; ++k) {
            // Mostly below 128, sometimes large, so sums cross 255 now and then.
            const uint8_t value =
                random.below(8) == 0 ? random.byte() : static_cast<uint8_t>(random.below(128));
            reference()->adjustCurves[k][v] = production()->adjustCurves[k][v] = value;
        }
    }
}

void TwinContexts::setKernelFlags(uint32_t flags) {
    reference()->kernelFlags = production()->kernelFlags = flags;
}

bool TwinContexts::cachesEqual() const {
    for (int g = 0; g < 2; ++g) {
        const TableGroup& a = reference()->groups[g];
        const TableGroup& b = production()->groups[g];
        if ((a.cache8Block.address == nullptr) != (b.cache8Block.address == nullptr) ||
            (a.cache12Block.address == nullptr) != (b.cache12Block.address == nullptr)) {
            return false;
        }
        if (a.cache8Block.address != nullptr &&
            std::memcmp(a.cache8Block.address, b.cache8Block.address, sizeof(ColourCache8)) != 0) {
            return false;
        }
        if (a.cache12Block.address != nullptr &&
            std::memcmp(a.cache12Block.address, b.cache12Block.address, sizeof(ColourCache12)) !=
                0) {
            return false;
        }
    }
    return true;
}

RandomRun RandomRun::make(dbwriter::Random& random, int maxPixels) {
    static constexpr uint32_t kFormats[] = {Bgr24,  Bgrx32, Xbgr32,      Rgb24,
                                            Xrgb32, Gray8,  BlackPixel32};
    RandomRun run;
    run.inFormat = kFormats[random.below(7)];
    run.grey = isGreyInputFormat(run.inFormat);
    const PixelFormatDescriptor& d = kPixelFormats[run.inFormat];
    std::memcpy(run.offsets, d.offset, 3);
    run.step = d.bytesPerPixel + (random.below(4) == 0 ? random.below(3) : 0);
    run.pixels = static_cast<int>(random.below(static_cast<uint32_t>(maxPixels) + 1));
    run.source.assign(static_cast<size_t>(run.pixels) * run.step + 8, 0);
    // A few colours that recur (cache hits), whites, repeats and fresh colours.
    uint8_t palette[6][3];
    for (auto& colour : palette) {
        for (uint8_t& c : colour) {
            c = random.byte();
        }
    }
    palette[0][0] = palette[0][1] = palette[0][2] = 255;
    uint8_t colour[3] = {255, 255, 255};
    for (int i = 0; i < run.pixels; ++i) {
        switch (random.below(5)) {
        case 0:
            break; // the previous colour again
        case 1:
            std::memcpy(colour, palette[random.below(6)], 3);
            break;
        default:
            for (uint8_t& c : colour) {
                c = random.byte();
            }
        }
        uint8_t* pixel = run.source.data() + static_cast<size_t>(i) * run.step;
        for (uint32_t b = 0; b < run.step; ++b) {
            pixel[b] = random.byte(); // spare bytes hold noise
        }
        if (run.grey) {
            pixel[0] = colour[0];
        } else {
            for (int c = 0; c < 3; ++c) {
                pixel[run.offsets[c]] = colour[c];
            }
        }
    }
    return run;
}

RandomRun RandomRun::makeStretched(dbwriter::Random& random, int maxPixels) {
    RandomRun run = make(random, 0);
    run.pixels = static_cast<int>(random.below(static_cast<uint32_t>(maxPixels) + 1));
    run.source.assign(static_cast<size_t>(run.pixels) * run.step + 8, 0);
    uint8_t colour[3] = {255, 255, 255};
    int left = 0;
    for (int i = 0; i < run.pixels; ++i, --left) {
        if (left <= 0) {
            left = 1 + static_cast<int>(random.below(300));
            for (uint8_t& c : colour) {
                c = random.below(4) == 0 ? 255 : random.byte();
            }
        }
        uint8_t* pixel = run.source.data() + static_cast<size_t>(i) * run.step;
        for (uint32_t b = 0; b < run.step; ++b) {
            pixel[b] = random.byte();
        }
        const bool swap = random.below(16) == 0;
        if (run.grey) {
            pixel[0] = colour[0];
        } else {
            pixel[run.offsets[0]] = colour[swap ? 1 : 0];
            pixel[run.offsets[1]] = colour[swap ? 0 : 1];
            pixel[run.offsets[2]] = colour[2];
        }
    }
    return run;
}

std::vector<KernelIsa> kernelIsaLevels() {
    std::vector<KernelIsa> levels;
    for (int level = 0; level <= static_cast<int>(supportedKernelIsa()); ++level) {
        levels.push_back(static_cast<KernelIsa>(level));
    }
    return levels;
}

} // namespace vrel::test
