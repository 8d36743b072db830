// Seed files of the fuzz targets; see seed_corpus.h.
#include "seed_corpus.h"

#include "database_catalogue.h"

namespace vrel::test {

namespace {

// One 14-byte operation of fuzz_conversion: context, operation, input
// format, output format, count, skipStart, skipEnd, source step, seed and
// the high byte of the count.
std::vector<uint8_t> operation(int context, int op, int in, int out, uint16_t count,
                               int16_t skipStart, uint16_t skipEnd, int step, int countHigh = 0) {
    const auto start = static_cast<uint16_t>(skipStart);
    return {static_cast<uint8_t>(context),
            static_cast<uint8_t>(op),
            static_cast<uint8_t>(in),
            static_cast<uint8_t>(out),
            static_cast<uint8_t>(count),
            static_cast<uint8_t>(count >> 8),
            static_cast<uint8_t>(start),
            static_cast<uint8_t>(start >> 8),
            static_cast<uint8_t>(skipEnd),
            static_cast<uint8_t>(skipEnd >> 8),
            static_cast<uint8_t>(step),
            0x5a,
            0x01,
            static_cast<uint8_t>(countHigh)};
}

void append(std::vector<uint8_t>& to, const std::vector<uint8_t>& bytes) {
    to.insert(to.end(), bytes.begin(), bytes.end());
}

std::vector<SeedFile> conversionSeeds() {
    std::vector<SeedFile> seeds;
    // Per context (0-4 methods 1, 3, 4, 6, 7; 5 direct path; 6-8 class 9):
    // bitmap RGB to every output group, a line, pixels and corrections.
    for (int context = 0; context < 9; ++context) {
        std::vector<uint8_t> bytes;
        for (const int out : {3, 9, 11, 13, 15, 16, 19, 21}) {
            append(bytes, operation(context, 0, 3, out, 40, 3, 2, 0));
        }
        append(bytes, operation(context, 0, 9, 13, 17, 0, 0, 2));
        append(bytes, operation(context, 1, 3, 0, 33, 1, 1, 4));
        append(bytes, operation(context, 1, 22, 0, 9, 0, 0, 0));
        append(bytes, operation(context, 2, 0, 13, 0x3456, 0x12, 0, 0));
        append(bytes, operation(context, 3, 4, 0, 21, 2, 2, 0x80));
        append(bytes, operation(context, 4, 0, 4, 0x3456, 0, 0, 0));
        seeds.push_back({"conversion", "context-" + std::to_string(context), std::move(bytes)});
    }
    // Prepared tables on the class-9 contexts, then their input formats.
    for (int context = 6; context < 9; ++context) {
        std::vector<uint8_t> bytes;
        for (const int mode : {2, 3, 4}) {
            append(bytes, operation(context, 5, mode, 0, 12, 0, 0, 0));
            const int in = mode == 2 ? 7 : mode == 3 ? 9 : 10;
            for (const int out : {3, 9, 13, 16, 21}) {
                append(bytes, operation(context, 0, in, out, 37, 5, 3, 0));
            }
        }
        seeds.push_back({"conversion", "prepared-" + std::to_string(context), std::move(bytes)});
    }
    // Runs at the edges of the 16-bit arithmetic.
    std::vector<uint8_t> edges;
    append(edges, operation(2, 0, 3, 13, 0x8005, 2, 1, 0));    // n above 32767
    append(edges, operation(2, 0, 3, 13, 5, 0, 0xffff, 0));    // skips past the count
    append(edges, operation(2, 0, 3, 13, 1, 0, 0xffff, 0));    // the same on one pixel
    append(edges, operation(3, 1, 3, 0, 5, 2, 0xfffe, 0));     // and on a line
    append(edges, operation(2, 3, 3, 0, 5, 0, 0xffff, 0));     // and on a correction
    append(edges, operation(2, 0, 3, 13, 0x1170, 0, 0, 0, 1)); // count 70000: 4464 pixels
    append(edges, operation(2, 3, 3, 0, 10, -3, 0, 0));        // negative skipStart
    append(edges, operation(3, 1, 5, 0, 10, 4, 6, 0));         // empty line
    append(edges, operation(2, 0, 3, 13, 10, -2, 0, 0));       // run before pixel 0
    append(edges, operation(2, 0, 10, 13, 16, -9, 0, 0));      // the same on a bit row
    append(edges, operation(3, 1, 3, 0, 10, -1, 0, 0));        // and on a line
    seeds.push_back({"conversion", "run-edges", std::move(edges)});
    return seeds;
}

std::vector<uint8_t> onDot(int method, int16_t count, int16_t skipStart, int16_t skipEnd,
                           std::vector<uint8_t> planes) {
    const auto c = static_cast<uint16_t>(count);
    const auto s = static_cast<uint16_t>(skipStart);
    const auto e = static_cast<uint16_t>(skipEnd);
    std::vector<uint8_t> bytes = {static_cast<uint8_t>(method), static_cast<uint8_t>(c),
                                  static_cast<uint8_t>(c >> 8), static_cast<uint8_t>(s),
                                  static_cast<uint8_t>(s >> 8), static_cast<uint8_t>(e),
                                  static_cast<uint8_t>(e >> 8)};
    append(bytes, planes);
    return bytes;
}

std::vector<SeedFile> onDotSeeds() {
    // Method index: 0 black, 1 four-colour, 2 three-channel (refused).
    return {
        {"ondot", "black-two-bytes", onDot(0, 16, 0, 0, {0, 0, 0, 0, 0, 0, 0x0f, 0xf0})},
        {"ondot", "black-inside-one-byte", onDot(0, 6, 3, 0, {0, 0, 0, 0xaa})},
        {"ondot", "four-colour-dark", onDot(1, 8, 0, 0, {0, 0, 0, 0x55})},
        {"ondot", "four-colour-skip-first-byte", onDot(1, 16, 8, 0, {1, 2, 3, 4, 5, 6, 7, 8})},
        {"ondot", "four-colour-long", onDot(1, 300, 5, 11, std::vector<uint8_t>(160, 0x93))},
        {"ondot", "refused-method", onDot(2, 24, 0, 0, std::vector<uint8_t>(12, 0x3c))},
        {"ondot", "negative-skip-end", onDot(1, 20, 2, -9, std::vector<uint8_t>(12, 0x0f))},
    };
}

} // namespace

std::vector<SeedFile> seedCorpus() {
    std::vector<SeedFile> files;
    for (CatalogueEntry& entry : databaseCatalogue()) {
        files.push_back({"database", entry.name, dbwriter::writeDatabase(entry.database)});
    }
    for (SeedFile& seed : conversionSeeds()) {
        files.push_back(std::move(seed));
    }
    for (SeedFile& seed : onDotSeeds()) {
        files.push_back(std::move(seed));
    }
    return files;
}

} // namespace vrel::test
