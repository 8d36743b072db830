// A check of a profile database file by the engine's own loading rules:
// the container (header, directories, records), the profile index records
// and their entries, and every colour-table and extension chunk a profile
// can make the engine load, each with the channel count and group it is
// loaded for. Every problem names the file offset of the offending bytes.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <span>
#include <string>
#include <vector>

namespace vrel::cli {

struct CheckFinding {
    uint64_t offset = 0; // file offset of the offending bytes
    std::string message;
};

struct CheckReport {
    uint64_t fileSize = 0;
    int profileRecords = 0; // class-8 records found through the directory
    int profileEntries = 0;
    int chunksChecked = 0;
    std::vector<CheckFinding> problems; // the engine refuses or cannot load these
    std::vector<CheckFinding> notes;    // legal but worth knowing (duplicates, ...)
};

CheckReport checkDatabase(std::span<const uint8_t> bytes);
CheckReport checkDatabaseFile(const std::string& path); // throws CliError when unreadable
void printCheckReport(const CheckReport& report, std::ostream& out);

} // namespace vrel::cli
