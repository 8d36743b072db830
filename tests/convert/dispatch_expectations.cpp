#include "dispatch_expectations.h"

namespace vrel::test {

namespace {

bool fourInkTable(const EngineContext& c) {
    const TableGroup& g = c.groups[0];
    return g.lutBlock.address != nullptr && g.channels >= 4 && g.cache8Block.address != nullptr;
}

bool multiInkTable(const EngineContext& c, int inks) {
    const TableGroup& g = c.groups[0];
    return g.lutBlock.address != nullptr && g.channels >= inks && g.cache12Block.address != nullptr;
}

bool preparedHolds(const EngineContext& c, uint32_t entries) {
    return c.preparedAddress != nullptr && entriesForMode(c.conversionMode) >= entries;
}

Expect tableOr(const EngineContext& c, uint32_t entries, Expect form) {
    return preparedHolds(c, entries) ? form : Expect::Refused;
}

uint32_t entriesFor(uint32_t inFormat) {
    return inFormat == 4 ? 32768 : inFormat == 10 ? 2 : 256;
}

bool interpolated(uint32_t f) {
    return isDirectColour(f) || isGreyInput(f);
}

} // namespace

uint32_t entriesForMode(uint32_t mode) {
    return mode == 1 ? 32768 : (mode == 2 || mode == 3) ? 256 : 2;
}

Expect expectedFor(const EngineContext& c, uint32_t in, uint32_t out) {
    switch (out) {
    case 0:
    case 1:
    case 2:
    case 3:
    case 5:
        if (c.initMagic == kInitMagic && c.settings.paramsCopy.methodOverride == 1) {
            if (isDirectColour(in)) {
                return Expect::PreCorrection;
            }
            if (in == 4 || in == 7 || in == 9 || in == 10) {
                return tableOr(c, entriesFor(in), Expect::TableZeroThree);
            }
            return Expect::Nothing;
        }
        if (interpolated(in)) {
            return fourInkTable(c) ? Expect::Folded : Expect::Refused;
        }
        return Expect::Nothing;
    case 9:
    case 11:
    case 12:
        if (in == 9) {
            return out == 9    ? Expect::CurveInverted
                   : out == 11 ? Expect::CurveDirect
                               : Expect::Nothing;
        }
        return in == 10 ? tableOr(c, 2, Expect::TableWhole) : Expect::Nothing;
    case 13:
    case 15:
        if (interpolated(in)) {
            return fourInkTable(c) ? Expect::FourInk : Expect::Refused;
        }
        if (in == 4 || in == 7 || in == 10) {
            return tableOr(c, entriesFor(in), Expect::TableWhole);
        }
        return Expect::Nothing;
    case 16:
    case 18:
    case 19:
    case 21:
        if (in == 10) {
            return Expect::Refused; // no prepared table of six- or seven-byte entries exists
        }
        if (interpolated(in)) {
            return multiInkTable(c, out <= 18 ? 6 : 7) ? Expect::MultiInk : Expect::Refused;
        }
        return Expect::Nothing;
    default:
        return Expect::Refused;
    }
}

void applyExpectation(Expect what, Rig& rig, uint32_t in, uint32_t out,
                      const std::vector<uint8_t>& src, uint32_t sourceStep,
                      std::vector<uint8_t>& expected, uint32_t count, int16_t skipStart,
                      uint16_t skipEnd) {
    if (what == Expect::Refused || what == Expect::Nothing) {
        return; // formats may lie outside the table here
    }
    const EngineContext& c = *rig.context.get();
    const uint32_t step = sourceStep != 0 ? sourceStep : layoutOf(in).bytesPerPixel;
    const int32_t n = convertedCount(count, skipStart, skipEnd);
    const uint32_t outSize = layoutOf(out).bytesPerPixel;
    const auto* table = static_cast<const uint8_t*>(c.preparedAddress);
    // Prepared entry of pixel p.
    auto entryOf = [&](int32_t p) -> const uint8_t* {
        if (in == 10) {
            return table + 4 * ((src[p / 8] >> (7 - p % 8)) & 1);
        }
        const uint8_t* px = &src[static_cast<size_t>(p) * step];
        const uint32_t index = in == 4 ? (px[0] | px[1] << 8) & 0x7fff : px[0];
        return table + 4 * index;
    };
    switch (what) {
    case Expect::Refused:
    case Expect::Nothing:
        return;
    case Expect::FourInk:
    case Expect::Folded:
        expectInterpolatedRun(rig.reference,
                              what == Expect::FourInk ? InkWrite::FourInk : InkWrite::Folded, 4, in,
                              out, src, step, expected, count, skipStart, skipEnd);
        return;
    case Expect::MultiInk:
        expectInterpolatedRun(rig.reference, InkWrite::MultiInk, c.groups[0].channels >= 7 ? 7 : 6,
                              in, out, src, step, expected, count, skipStart, skipEnd);
        return;
    case Expect::PreCorrection:
        expectPreCorrectionRun(rig.reference, in, out, src, step, expected, count, skipStart,
                               skipEnd);
        return;
    case Expect::CurveDirect:
    case Expect::CurveInverted:
        for (int32_t p = skipStart; p < skipStart + n; ++p) {
            const uint8_t v = c.adjustCurves[3][c.greyCurve[src[static_cast<size_t>(p) * step]]];
            expected[static_cast<size_t>(p) * outSize] =
                what == Expect::CurveDirect ? v : static_cast<uint8_t>(255 - v);
        }
        return;
    case Expect::TableWhole:
        for (int32_t p = skipStart; p < skipStart + n; ++p) {
            const uint8_t* e = entryOf(p);
            std::copy(e, e + 4, &expected[4 * static_cast<size_t>(p)]);
        }
        return;
    case Expect::TableZeroThree:
        for (int32_t p = skipStart; p < skipStart + n; ++p) {
            const uint8_t* e = entryOf(p);
            uint8_t* d = &expected[skipStart * outSize + 4 * static_cast<size_t>(p - skipStart)];
            d[0] = 0, d[1] = e[0], d[2] = e[1], d[3] = e[2];
        }
        return;
    }
}

} // namespace vrel::test
