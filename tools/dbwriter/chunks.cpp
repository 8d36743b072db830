// Class-16 chunks: colour-table chunks and the extension chunk.
#include "byte_io.h"

#include <algorithm>
#include <stdexcept>
#include <vrel/dbwriter.h>

namespace vrel::dbwriter {

using namespace detail;

static uint8_t pointCountByte(size_t k) {
    if (k > 255)
        throw std::invalid_argument("more than 255 node positions");
    return static_cast<uint8_t>(k);
}

Bytes encodeColourTable(const ColourTable& t) {
    Bytes out;
    out.reserve(colourTableHeaderBytes(t) + t.data.size());
    if (t.marked) {
        putBytes(out, kChunkMark);
        putU8(out, t.headerType);
        if (t.headerType == 1) {
            putU8(out, t.pointCountOverride.value_or(pointCountByte(t.nodes.size())));
            putBytes(out, t.nodes);
        } else if (t.headerType == 2) {
            putU8(out, t.pointCountOverride.value_or(
                           pointCountByte(t.nodeSets.empty() ? 0 : t.nodeSets[0].size())));
            putU8(out, t.type2Spare);
            putU8(out, t.nodeSetCountOverride.value_or(pointCountByte(t.nodeSets.size())));
            for (const Bytes& set : t.nodeSets)
                putBytes(out, set);
        }
    }
    putBytes(out, t.data);
    return out;
}

size_t colourTableHeaderBytes(const ColourTable& t) {
    if (!t.marked)
        return 0;
    if (t.headerType == 1)
        return 6 + t.nodes.size();
    if (t.headerType == 2) {
        size_t n = 8;
        for (const Bytes& set : t.nodeSets)
            n += set.size();
        return n;
    }
    return 5;
}

ColourTable unmarkedTable(Bytes data) {
    ColourTable t;
    t.marked = false;
    t.data = std::move(data);
    return t;
}

ColourTable tableType0(Bytes data) {
    ColourTable t;
    t.headerType = 0;
    t.data = std::move(data);
    return t;
}

ColourTable tableType1(Bytes nodes, Bytes data) {
    ColourTable t;
    t.headerType = 1;
    t.nodes = std::move(nodes);
    t.data = std::move(data);
    return t;
}

ColourTable tableType2(std::vector<Bytes> nodeSets, Bytes data) {
    ColourTable t;
    t.headerType = 2;
    t.nodeSets = std::move(nodeSets);
    t.data = std::move(data);
    return t;
}

std::optional<ColourTable> decodeColourTable(std::span<const uint8_t> in) {
    ColourTable t;
    size_t at = 0;
    if (in.size() >= 5 && std::equal(kChunkMark.begin(), kChunkMark.end(), in.begin())) {
        t.headerType = in[4];
        at = 5;
        if (t.headerType == 1) {
            if (in.size() < 6)
                return std::nullopt;
            const size_t k = in[5];
            if (in.size() < 6 + k)
                return std::nullopt;
            t.nodes.assign(in.begin() + 6, in.begin() + static_cast<std::ptrdiff_t>(6 + k));
            at = 6 + k;
        } else if (t.headerType == 2) {
            if (in.size() < 8)
                return std::nullopt;
            const size_t k = in[5], s = in[7];
            t.type2Spare = in[6];
            if (in.size() < 8 + s * k)
                return std::nullopt;
            for (size_t i = 0; i < s; ++i) {
                const auto first = in.begin() + static_cast<std::ptrdiff_t>(8 + i * k);
                t.nodeSets.emplace_back(first, first + static_cast<std::ptrdiff_t>(k));
            }
            // Without sets the point count is not carried by them.
            if (s == 0 && k != 0)
                t.pointCountOverride = static_cast<uint8_t>(k);
            at = 8 + s * k;
        }
    } else {
        t.marked = false;
    }
    t.data.assign(in.begin() + static_cast<std::ptrdiff_t>(at), in.end());
    const Bytes again = encodeColourTable(t);
    if (!std::equal(again.begin(), again.end(), in.begin(), in.end()))
        return std::nullopt;
    return t;
}

Bytes encodeExtension(const ExtensionChunk& x) {
    Bytes out;
    out.reserve(kExtensionChunkBytes + x.trailing.size());
    putU16(out, x.unused);
    putU16(out, x.extSize);
    putBytes(out, x.extName9);
    putBytes(out, x.extName1);
    putBytes(out, x.extName10);
    putU32(out, x.extSearchKey);
    putU32(out, x.extSearchPair);
    putU32(out, x.extProfileValue);
    putBytes(out, x.trailing);
    return out;
}

std::optional<ExtensionChunk> decodeExtension(std::span<const uint8_t> in) {
    if (in.size() < kExtensionChunkBytes)
        return std::nullopt;
    ExtensionChunk x;
    x.unused = getU16(in, 0);
    x.extSize = getU16(in, 2);
    getBytes(in, 4, x.extName9);
    getBytes(in, 28, x.extName1);
    getBytes(in, 52, x.extName10);
    x.extSearchKey = getU32(in, 76);
    x.extSearchPair = getU32(in, 80);
    x.extProfileValue = getU32(in, 84);
    x.trailing.assign(in.begin() + static_cast<std::ptrdiff_t>(kExtensionChunkBytes), in.end());
    return x;
}

} // namespace vrel::dbwriter
