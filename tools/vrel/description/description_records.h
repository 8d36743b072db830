// The pieces shared by the readers of the JSON description's records
// (internal to description_read*.cpp).
#pragma once

#include "files/output_budget.h"
#include "json_reader.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <filesystem>
#include <fmt/format.h>
#include <vrel/dbwriter.h>

namespace vrel::cli::description_detail {

constexpr int64_t kU16 = 0xffff;
constexpr int64_t kU32 = 0xffffffffLL;

// A fixed-size byte field written as text (padded with zero bytes) or as
// {"hex": ...}.
template <std::size_t N> std::array<uint8_t, N> textField(const JsonNode& node) {
    std::array<uint8_t, N> out{};
    if (node.isString()) {
        const auto text = node.string();
        if (text.size() > N)
            node.fail(fmt::format("longer than {} bytes", N));
        std::memcpy(out.data(), text.data(), text.size());
        return out;
    }
    const auto hex = node.field("hex");
    node.finish();
    const auto bytes = hex.bytes();
    if (bytes.size() != N)
        hex.fail(fmt::format("must be {} bytes", N));
    std::copy(bytes.begin(), bytes.end(), out.begin());
    return out;
}

template <std::size_t N> std::array<uint8_t, N> fixedBytes(const JsonNode& node) {
    const auto bytes = node.bytes();
    if (bytes.size() > N)
        node.fail(fmt::format("at most {} bytes", N));
    std::array<uint8_t, N> out{};
    std::copy(bytes.begin(), bytes.end(), out.begin());
    return out;
}

// The options every record takes: "class", "directorySpare", "sizeOverride"
// and "listing".
void readRecordOptions(const JsonNode& node, dbwriter::Record& record);

// A profile index record (class 8).
dbwriter::Record readProfileRecord(const JsonNode& node);

// A colour-table chunk; its grid is counted against `budget` before it is
// computed.
dbwriter::Record readTableRecord(const JsonNode& node, const std::filesystem::path& base,
                                 const OutputBudget& budget);

} // namespace vrel::cli::description_detail
