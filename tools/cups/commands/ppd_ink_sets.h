// The ink sets a PPD written by vrel ppd offers: one per profile entry that
// the engine opens with a method it prints with (black only, four, six or
// seven inks), each with the page header code that selects it.
#pragma once

#include <filesystem>
#include <string>
#include <vector>
#include <vrel/dbwriter.h>
#include <vrel/vrel.h>

namespace vrel::cli {

struct InkSet {
    ParamRecord params{};
    int method = 0;
    std::string keyword, text;
    bool hasCorrection = false;
};

// The bytes of a name up to its first zero byte.
std::string bytesOf(const dbwriter::Name24& name);

// Every profile index record's ink sets, in database order; VrelInit reads
// the first record with an id, so a later one with the same id is left out.
std::vector<InkSet> inkSets(const dbwriter::Database& db, const std::filesystem::path& path);

// The number of inks the method prints with (1, 4, 6 or 7).
int inkCount(int method);

} // namespace vrel::cli
