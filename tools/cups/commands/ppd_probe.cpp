#include "ppd_probe.h"

#include "cli_error.h"
#include "common/database_name.h"

#include <cstdlib>
#include <cstring>
#include <string>
#include <system_error>
#include <vector>

namespace vrel::cli {

namespace {

using namespace vrel::dbwriter;

// Layout word, entry count and entry size in words.
constexpr std::size_t kIndexHeadBytes = 12;

// True when the record and its database are written as the writer writes
// them by default, so that a copy with other entries reads the same way.
bool plainlyWritten(const Database& db, const Record& record, const ProfileIndex& index) {
    return db.profileDirectory == DirectoryOptions{} && db.chunkDirectory == DirectoryOptions{} &&
           db.patches.empty() && !db.truncateAt && record.listing == Listing::Default &&
           !record.sizeOverride && !index.profileCountOverride && !index.entryWordsOverride &&
           index.trailing.empty() && index.entryLayout == decodeLayout(index.layoutWord);
}

// A new folder under the temporary folder; empty when none can be made.
std::filesystem::path makeProbeFolder() {
    std::error_code error;
    const auto temporary = std::filesystem::temp_directory_path(error);
    std::string pattern = (temporary / "vrel-ppd-XXXXXX").string();
    if (error || ::mkdtemp(pattern.data()) == nullptr)
        return {};
    return pattern;
}

// The database with the record's entries cut to one and no other profile
// record; the record's position in the copy goes to *position.
Database probeCopy(const Database& db, std::size_t recordIndex, const ProfileIndex& single,
                   std::size_t* position) {
    Database copy = db;
    copy.records.clear();
    for (std::size_t i = 0; i < db.records.size(); ++i) {
        const Record& record = db.records[i];
        const bool profile = std::holds_alternative<ProfileIndex>(record.content) &&
                             record.recordClass == kProfileClass;
        if (i == recordIndex) {
            *position = copy.records.size();
            copy.records.push_back(record);
            copy.records.back().content = single;
        } else if (!profile) {
            copy.records.push_back(record);
        }
    }
    return copy;
}

} // namespace

ProbeFolder::~ProbeFolder() {
    if (path.empty())
        return;
    std::error_code ignored;
    std::filesystem::remove_all(path, ignored);
}

EntryProbe::EntryProbe(const Database& db, std::size_t recordIndex,
                       const std::filesystem::path& database)
    : database_(database) {
    const Record& record = db.records.at(recordIndex);
    const auto& index = std::get<ProfileIndex>(record.content);
    single_ = index;
    single_.entries.assign(1, index.entries.empty() ? ProfileEntry{} : index.entries.front());
    if (plainlyWritten(db, record, index) && !writeCopy(db, recordIndex)) {
        slot_.close();
        folder_ = {};
    }
}

// Writes the copy with one entry slot; false when no temporary folder takes
// it (the entries are then opened in the database itself).
bool EntryProbe::writeCopy(const Database& db, std::size_t recordIndex) {
    std::size_t position = 0;
    const WrittenDatabase written =
        writeDatabaseWithLayout(probeCopy(db, recordIndex, single_, &position));
    folder_.path = makeProbeFolder();
    if (folder_.path.empty())
        return false;
    const auto copy = folder_.path / "probe.vdb";
    slot_.open(copy, std::ios::binary | std::ios::in | std::ios::out | std::ios::trunc);
    slot_.write(reinterpret_cast<const char*>(written.bytes.data()),
                static_cast<std::streamsize>(written.bytes.size()));
    slot_.flush();
    if (!slot_)
        return false;
    database_ = copy;
    // The one entry is the last thing in the record: head, then the entry.
    slotOffset_ = written.dataOffset(position) + kIndexHeadBytes;
    return true;
}

int EntryProbe::method(const ProfileEntry& entry, ParamRecord params) {
    if (slot_.is_open()) {
        single_.entries.front() = entry;
        const Bytes bytes = encodeProfileIndex(single_);
        slot_.seekp(static_cast<std::streamoff>(slotOffset_));
        slot_.write(reinterpret_cast<const char*>(bytes.data()) + kIndexHeadBytes,
                    static_cast<std::streamsize>(bytes.size() - kIndexHeadBytes));
        slot_.flush();
        if (!slot_)
            throw CliError("cannot write the temporary database '" + database_.string() + "'");
    }
    const auto location = vrel::tools::locateDatabase(database_);
    if (!vrel::tools::databaseNameFits(location.name))
        throw CliError("the database file name '" + location.name + "' is longer than 20 bytes");
    vrel::tools::nameDatabase(params, location.name, location.directory);
    EngineContext* context = nullptr;
    const VrelResult opened = VrelInit(&context, &params);
    if (opened != VREL_OK && opened != VREL_OK_ADJUST)
        return opened < 0 ? opened : VREL_ERR_PARAM;
    const int method = VrelInitColorConversion(context, VrelModeDirect, nullptr);
    VrelClose(context);
    return method;
}

} // namespace vrel::cli
