#include "output_budget.h"

#include "cli_error.h"

#include <cerrno>
#include <cstdlib>
#include <fmt/format.h>

namespace vrel::cli {

using namespace vrel::dbwriter;

namespace {

constexpr uint64_t kHeaderAndDirectoryCounts = 20 + 4 + 4;
constexpr uint64_t kDirectoryEntry = 12;

} // namespace

OutputBudget::OutputBudget(uint64_t limit) : limit_(limit), used_(kHeaderAndDirectoryCounts) {}

void OutputBudget::check(uint64_t bytes, const JsonNode& where) const {
    if (bytes > limit_ || used_ > limit_ - bytes)
        where.fail("the database would grow past " + byteSizeText(limit_) +
                   " here (the limit of 'db build'; raise it with --max-size)");
}

void OutputBudget::add(uint64_t bytes, const JsonNode& where) {
    check(bytes, where);
    used_ += bytes;
}

void OutputBudget::reach(uint64_t end, const JsonNode& where) {
    if (end > used_)
        add(end - used_, where);
}

uint64_t recordFileBytes(const Record& record) {
    struct Size {
        uint64_t operator()(const ProfileIndex& x) const {
            const uint64_t stride =
                4 + uint64_t{payloadBytes(x.entryLayout)} + uint64_t{x.extraWords} * 4;
            return 12 + x.entries.size() * stride + x.trailing.size();
        }
        uint64_t operator()(const ColourTable& x) const {
            return colourTableHeaderBytes(x) + x.data.size();
        }
        uint64_t operator()(const ExtensionChunk& x) const {
            return kExtensionChunkBytes + x.trailing.size();
        }
        uint64_t operator()(const RawData& x) const { return x.bytes.size(); }
    };
    return kDirectoryEntry + 4 + std::visit(Size{}, record.content);
}

uint64_t parseByteSize(const std::string& text) {
    errno = 0;
    char* end = nullptr;
    const unsigned long long value = std::strtoull(text.c_str(), &end, 10);
    int shift = 0;
    if (end && *end && !end[1]) {
        switch (*end) {
        case 'K':
        case 'k':
            shift = 10;
            break;
        case 'M':
        case 'm':
            shift = 20;
            break;
        case 'G':
        case 'g':
            shift = 30;
            break;
        default:
            shift = -1;
        }
        if (shift > 0)
            ++end;
    }
    if (text.empty() || text[0] == '-' || errno != 0 || !end || *end || shift < 0 || value == 0 ||
        value > (uint64_t{1} << 40) >> shift)
        throw CliError("--max-size must be a byte count from 1 to 1T, optionally with K, M or G "
                       "(binary multiples), not '" +
                       clipped(text) + "'");
    return uint64_t{value} << shift;
}

std::string byteSizeText(uint64_t bytes) {
    if (bytes >= (uint64_t{1} << 20) && bytes % (uint64_t{1} << 20) == 0)
        return fmt::format("{} MiB", bytes >> 20);
    return fmt::format("{} bytes", bytes);
}

} // namespace vrel::cli
