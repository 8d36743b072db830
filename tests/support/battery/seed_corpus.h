// The seed corpus of every fuzz target, as files: the database catalogue
// for fuzz_database, and hand-made operation sequences for fuzz_conversion
// and fuzz_ondot. The files under fuzz/corpus/ are written from here.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vrel::test {

struct SeedFile {
    std::string target; // database, conversion, ondot
    std::string name;
    std::vector<uint8_t> bytes;
};

std::vector<SeedFile> seedCorpus();

} // namespace vrel::test
