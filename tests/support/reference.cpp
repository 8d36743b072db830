#include "support/reference.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>
#include <variant>
#include <vrel/dbwriter.h>

namespace vrel::test {

namespace {

constexpr uint8_t X = 0xff; // no channel
struct Format {
    uint8_t offset[7];
    uint8_t bytes;
};
// Channel offsets and bytes per pixel of format codes 0..22.
constexpr Format kFormats[23] = {
    {{2, 1, 0, 0, 0, 0, 0}, 3}, {{2, 1, 0, 0, 0, 0, 0}, 4}, {{3, 2, 1, 0, 0, 0, 0}, 4},
    {{0, 1, 2, 0, 0, 0, 0}, 3}, {{0, 0, 0, X, X, X, X}, 2}, {{1, 2, 3, 0, 0, 0, 0}, 4},
    {{X, X, X, X, X, X, X}, X}, {{X, X, X, X, X, X, X}, 1}, {{X, X, X, X, X, X, X}, X},
    {{0, 0, 0, 0, 0, 0, 0}, 1}, {{X, X, X, X, X, X, X}, X}, {{0, 0, 0, 0, 0, 0, 0}, 1},
    {{0, 0, 0, 3, 0, 0, 0}, 4}, {{0, 1, 2, 3, 0, 0, 0}, 4}, {{X, X, X, X, X, X, X}, X},
    {{3, 2, 1, 0, 0, 0, 0}, 4}, {{0, 1, 2, 3, 4, 5, 0}, 6}, {{X, X, X, X, X, X, X}, X},
    {{3, 2, 1, 0, 5, 4, 0}, 6}, {{0, 1, 2, 3, 4, 5, 6}, 7}, {{X, X, X, X, X, X, X}, X},
    {{3, 2, 1, 0, 6, 5, 4}, 7}, {{0, 0, 0, 3, 0, 0, 0}, 4}};

bool directColour(uint32_t f) {
    return f <= 3 || f == 5;
}
bool greyInput(uint32_t f) {
    return f == 9 || f == 22;
}

// Pixels a run converts: none for a negative start or skips reaching count,
// else the 16-bit difference read as signed.
int32_t pixelsOf(uint32_t count, int16_t skipStart, uint16_t skipEnd) {
    if (skipStart < 0 || static_cast<uint32_t>(skipStart) + skipEnd >= count) {
        return 0;
    }
    return static_cast<int16_t>(static_cast<uint16_t>(count - skipStart - skipEnd));
}

// Red, green and blue of a pixel: the channel bytes, or a grey byte as all three.
std::array<uint8_t, 3> rgbOf(const uint8_t* s, uint32_t format) {
    const uint8_t* o = kFormats[format].offset;
    return greyInput(format) ? std::array<uint8_t, 3>{s[0], s[0], s[0]}
                             : std::array<uint8_t, 3>{s[o[0]], s[o[1]], s[o[2]]};
}

} // namespace

ReferenceCell referenceCell(const std::vector<uint8_t>& nodes, uint8_t v) {
    if (nodes.size() < 2 || nodes.front() != 0 || nodes.back() != 255) {
        throw std::invalid_argument("nodes must start at 0 and end at 255");
    }
    for (size_t i = 1; i < nodes.size(); ++i) {
        if (nodes[i] <= nodes[i - 1]) {
            throw std::invalid_argument("nodes must rise strictly");
        }
    }
    ReferenceCell cell;
    while (static_cast<size_t>(cell.index) + 1 < nodes.size() && nodes[cell.index + 1] <= v) {
        ++cell.index;
    }
    const size_t j = static_cast<size_t>(cell.index);
    if (j + 1 < nodes.size()) {
        const uint32_t width = nodes[j + 1] - nodes[j];
        cell.fraction = (static_cast<uint32_t>(v - nodes[j]) * 65536u + width / 2) / width;
    }
    return cell;
}

ReferenceTetrahedron referenceTetrahedron(const std::vector<uint8_t>& nodes, uint8_t v0, uint8_t v1,
                                          uint8_t v2) {
    const ReferenceCell c[3] = {referenceCell(nodes, v0), referenceCell(nodes, v1),
                                referenceCell(nodes, v2)};
    ReferenceTetrahedron t;
    t.base = {c[0].index, c[1].index, c[2].index};
    t.fractions = {c[0].fraction, c[1].fraction, c[2].fraction};
    const int32_t f0 = static_cast<int32_t>(c[0].fraction),
                  f1 = static_cast<int32_t>(c[1].fraction),
                  f2 = static_cast<int32_t>(c[2].fraction);
    // Axis order of each case: the walk from P to the opposite corner.
    int order[3];
    auto pick = [&](int n, int a, int b, int d) {
        t.caseNumber = n, order[0] = a, order[1] = b, order[2] = d;
    };
    if (f1 <= f2 && f0 <= f2 && f0 <= f1) {
        pick(1, 2, 1, 0);
    } else if (f1 <= f2 && f0 <= f2) {
        pick(2, 2, 0, 1);
    } else if (f1 <= f2) {
        pick(3, 0, 2, 1);
    } else if (f0 <= f2) {
        pick(4, 1, 2, 0);
    } else if (f0 <= f1) {
        pick(5, 1, 0, 2);
    } else {
        pick(6, 0, 1, 2);
    }
    const int32_t f[3] = {f0, f1, f2};
    std::array<int, 3> step{};
    for (int s = 0; s < 3; ++s) {
        step[order[s]] = 1;
        t.steps[s] = step;
    }
    t.weightP = static_cast<uint32_t>(65536 - f[order[0]]);
    t.weightA = static_cast<uint32_t>(f[order[0]] - f[order[1]]);
    t.weightB = static_cast<uint32_t>(f[order[1]] - f[order[2]]);
    t.weightC = static_cast<uint32_t>(f[order[2]]);
    return t;
}

uint8_t ReferenceTable::value(int q, int i0, int i1, int i2) const {
    const int n = static_cast<int>(nodes.size());
    if (q < 0 || q >= channels || std::min({i0, i1, i2}) < 0 || std::max({i0, i1, i2}) >= n) {
        return 0;
    }
    const size_t at = ((static_cast<size_t>(q) * n + i0) * n + i1) * n + i2;
    if (at >= grid.size()) {
        throw std::out_of_range("reference grid shorter than k³·channels");
    }
    return grid[at];
}

std::vector<uint8_t> ReferenceTable::interpolate(uint8_t v0, uint8_t v1, uint8_t v2) const {
    const ReferenceTetrahedron t = referenceTetrahedron(nodes, v0, v1, v2);
    const auto [b0, b1, b2] = t.base;
    std::vector<uint8_t> out(static_cast<size_t>(channels));
    for (int q = 0; q < channels; ++q) {
        auto at = [&](const std::array<int, 3>& s) {
            return static_cast<uint32_t>(value(q, b0 + s[0], b1 + s[1], b2 + s[2]));
        };
        const uint32_t sum = t.weightP * value(q, b0, b1, b2) + t.weightA * at(t.steps[0]) +
                             t.weightB * at(t.steps[1]) + t.weightC * at(t.steps[2]) + 32768u;
        out[static_cast<size_t>(q)] = static_cast<uint8_t>(sum >> 16);
    }
    return out;
}

ReferenceTable referenceTableOf(const dbwriter::Database& db, uint16_t id, int channels,
                                bool defaultGrid) {
    const dbwriter::Record* record = db.find(dbwriter::kChunkClass, id);
    if (record == nullptr) {
        return {};
    }
    const auto& table = std::get<dbwriter::ColourTable>(record->content);
    const bool ownNodes = table.marked && table.headerType == 1 && !defaultGrid;
    return {ownNodes ? table.nodes : dbwriter::defaultNodes(), channels, table.data};
}

uint8_t referenceLuminanceBlack(int r, int g, int b, const uint8_t grey[256],
                                const uint8_t black[256]) {
    const int y = ((77 * r + 128) / 256) + ((151 * g + 128) / 256) + ((28 * b + 128) / 256);
    return black[grey[y % 256]];
}

uint32_t referenceKey(uint32_t flags, uint8_t c0, uint8_t c1, uint8_t c2) {
    uint32_t key = 0;
    const uint8_t c[3] = {c0, c1, c2};
    for (int k = 0; k < 3; ++k) {
        const uint32_t shift = (flags >> (24 - 8 * k)) & 31;
        key |= (uint32_t{c[k]} << shift) & (0xffu << shift);
    }
    return key;
}

uint32_t referenceSlot(uint32_t key) {
    return (((key >> 20) | (key << 4)) & 0x00f0u) | ((key >> 8) & 0x0f0fu);
}

ReferenceEngine::ReferenceEngine(const EngineContext& c, ReferenceTable conversion,
                                 ReferenceTable correction)
    : kernelFlags_(c.kernelFlags), method_(c.conversionMethod),
      forcedThree_(c.initMagic == kInitMagic && c.settings.paramsCopy.methodOverride == 1),
      inks_(c.groups[0].channels), conversion_(std::move(conversion)),
      correctionTable_(std::move(correction)) {
    std::memcpy(grey_, c.greyCurve, 256);
    std::memcpy(adjust_, c.adjustCurves, sizeof adjust_);
    std::memcpy(input_, c.inputCurve, 256);
    const TableGroup& g0 = c.groups[0];
    fourInk_ = g0.lutBlock.address && g0.cache8Block.address && inks_ >= 4;
    multiInk_ = g0.lutBlock.address && g0.cache12Block.address;
    correction_ = c.groups[1].lutBlock.address && c.groups[1].cache8Block.address;
    conversion_.channels = inks_;
    sync(c);
}

void ReferenceEngine::sync(const EngineContext& c) {
    mode_ = c.conversionMode;
    const auto* table = static_cast<const uint8_t*>(c.preparedAddress);
    const uint32_t entries = mode_ == 1 ? 32768 : (mode_ == 2 || mode_ == 3) ? 256 : 2;
    prepared_.assign(table, table == nullptr ? table : table + 4 * entries);
    cache_[0] = cacheOf(c, 0);
    cache_[1] = cacheOf(c, 1);
}

std::vector<ReferenceEngine::Slot> ReferenceEngine::cacheOf(const EngineContext& c, int group) {
    // Two 16-bit words, then 4096 entries of a key and 4 (or 8) value bytes.
    const bool wide = c.groups[group].cache8Block.address == nullptr;
    const auto* block = static_cast<const uint8_t*>(wide ? c.groups[group].cache12Block.address
                                                         : c.groups[group].cache8Block.address);
    std::vector<Slot> slots(block == nullptr ? 0 : 4096);
    const size_t size = wide ? 12 : 8;
    for (size_t i = 0; i < slots.size(); ++i) {
        std::memcpy(&slots[i].key, block + 4 + i * size, 4);
        std::memcpy(slots[i].value.data(), block + 8 + i * size, size - 4);
    }
    return slots;
}

int ReferenceEngine::firstCacheDifference(const EngineContext& c) const {
    for (int g = 0; g < 2; ++g) {
        const std::vector<Slot> engine = cacheOf(c, g);
        if (engine.size() != cache_[g].size()) {
            return 4096 * g;
        }
        for (size_t i = 0; i < engine.size(); ++i) {
            if (engine[i].key != cache_[g][i].key || engine[i].value != cache_[g][i].value) {
                return 4096 * g + static_cast<int>(i);
            }
        }
    }
    return -1;
}

bool ReferenceEngine::preparedHolds(uint32_t entries) const {
    return prepared_.size() >= 4 * entries;
}

std::array<uint8_t, 3> ReferenceEngine::preCorrect(const std::array<uint8_t, 3>& rgb) const {
    const int x[3] = {grey_[rgb[0]], grey_[rgb[1]], grey_[rgb[2]]};
    const int m = std::min({x[0], x[1], x[2]});
    std::array<uint8_t, 3> c{};
    for (int k = 0; k < 3; ++k) {
        const int s = adjust_[k][x[k] - m] + adjust_[3][m];
        c[k] = static_cast<uint8_t>(s < 256 ? 255 - s : 0);
    }
    return c;
}

// Group 0: the inks of the pre-corrected colour; group 1: the corrected
// channels of the colour through the input curve, stored with a fourth byte
// 0 (never read).
const std::array<uint8_t, 8>& ReferenceEngine::cached(int group, Registers& run,
                                                      const std::array<uint8_t, 3>& c) {
    const uint32_t key = referenceKey(kernelFlags_, c[0], c[1], c[2]);
    if (key != run.key) {
        run.key = key;
        Slot& slot = cache_[group][referenceSlot(key)];
        if (slot.key != key) {
            const std::array<uint8_t, 3> x =
                group == 0 ? preCorrect(c)
                           : std::array<uint8_t, 3>{input_[c[0]], input_[c[1]], input_[c[2]]};
            const std::vector<uint8_t> v =
                (group == 0 ? conversion_ : correctionTable_).interpolate(x[0], x[1], x[2]);
            slot.value = {};
            std::copy(v.begin(), v.end(), slot.value.begin());
            slot.key = key;
        }
        std::copy_n(slot.value.begin(), group == 0 ? inks_ : 4, run.value.begin());
    }
    return run.value;
}

VrelResult ReferenceEngine::bitmap(uint32_t in, uint32_t out, const uint8_t* source,
                                   uint8_t* destination, uint32_t count, int16_t skipStart,
                                   uint16_t skipEnd, uint32_t sourceStep) {
    const bool rgbOut = out <= 3 || out == 5, blackOut = out == 9 || out == 11 || out == 12;
    const int inkOut = out == 13 || out == 15   ? 4
                       : out == 16 || out == 18 ? 6
                       : out == 19 || out == 21 ? 7
                                                : 0;
    if (!rgbOut && !blackOut && inkOut == 0) {
        return VREL_ERR_PARAM;
    }
    const int32_t n = pixelsOf(count, skipStart, skipEnd);
    if (n <= 0 || in > 22) {
        return VREL_OK;
    }
    const bool colour = directColour(in) || greyInput(in);
    enum { Nothing, Refused, Fold, Inks, PreCorrection, Curve, Whole, ZeroThree } what = Nothing;
    if (rgbOut && forcedThree_) {
        what = directColour(in)                            ? PreCorrection
               : in == 4 || in == 7 || in == 9 || in == 10 ? ZeroThree
                                                           : Nothing;
    } else if (rgbOut) {
        what = colour ? Fold : Nothing;
    } else if (blackOut) {
        what = in == 9 && out != 12 ? Curve : in == 10 ? Whole : Nothing;
    } else if (colour) {
        what = Inks;
    } else if (in == 10 || (inkOut == 4 && (in == 4 || in == 7))) {
        what = inkOut == 4 ? Whole : Refused; // no prepared table has wider entries
    }
    const uint32_t entries = in == 4 ? 32768 : in == 10 ? 2 : 256;
    const bool tables = inkOut > 4 ? multiInk_ && inks_ >= inkOut : fourInk_;
    if (what == Refused || ((what == Whole || what == ZeroThree) && !preparedHolds(entries)) ||
        ((what == Fold || what == Inks) && !tables)) {
        return VREL_ERR_PARAM;
    }
    const Format& o = kFormats[out];
    const uint32_t step = sourceStep != 0 ? sourceStep : kFormats[in].bytes;
    Registers run;
    std::array<uint8_t, 3> pre = {255, 255, 255};
    for (int p = skipStart; p < skipStart + n; ++p) {
        const uint8_t* s = source + static_cast<ptrdiff_t>(p) * step;
        uint8_t* d = destination + static_cast<ptrdiff_t>(p) * o.bytes;
        if (what == Fold || what == Inks) {
            const std::array<uint8_t, 8>& v = cached(0, run, rgbOf(s, in));
            for (int q = 0; q < (what == Fold ? 3 : inkOut); ++q) {
                d[o.offset[q]] = what == Inks ? v[q] : 255 - std::min(255, v[q] + v[3]);
            }
        } else if (what == PreCorrection) {
            const std::array<uint8_t, 3> rgb = rgbOf(s, in);
            const uint32_t key = referenceKey(kernelFlags_, rgb[0], rgb[1], rgb[2]);
            pre = key == run.key ? pre : preCorrect(rgb);
            run.key = key;
            for (int k = 0; k < 3; ++k) {
                d[o.offset[k]] = pre[k];
            }
        } else if (what == Curve) {
            const uint8_t v = adjust_[3][grey_[s[0]]];
            d[o.offset[3]] = out == 9 ? 255 - v : v;
        } else if (what != Nothing) {
            // Prepared entries: whole at destination + 4 p, or 0, e0, e1, e2
            // from the first converted pixel on.
            const uint32_t index = in == 10  ? (source[p / 8] >> (7 - p % 8)) & 1
                                   : in == 4 ? (s[0] | s[1] << 8) & 0x7fff
                                             : s[0];
            const uint8_t* e = &prepared_[4 * index];
            if (what == Whole) {
                std::memcpy(destination + 4 * p, e, 4);
            } else {
                uint8_t* z = destination + skipStart * o.bytes + 4 * (p - skipStart);
                z[0] = 0, z[1] = e[0], z[2] = e[1], z[3] = e[2];
            }
        }
    }
    return VREL_OK;
}

VrelResult ReferenceEngine::line(uint32_t format, const uint8_t* source, uint8_t* const planes[7],
                                 uint16_t count, int16_t skipStart, uint16_t skipEnd,
                                 uint32_t sourceStep) {
    if (method_ != 1 && method_ != 4 && method_ != 6 && method_ != 7) {
        return VREL_ERR_PARAM;
    }
    const int32_t n = pixelsOf(count, skipStart, skipEnd);
    if (format > 22 || n <= 0 ||
        (method_ == 1 ? format != 9 : !directColour(format) && !greyInput(format))) {
        return VREL_OK;
    }
    if (method_ == 4 ? !fourInk_ : method_ != 1 && !(multiInk_ && inks_ >= method_)) {
        return VREL_ERR_PARAM;
    }
    const uint32_t step = sourceStep != 0 ? sourceStep : kFormats[format].bytes;
    Registers run;
    for (int p = skipStart; p < skipStart + n; ++p) {
        const uint8_t* s = source + static_cast<ptrdiff_t>(p) * step;
        if (method_ == 1) {
            planes[3][p] = adjust_[3][grey_[s[0]]];
            continue;
        }
        const std::array<uint8_t, 8>& v = cached(0, run, rgbOf(s, format));
        for (int q = 0; q < method_; ++q) {
            planes[q][p] = v[q];
        }
    }
    return VREL_OK;
}

VrelResult ReferenceEngine::pixel(uint32_t format, uint32_t value, uint32_t* result) {
    const bool accepted = method_ == 1   ? format == 22
                          : method_ == 3 ? format == 2 || format == 5
                                         : method_ == 4 && (format == 13 || format == 15);
    if (!accepted) {
        return VREL_ERR_PARAM;
    }
    // The value's bytes from the top down are the pixel's bytes in memory.
    uint8_t px[4] = {0, static_cast<uint8_t>(value >> 16), static_cast<uint8_t>(value >> 8),
                     static_cast<uint8_t>(value)};
    uint8_t converted[4] = {};
    auto bigEndian = [](const uint8_t* b) {
        return uint32_t{b[0]} << 24 | uint32_t{b[1]} << 16 | uint32_t{b[2]} << 8 | b[3];
    };
    if (format == 22) {
        px[0] = static_cast<uint8_t>(value >> 24);
        bitmap(9, 9, px, converted, 1, 0, 0, 0);
        *result = uint32_t{converted[0]} << 24;
    } else if (format == 2 || format == 5) {
        bitmap(format, format, px, px, 1, 0, 0, 0);
        px[0] = 0;
        *result = bigEndian(px);
    } else {
        bitmap(format == 13 ? 5 : 2, 15, px, converted, 1, 0, 0, 0);
        const uint8_t reversed[4] = {converted[3], converted[2], converted[1], converted[0]};
        *result = bigEndian(format == 15 ? converted : reversed);
    }
    return VREL_OK;
}

void ReferenceEngine::correct(uint32_t format, const uint8_t* source, uint8_t* destination,
                              uint16_t count, int16_t skipStart, uint16_t skipEnd) {
    if (format > 22 || kFormats[format].offset[0] == X || !correction_) {
        return;
    }
    const Format& f = kFormats[format];
    const int32_t n = pixelsOf(count, skipStart, skipEnd);
    Registers run;
    run.value = {255, 255, 255, 0};
    for (int p = skipStart; p < skipStart + n; ++p) {
        const uint8_t* s = source + p * f.bytes;
        uint8_t* d = destination + p * f.bytes;
        if (format == 4) {
            const int w = s[0] | s[1] << 8;
            const auto& v = cached(1, run,
                                   {static_cast<uint8_t>(levelOf5Bit((w >> 10) & 31)),
                                    static_cast<uint8_t>(levelOf5Bit((w >> 5) & 31)),
                                    static_cast<uint8_t>(levelOf5Bit(w & 31))});
            const int word = (v[0] >> 3) << 10 | (v[1] >> 3) << 5 | v[2] >> 3;
            d[0] = static_cast<uint8_t>(word), d[1] = static_cast<uint8_t>(word >> 8);
        } else {
            const auto& v = cached(1, run, rgbOf(s, format));
            for (int k = 0; k < 3; ++k) {
                d[f.offset[k]] = v[k];
            }
        }
    }
}

VrelResult ReferenceEngine::correctPixel(int32_t format, uint32_t colour, uint32_t* result) {
    *result = 0;
    if (format != 2 && format != 5) {
        return VREL_ERR_PARAM;
    }
    const uint8_t low = colour & 0xff, mid = (colour >> 8) & 0xff, high = (colour >> 16) & 0xff;
    uint8_t px[3] = {format == 2 ? low : high, mid, format == 2 ? high : low};
    correct(3, px, px, 1, 0, 0);
    *result = format == 2 ? (px[0] | px[1] << 8 | px[2] << 16) : (px[2] | px[1] << 8 | px[0] << 16);
    return VREL_OK;
}

VrelResult referenceOnDot(int16_t method, uint8_t* const planes[4], int16_t count,
                          int16_t skipStart, int16_t skipEnd) {
    if (method != 1 && method != 4) {
        return VREL_ERR_PARAM;
    }
    const int pixels = std::max<int>(0, count), end = pixels - std::max<int>(0, skipEnd);
    auto bit = [&](int plane, int p) { return (planes[plane][p / 8] >> (7 - p % 8)) & 1; };
    auto set = [&](int plane, int p, int v) {
        const auto mask = static_cast<uint8_t>(0x80 >> (p % 8));
        planes[plane][p / 8] =
            static_cast<uint8_t>(v ? planes[plane][p / 8] | mask : planes[plane][p / 8] & ~mask);
    };
    if (method == 4) {
        std::fill_n(planes[3], (pixels + 7) / 8, uint8_t{0});
    }
    for (int p = skipStart < 0 ? end : skipStart; p < end; ++p) {
        if (method == 1) {
            set(3, p, !bit(3, p));
            continue;
        }
        const int k = !(bit(0, p) | bit(1, p) | bit(2, p));
        set(3, p, k);
        for (int c = 0; c < 3; ++c) {
            set(c, p, !(bit(c, p) | k));
        }
    }
    return VREL_OK;
}

} // namespace vrel::test
