// The size limit of a database that 'db build' writes. A short description
// can ask for a huge file (padding words times entries, a patch far past the
// end, many large grids); the budget counts what each part will take while
// the description is read and refuses the part that passes the limit, before
// anything of that size is allocated.
#pragma once

#include "description/json_reader.h"

#include <cstdint>
#include <string>
#include <vrel/dbwriter.h>

namespace vrel::cli {

// 256 MiB: far above any real profile database (a 64-point seven-ink table
// is under 2 MiB).
inline constexpr uint64_t kDefaultMaxDatabaseBytes = uint64_t{256} << 20;

class OutputBudget {
  public:
    explicit OutputBudget(uint64_t limit);
    // Fails at `where` when `bytes` more would pass the limit.
    void check(uint64_t bytes, const JsonNode& where) const;
    // Counts `bytes` more of output (after the same check).
    void add(uint64_t bytes, const JsonNode& where);
    // The file grows to at least `end` bytes (a patch reaching past the end).
    void reach(uint64_t end, const JsonNode& where);
    uint64_t used() const { return used_; }

  private:
    uint64_t limit_;
    uint64_t used_;
};

// Bytes a record adds to the file: its directory entry, size word and data,
// computed without encoding it.
uint64_t recordFileBytes(const dbwriter::Record& record);

// "1000000", "64K", "256M", "2G" (binary multiples); throws CliError.
uint64_t parseByteSize(const std::string& text);
std::string byteSizeText(uint64_t bytes);

} // namespace vrel::cli
