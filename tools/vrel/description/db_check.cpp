#include "db_check.h"

#include "cli_error.h"
#include "files/input_file.h"
#include "json_reader.h"
#include "resources/database_format.h"

#include <fmt/format.h>
#include <fstream>
#include <iterator>
#include <map>
#include <optional>
#include <ostream>
#include <set>
#include <tuple>
#include <utility>

namespace vrel::cli {

namespace {

struct RecordSpan {
    uint64_t dataOffset = 0; // file offset of the data (after the size word)
    uint32_t size = 0;
};

// What the engine can be asked to load from a chunk.
struct TableUse {
    uint16_t chunkId;
    int group;         // 0 conversion table, 1 correction table
    uint32_t channels; // 4 for method 3
    int16_t selector;  // the table selector that loads it (0: other)
    uint16_t flagExtension;
    bool operator<(const TableUse& o) const {
        return std::tie(chunkId, group, channels, selector, flagExtension) <
               std::tie(o.chunkId, o.group, o.channels, o.selector, o.flagExtension);
    }
};

bool namesMethod(int channels) {
    return channels == VrelMethodBlack || channels == VrelMethodThreeChannel ||
           channels == VrelMethodFourColor || channels == VrelMethodSixColor ||
           channels == VrelMethodSevenColor;
}

class Checker {
  public:
    explicit Checker(std::span<const uint8_t> bytes) : bytes_(bytes) {
        report_.fileSize = bytes.size();
    }

    CheckReport run() {
        runChecks();
        summariseRepeats();
        return report_;
    }

  private:
    // Findings of one kind beyond this many are counted, not listed: a file
    // of a few bytes can announce millions of alike entries.
    static constexpr int kListedPerKind = 4;
    struct Repeats {
        bool isProblem = false;
        uint64_t listed = 0, hidden = 0, firstHiddenOffset = 0;
    };

    void runChecks() {
        if (bytes_.size() < format::kHeaderBytes) {
            problem(0, fmt::format("file of {} bytes is shorter than the {}-byte header",
                                   bytes_.size(), format::kHeaderBytes));
            return;
        }
        const bool profilesOk = readDirectory(format::kProfileIndexClass, profiles_);
        readDirectory(format::kTableChunkClass, chunks_);
        if (profilesOk && profiles_.empty())
            problem(format::kProfileIndexClass,
                    "the profile directory lists no profile index record (class 8)");
        for (const auto& [id, span] : profiles_)
            checkProfileIndex(id, span);
    }

    void summariseRepeats() {
        for (const auto& [kind, r] : repeats_) {
            if (r.hidden == 0)
                continue;
            CheckFinding f{
                r.firstHiddenOffset,
                fmt::format("and {} more {} (the first {} are listed)", r.hidden, kind, r.listed)};
            (r.isProblem ? report_.problems : report_.notes).push_back(std::move(f));
        }
    }

    std::span<const uint8_t> bytes_;
    CheckReport report_;
    std::map<uint16_t, RecordSpan> profiles_, chunks_;
    std::set<TableUse> tablesChecked_;
    std::set<uint16_t> extensionsChecked_;
    std::set<uint64_t> chunkProblemOffsets_;
    std::set<uint16_t> missingReported_;
    std::set<uint16_t> chunkIdsSeen_;
    // A chunk directory the engine cannot read is reported when a chunk is
    // first needed, and its offset then set to kReported.
    static constexpr uint64_t kReported = UINT64_MAX;
    std::optional<CheckFinding> chunkDirectoryFault_;
    std::set<uint16_t> unreadableChunks_, unreadableProfiles_; // listed, but unreadable
    std::map<std::string, Repeats> repeats_;

    // False when a finding of this kind is only counted from now on.
    bool listed(const char* kind, bool isProblem, uint64_t offset) {
        if (!kind)
            return true;
        auto& r = repeats_[kind];
        r.isProblem = isProblem;
        if (r.listed < kListedPerKind) {
            ++r.listed;
            return true;
        }
        if (r.hidden++ == 0)
            r.firstHiddenOffset = offset;
        return false;
    }
    void problem(uint64_t offset, std::string message, const char* kind = nullptr) {
        if (listed(kind, true, offset))
            report_.problems.push_back({offset, std::move(message)});
    }
    // Chunk problems are reported once per offset, whichever profile uses the chunk.
    void chunkProblem(uint64_t offset, std::string message) {
        if (chunkProblemOffsets_.insert(offset).second)
            problem(offset, std::move(message));
    }
    void note(uint64_t offset, std::string message, const char* kind = nullptr) {
        if (listed(kind, false, offset))
            report_.notes.push_back({offset, std::move(message)});
    }
    bool within(uint64_t offset, uint64_t length) const {
        return offset <= bytes_.size() && length <= bytes_.size() - offset;
    }
    uint32_t u32(uint64_t at) const { return loadLe32(bytes_.data() + at); }
    const uint8_t* at(uint64_t offset) const { return bytes_.data() + offset; }
    // A fault found in the bytes from `base` on, as a finding at its file offset.
    static uint64_t where(uint64_t base, const format::Fault& fault) {
        return static_cast<uint64_t>(static_cast<int64_t>(base) + fault.at);
    }

    // The records of one class as the engine finds them: the first entry of
    // that class and id wins. False when the directory itself is unreadable.
    bool readDirectory(uint32_t recordClass, std::map<uint16_t, RecordSpan>& out) {
        const bool isChunk = recordClass == format::kTableChunkClass;
        const std::string what = isChunk ? "chunk" : "profile";
        const uint32_t dir = u32(recordClass);
        std::optional<CheckFinding> fault;
        const auto holds = [this](uint64_t start, uint64_t length) {
            return within(start, length);
        };
        if (!within(dir, 4)) {
            fault = CheckFinding{
                recordClass, fmt::format("the {} directory offset {} lies past the end of the file",
                                         what, hexNumber(dir, 8))};
        } else if (const auto f = format::directoryFault(dir, u32(dir), holds)) {
            fault = CheckFinding{where(0, f), fmt::format("the {} directory lists {} entries: {}",
                                                          what, u32(dir), f.what)};
        }
        if (fault) {
            if (isChunk)
                chunkDirectoryFault_ = fault;
            else
                problem(fault->offset, fault->message);
            return false;
        }
        const uint32_t count = u32(dir);
        // The first entry of an id wins even when its record cannot be read.
        std::set<uint16_t>& unreadable = isChunk ? unreadableChunks_ : unreadableProfiles_;
        for (uint32_t i = 0; i < count; ++i) {
            const uint64_t entry = dir + 4 + uint64_t{i} * format::kDirectoryEntryBytes;
            const auto e = format::readDirectoryEntry(at(entry));
            if (e.recordClass != recordClass)
                continue;
            const std::string name =
                fmt::format("record {} (class {})", hexNumber(e.id, 4), recordClass);
            if (out.count(e.id) || unreadable.count(e.id)) {
                note(entry,
                     fmt::format("{} directory entry {} repeats id {}; the first entry is used",
                                 what, i, hexNumber(e.id, 4)),
                     "directory entries repeat an earlier id");
                continue;
            }
            if (!within(e.recordOffset, 4)) {
                unreadable.insert(e.id);
                problem(entry + 8,
                        fmt::format("{} starts at {}, past the end of the file", name,
                                    hexNumber(e.recordOffset, 8)),
                        "directory entries point past the end of the file");
                continue;
            }
            const uint32_t size = u32(e.recordOffset);
            if (const auto f = format::recordFault(e.recordOffset, size, holds)) {
                unreadable.insert(e.id);
                problem(where(0, f), fmt::format("{} of {} bytes: {}", name, size, f.what),
                        "records claim more bytes than follow them");
                continue;
            }
            out[e.id] = RecordSpan{e.recordOffset + uint64_t{4}, size};
        }
        return true;
    }

    void checkProfileIndex(uint16_t id, const RecordSpan& record) {
        ++report_.profileRecords;
        const std::string name = fmt::format("profile index {} (profile number {})", id,
                                             static_cast<uint16_t>(id - format::kProfileIdBase));
        const uint64_t d = record.dataOffset;
        format::IndexHead head{};
        auto fault = format::readIndexHead(at(d), record.size, &head);
        if (!fault)
            fault = format::layoutFault(head);
        if (fault) {
            problem(where(d, fault), name + ": " + fault.what);
            return;
        }
        const uint32_t payload = format::payloadBytes(head.layout);
        const uint64_t stride = uint64_t{head.entryWords} * 4;
        if (stride != 0 && stride < 4 + payload)
            note(d + 8, fmt::format("{}: entries of {} words are shorter than the key and the "
                                    "layout-{} payload ({} bytes), so they overlap",
                                    name, head.entryWords, head.layout, 4 + payload));
        const uint64_t searched = format::searchedEntries(head, record.size);
        if (searched == 0) {
            problem(d + 4, fmt::format("{} announces {} entries of {} words, but no key lies "
                                       "inside the record: no profile is found",
                                       name, head.profileCount, head.entryWords));
            return;
        }
        if (head.profileCount > searched)
            note(d + 4, fmt::format("{} announces {} entries but the record ends inside entry "
                                    "{}; it and the ones after it are never found",
                                    name, head.profileCount, searched));
        std::set<uint32_t> keys;
        for (uint64_t i = 0; i < searched; ++i) {
            const uint64_t entry = d + format::entryOffset(head, i);
            const uint32_t key = u32(entry);
            if (!keys.insert(key).second) {
                note(entry,
                     fmt::format("{}: entry {} repeats key {}; the first entry is used", name, i,
                                 hexNumber(key, 8)),
                     "profile entries repeat an earlier key");
                continue;
            }
            ++report_.profileEntries;
            const std::string entryName =
                fmt::format("{} entry {} (key {})", name, i, hexNumber(key, 8));
            if (const auto f = format::payloadFault(head, entry - d, record.size)) {
                problem(where(d, f), entryName + ": " + f.what,
                        "profile entries run past the end of their record");
                continue;
            }
            checkEntry(entryName, entry + 4, head);
        }
    }

    // The entry decoded as the engine decodes it, and every table it can
    // make the engine load.
    void checkEntry(const std::string& name, uint64_t p, const format::IndexHead& head) {
        const format::EntryTables decoded =
            format::entryTables(at(p), head.layout, head.recordFlags);
        const uint16_t flagExtension = (head.recordFlags & format::kFlagExtension) != 0;
        const int channels = decoded.channelCount;
        if (!namesMethod(channels)) {
            problem(p + format::kDescriptorOffset[head.layout],
                    fmt::format("{}: {} channels name no conversion method (1, 3, 4, 6, 7)", name,
                                channels),
                    "profile entries name no conversion method");
        } else if (channels != VrelMethodBlack) {
            const uint32_t tableChannels =
                format::conversionTableChannels(static_cast<uint32_t>(channels));
            checkTable(name + ", conversion table",
                       TableUse{static_cast<uint16_t>(decoded.lutChunkWord), 0, tableChannels, 0,
                                flagExtension});
        }
        for (const int16_t selector : {int16_t{0}, int16_t{2}, int16_t{3}}) {
            const auto chunk =
                static_cast<uint16_t>(decoded.tableIds[format::correctionSlotFor(selector)]);
            if (chunk != 0)
                checkTable(selector == 0 ? name + ", correction table for selector other"
                                         : fmt::format("{}, correction table for selector {}", name,
                                                       selector),
                           TableUse{chunk, 1, 3, selector, flagExtension});
            if (flagExtension)
                checkExtension(name, format::extensionIdFor(selector));
        }
    }

    // The record of a chunk the engine loads, or null when it cannot be read
    // (reported once, where the engine's search for it fails).
    const RecordSpan* findChunk(const std::string& name, uint16_t id) {
        if (unreadableChunks_.count(id))
            return nullptr; // already reported where its directory entry points
        const auto it = chunks_.find(id);
        if (it == chunks_.end()) {
            if (!missingReported_.insert(id).second)
                return nullptr;
            if (!chunkDirectoryFault_)
                problem(format::kTableChunkClass,
                        name + ": chunk " + hexNumber(id, 4) + " is not in the chunk directory",
                        "chunks are named but not in the chunk directory");
            else if (chunkDirectoryFault_->offset != kReported)
                problem(std::exchange(chunkDirectoryFault_->offset, kReported),
                        chunkDirectoryFault_->message);
            return nullptr;
        }
        if (chunkIdsSeen_.insert(id).second)
            ++report_.chunksChecked;
        return &it->second;
    }

    void checkTable(const std::string& name, const TableUse& use) {
        if (!tablesChecked_.insert(use).second)
            return;
        const RecordSpan* chunk = findChunk(name, use.chunkId);
        if (!chunk)
            return;
        const std::string chunkName = name + " (chunk " + hexNumber(use.chunkId, 4) + ")";
        // Every node set an input kind can choose with this selector.
        const uint32_t sets = format::nodeSetsChosen(use.selector, use.flagExtension);
        for (uint32_t set = 0; set < sets; ++set) {
            const format::TableRequest request{use.group, use.channels,
                                               use.group == 1 && use.selector == 3, set};
            format::TableChunk table{};
            const uint8_t* bytes = at(chunk->dataOffset);
            auto fault = format::readTableChunk(bytes, chunk->size, request, &table);
            if (!fault && table.pointCount != 0) { // the nodes, checked as the table is built
                fault = format::nodesFault(bytes + table.nodesAt, table.pointCount);
                fault.at += table.nodesAt;
            }
            if (fault)
                chunkProblem(where(chunk->dataOffset, fault),
                             table.headerType == 2
                                 ? fmt::format("{}, node set {}: {}", chunkName, set, fault.what)
                                 : fmt::format("{}: {}", chunkName, fault.what));
            if (table.headerType != 2)
                break; // no other set to choose
        }
    }

    void checkExtension(const std::string& name, uint16_t id) {
        if (!extensionsChecked_.insert(id).second)
            return;
        const RecordSpan* chunk = findChunk(name + ", extension", id);
        if (!chunk)
            return;
        if (const auto f = format::extensionFault(at(chunk->dataOffset), chunk->size))
            chunkProblem(where(chunk->dataOffset, f),
                         fmt::format("extension chunk {} of {} bytes: {}", hexNumber(id, 4),
                                     chunk->size, f.what));
    }
};

} // namespace
CheckReport checkDatabase(std::span<const uint8_t> bytes) {
    return Checker(bytes).run();
}

CheckReport checkDatabaseFile(const std::string& path) {
    return checkDatabase(readInputFile(path, "database"));
}

void printCheckReport(const CheckReport& report, std::ostream& out) {
    for (const auto& p : report.problems)
        out << fmt::format("problem at 0x{:08x}: {}\n", p.offset, p.message);
    for (const auto& n : report.notes)
        out << fmt::format("note at 0x{:08x}: {}\n", n.offset, n.message);
    out << fmt::format(
        "{} bytes, {} profile index records, {} profile entries, {} chunks checked: "
        "{}\n",
        report.fileSize, report.profileRecords, report.profileEntries, report.chunksChecked,
        report.problems.empty() ? "no problems"
                                : fmt::format("{} problem(s)", report.problems.size()));
}

} // namespace vrel::cli
