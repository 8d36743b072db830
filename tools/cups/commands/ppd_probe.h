// The conversion method the engine opens for each entry of a profile index
// record, found by opening the entry with VrelInit.
//
// VrelInit reads the whole profile index record at every start, so opening
// every entry of an n-entry record in the database itself takes time in n².
// The probe instead writes, once per record, a copy of the database in which
// that record holds a single entry slot and no other profile record is kept
// (VrelInit reads no other), and rewrites the slot in place for each entry:
// the time per entry no longer grows with the record. Records that are not
// written as the writer would write them (count, size or directory
// overrides, trailing bytes), and every record when no temporary folder
// takes the copy, are probed in the database itself.
#pragma once

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <utility>
#include <vrel/dbwriter.h>
#include <vrel/vrel.h>

namespace vrel::cli {

// A folder removed with everything in it when the object goes.
struct ProbeFolder {
    std::filesystem::path path; // empty: none
    ProbeFolder() = default;
    ProbeFolder(const ProbeFolder&) = delete;
    ProbeFolder& operator=(ProbeFolder&& other) noexcept {
        std::swap(path, other.path);
        return *this;
    }
    ~ProbeFolder();
};

class EntryProbe {
  public:
    // Probes entries of db.records[recordIndex] (a profile index record) of
    // the database file at `database`.
    EntryProbe(const dbwriter::Database& db, std::size_t recordIndex,
               const std::filesystem::path& database);
    EntryProbe(const EntryProbe&) = delete;
    EntryProbe& operator=(const EntryProbe&) = delete;

    // The method VrelInitColorConversion gives for the entry, found with
    // `params` (profile number and key fields set), or a negative result.
    int method(const dbwriter::ProfileEntry& entry, ParamRecord params);

  private:
    bool writeCopy(const dbwriter::Database& db, std::size_t recordIndex);

    std::filesystem::path database_; // the file VrelInit opens
    ProbeFolder folder_;             // the copy's folder (declared before slot_: outlives it)
    std::fstream slot_;              // the copy, open while it is used
    std::uint64_t slotOffset_ = 0;   // file offset of the entry slot in the copy
    dbwriter::ProfileIndex single_;  // the record's head with one entry
};

} // namespace vrel::cli
