#include "db_check.h"

#include "cli_error.h"
#include "input_file.h"
#include "resources/database_format.h"

#include <cstdio>
#include <fstream>
#include <iterator>
#include <map>
#include <ostream>
#include <set>

namespace vrel::cli {

namespace {

constexpr uint32_t kProfileClass = format::kProfileIndexClass;
constexpr uint32_t kChunkClass = format::kTableChunkClass;
constexpr uint32_t kMaxPoints = format::kMaxGridPoints;
constexpr uint32_t kDefaultPoints = format::kDefaultGridPoints;
constexpr uint32_t kExtensionBytes = format::kExtensionBytes;
constexpr uint16_t kExtensionSize = format::kExtensionSizeWord;
const uint8_t kMark[4] = {0xff, 0x00, 0xff, 0x00};

std::string hex(uint64_t v, int digits = 4) {
    char text[32];
    std::snprintf(text, sizeof text, "0x%0*llx", digits, static_cast<unsigned long long>(v));
    return text;
}

struct RecordSpan {
    uint64_t dataOffset = 0; // file offset of the data (after the size word)
    uint32_t size = 0;
};

// What the engine can be asked to load from a chunk.
struct TableUse {
    uint16_t chunkId;
    int group;         // 0 conversion table, 1 correction table
    uint32_t channels; // 4 for method 3
    bool selectorThree;
    bool flagExtension;
    bool operator<(const TableUse& o) const {
        return std::tie(chunkId, group, channels, selectorThree, flagExtension) <
               std::tie(o.chunkId, o.group, o.channels, o.selectorThree, o.flagExtension);
    }
};

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
        if (bytes_.size() < 20) {
            problem(0, "file of " + std::to_string(bytes_.size()) +
                           " bytes is shorter than the 20-byte header");
            return;
        }
        const bool profilesOk = readDirectory(kProfileClass, profiles_);
        chunkDirectoryOk_ = readDirectory(kChunkClass, chunks_);
        if (profilesOk && profiles_.empty())
            problem(8, "the profile directory lists no profile index record (class 8)");
        for (const auto& [id, span] : profiles_)
            checkProfileIndex(id, span);
    }

    void summariseRepeats() {
        for (const auto& [kind, r] : repeats_) {
            if (r.hidden == 0)
                continue;
            CheckFinding f{r.firstHiddenOffset, "and " + std::to_string(r.hidden) + " more " +
                                                    kind + " (the first " +
                                                    std::to_string(r.listed) + " are listed)"};
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
    bool chunkDirectoryOk_ = true;
    std::set<uint16_t> unreadableChunks_; // listed, but the record cannot be read
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
    uint32_t u32(uint64_t at) const {
        const uint8_t* p = bytes_.data() + at;
        return p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24;
    }
    uint16_t u16(uint64_t at) const {
        const uint8_t* p = bytes_.data() + at;
        return static_cast<uint16_t>(p[0] | p[1] << 8);
    }

    // The records of one class as the engine finds them: the first entry of
    // that class and id wins. False when the directory itself is unreadable.
    bool readDirectory(uint32_t recordClass, std::map<uint16_t, RecordSpan>& out) {
        const std::string what = recordClass == kProfileClass ? "profile" : "chunk";
        const uint32_t dir = u32(recordClass);
        if (!within(dir, 4)) {
            problem(recordClass, "the " + what + " directory offset " + hex(dir, 8) +
                                     " lies past the end of the file");
            return false;
        }
        const uint32_t count = u32(dir);
        if (!within(dir + 4, static_cast<uint64_t>(count) * 12)) {
            problem(dir, "the " + what + " directory lists " + std::to_string(count) +
                             " entries but the file ends after " +
                             std::to_string((bytes_.size() - dir - 4) / 12));
            return false;
        }
        for (uint32_t i = 0; i < count; ++i) {
            const uint64_t entry = dir + 4 + static_cast<uint64_t>(i) * 12;
            if (u32(entry) != recordClass)
                continue;
            const uint16_t id = u16(entry + 4);
            if (out.count(id)) {
                note(entry,
                     what + " directory entry " + std::to_string(i) + " repeats id " + hex(id) +
                         "; the first entry is used",
                     "directory entries repeat an earlier id");
                continue;
            }
            const uint32_t offset = u32(entry + 8);
            if (!within(offset, 4)) {
                if (recordClass == kChunkClass)
                    unreadableChunks_.insert(id);
                problem(entry + 8,
                        "record " + hex(id) + " (class " + std::to_string(recordClass) +
                            ") starts at " + hex(offset, 8) + ", past the end of the file",
                        "directory entries point past the end of the file");
                continue;
            }
            const uint32_t size = u32(offset);
            if (!within(offset + 4, size)) {
                if (recordClass == kChunkClass)
                    unreadableChunks_.insert(id);
                problem(offset,
                        "record " + hex(id) + " (class " + std::to_string(recordClass) +
                            ") claims " + std::to_string(size) + " bytes but only " +
                            std::to_string(bytes_.size() - offset - 4) + " follow",
                        "records claim more bytes than follow them");
                continue;
            }
            out[id] = RecordSpan{offset + 4, size};
        }
        return true;
    }

    void checkProfileIndex(uint16_t id, const RecordSpan& record) {
        ++report_.profileRecords;
        const std::string name = "profile index " + std::to_string(id) + " (profile number " +
                                 std::to_string(static_cast<uint16_t>(id - 1000)) + ")";
        const uint64_t d = record.dataOffset;
        if (record.size < 12) {
            problem(d, name + " holds " + std::to_string(record.size) +
                           " bytes, less than its 12-byte head");
            return;
        }
        const uint32_t word = u32(d);
        const int layout = (word & 0xff) == 0 ? 0 : static_cast<int16_t>(word & 0xffff);
        const uint32_t flags = layout == 0 ? (word & 0xff00) : (word & 0xffff0000u);
        if (layout < 0 || layout > 2) {
            problem(d, name + ": layout word " + hex(word, 8) + " names layout " +
                           std::to_string(layout) + " (0, 1 or 2 are loaded)");
            return;
        }
        const bool flagExtension = (flags >> 17) & 1;
        const uint32_t count = u32(d + 4), words = u32(d + 8);
        const uint32_t payload = layout == 0 ? 160 : layout == 1 ? 292 : 276;
        const uint64_t stride = static_cast<uint64_t>(words) * 4;
        if (count == 0) {
            problem(d + 4, name + " holds no profile entries");
            return;
        }
        if (stride < 4 + payload)
            note(d + 8, name + ": entries of " + std::to_string(words) +
                            " words are shorter than the key and the layout-" +
                            std::to_string(layout) + " payload (" + std::to_string(4 + payload) +
                            " bytes), so they overlap");
        // The search reads no entry past the record: such entries are never
        // found; a matching entry whose payload runs past the record is refused.
        // Only the entries whose key lies inside the record are looked at, and
        // with entries of no words every entry is the first one again.
        const uint64_t inRecord = record.size < 16 ? 0
                                  : stride == 0    ? 1
                                                   : (record.size - 16) / stride + 1;
        const uint64_t examined = std::min<uint64_t>(count, inRecord);
        if (count > examined && (stride != 0 || examined == 0))
            note(d + 4, name + " announces " + std::to_string(count) +
                            " entries but the record ends inside entry " +
                            std::to_string(examined) +
                            "; it and the ones after it are never found");
        if (count > 1 && stride == 0 && examined == 1)
            note(d + 8, name + " announces " + std::to_string(count) +
                            " entries of 0 words: every one of them is the first entry");
        std::set<uint32_t> keys;
        for (uint64_t i = 0; i < examined; ++i) {
            const uint64_t at = 12 + i * stride;
            const uint64_t entry = d + at;
            const uint32_t key = u32(entry);
            if (!keys.insert(key).second) {
                note(entry,
                     name + ": entry " + std::to_string(i) + " repeats key " + hex(key, 8) +
                         "; the first entry is used",
                     "profile entries repeat an earlier key");
                continue;
            }
            ++report_.profileEntries;
            const std::string entryName =
                name + " entry " + std::to_string(i) + " (key " + hex(key, 8) + ")";
            if (at + 4 + payload > record.size) {
                problem(entry,
                        entryName + ": its layout-" + std::to_string(layout) + " payload (" +
                            std::to_string(payload) + " bytes) runs past the end of the record",
                        "profile entries run past the end of their record");
                continue;
            }
            checkEntry(entryName, entry + 4, layout, flagExtension);
        }
    }

    void checkEntry(const std::string& name, uint64_t p, int layout, bool flagExtension) {
        uint32_t tableIds[3], lut;
        uint64_t descriptorAt;
        if (layout == 0) {
            tableIds[0] = u32(p + 48);
            tableIds[1] = u32(p + 52);
            tableIds[2] = tableIds[0];
            lut = u32(p + 56);
            descriptorAt = p + 64;
        } else if (layout == 1) {
            for (int i = 0; i < 3; ++i)
                tableIds[i] = u32(p + 16 + 4 * static_cast<uint64_t>(i));
            lut = u32(p + 28);
            descriptorAt = p + 36;
        } else {
            for (int i = 0; i < 3; ++i)
                tableIds[i] = u16(p + 8 + 2 * static_cast<uint64_t>(i));
            lut = u16(p + 14);
            descriptorAt = p + 20;
        }
        // Channel count: descriptors whose field c is nonzero; four with
        // descriptor 0's field e equal to 256 count as three.
        int present = 0;
        uint32_t e0 = 0;
        for (int i = 0; i < 8; ++i) {
            uint32_t c, e;
            if (layout == 0) {
                const uint32_t w = u32(descriptorAt + 4 * static_cast<uint64_t>(i));
                c = (w >> 8) & 7;
                e = (w >> 23) & 0x1ff;
            } else {
                const uint64_t at = descriptorAt + 8 * static_cast<uint64_t>(i);
                c = (u32(at + 4) >> 16) & 0xff;
                e = (u32(at) >> 15) & 0x1ff;
            }
            if (c)
                ++present;
            if (i == 0)
                e0 = e;
        }
        const int channels = (e0 == 256 && present == 4) ? 3 : present;
        if (channels != 1 && channels != 3 && channels != 4 && channels != 6 && channels != 7) {
            problem(descriptorAt,
                    name + ": " + std::to_string(channels) +
                        " channels name no conversion method (1, 3, 4, 6, 7)",
                    "profile entries name no conversion method");
        } else if (channels != 1) {
            checkTable(name + ", conversion table",
                       TableUse{static_cast<uint16_t>(lut), 0,
                                static_cast<uint32_t>(channels == 3 ? 4 : channels), false,
                                flagExtension});
        }
        const char* selectors[3] = {"selector other", "selector 2", "selector 3"};
        for (int i = 0; i < 3; ++i) {
            const auto chunk = static_cast<uint16_t>(tableIds[i]);
            if (chunk == 0)
                continue;
            checkTable(name + ", correction table for " + selectors[i],
                       TableUse{chunk, 1, 3, i == 2, flagExtension});
        }
        if (flagExtension)
            for (uint16_t ext : {uint16_t{0x640}, uint16_t{0x641}, uint16_t{0x642}})
                checkExtension(name, ext);
    }

    void checkNodes(const std::string& name, uint64_t at, uint32_t k) {
        if (bytes_[at] != 0) {
            chunkProblem(at,
                         name + ": the first node is " + std::to_string(bytes_[at]) + ", not 0");
            return;
        }
        for (uint32_t i = 1; i < k; ++i)
            if (bytes_[at + i] <= bytes_[at + i - 1]) {
                chunkProblem(at + i, name + ": node " + std::to_string(i) + " (" +
                                         std::to_string(bytes_[at + i]) + ") does not rise above " +
                                         std::to_string(bytes_[at + i - 1]));
                return;
            }
        if (bytes_[at + k - 1] != 255)
            chunkProblem(at + k - 1, name + ": the last node is " +
                                         std::to_string(bytes_[at + k - 1]) + ", not 255");
    }

    void checkTable(const std::string& name, const TableUse& use) {
        if (!tablesChecked_.insert(use).second)
            return;
        const auto it = chunks_.find(use.chunkId);
        if (unreadableChunks_.count(use.chunkId))
            return; // already reported where its directory entry points
        if (it == chunks_.end()) {
            if (chunkDirectoryOk_ && missingReported_.insert(use.chunkId).second)
                problem(16, name + ": chunk " + hex(use.chunkId) + " is not in the chunk directory",
                        "chunks are named but not in the chunk directory");
            return;
        }
        if (chunkIdsSeen_.insert(use.chunkId).second)
            ++report_.chunksChecked;
        const std::string chunkName = name + " (chunk " + hex(use.chunkId) + ")";
        const uint64_t d = it->second.dataOffset;
        const uint32_t size = it->second.size;
        uint64_t header = 0;
        uint32_t points = 0; // 0: the default grid
        if (size >= 4 && std::equal(kMark, kMark + 4, bytes_.begin() + static_cast<long>(d))) {
            if (size < 5) {
                chunkProblem(d, chunkName + " ends after its mark");
                return;
            }
            const uint8_t type = bytes_[d + 4];
            const uint8_t highest = use.group == 1 ? 2 : 1;
            if (type > highest) {
                chunkProblem(d + 4, chunkName + ": header type " + std::to_string(type) + " (the " +
                                        (use.group == 1 ? "correction" : "conversion") +
                                        " table takes " +
                                        (use.group == 1 ? "0, 1 or 2" : "0 or 1") + ")");
                return;
            }
            if (type == 0) {
                header = 5;
            } else {
                const uint64_t fixed = type == 1 ? 6 : 8;
                if (size < fixed) {
                    chunkProblem(d, chunkName + " ends inside its header");
                    return;
                }
                const uint32_t k = bytes_[d + 5];
                if (k > kMaxPoints) {
                    chunkProblem(d + 5, chunkName + ": " + std::to_string(k) +
                                            " grid points (at most 64)");
                    return;
                }
                const uint32_t sets = type == 2 ? bytes_[d + 7] : 1;
                header = fixed + static_cast<uint64_t>(sets) * k;
                if (header > size) {
                    chunkProblem(d, chunkName + " ends inside its node positions");
                    return;
                }
                if (type == 1 && !(use.group == 1 && use.selectorThree))
                    points = k;
                if (type == 2) {
                    points = k;
                    // The input kind chooses one of sets 0 to 4 (only set 0
                    // with selector 3 and no extension flag).
                    const uint32_t needed = (use.selectorThree && !use.flagExtension) ? 1 : 5;
                    if (k != 0 && sets < needed)
                        chunkProblem(d + 7, chunkName + ": " + std::to_string(sets) +
                                                " node sets, but input kinds choose sets 0 to " +
                                                std::to_string(needed - 1));
                }
                if (k == 1) {
                    chunkProblem(d + 5, chunkName + ": a single grid point cannot start at 0 and "
                                                    "end at 255");
                    return;
                }
                if (k > 1)
                    for (uint32_t s = 0; s < sets; ++s)
                        if (!(type == 1 && points == 0))
                            checkNodes(chunkName + (type == 2 ? " set " + std::to_string(s) : ""),
                                       d + fixed + static_cast<uint64_t>(s) * k, k);
            }
        }
        const uint64_t n = points ? points : kDefaultPoints;
        const uint64_t grid = n * n * n * use.channels;
        if (header + grid > size)
            chunkProblem(d - 4, chunkName + " holds " + std::to_string(size) +
                                    " bytes; its header (" + std::to_string(header) +
                                    ") and a grid of " + std::to_string(n) + "^3 x " +
                                    std::to_string(use.channels) + " channels need " +
                                    std::to_string(header + grid));
    }

    void checkExtension(const std::string& name, uint16_t id) {
        if (!extensionsChecked_.insert(id).second)
            return;
        const auto it = chunks_.find(id);
        if (unreadableChunks_.count(id))
            return;
        if (it == chunks_.end()) {
            if (chunkDirectoryOk_ && missingReported_.insert(id).second)
                problem(16,
                        name + ": extension chunk " + hex(id) + " is not in the chunk directory",
                        "chunks are named but not in the chunk directory");
            return;
        }
        if (chunkIdsSeen_.insert(id).second)
            ++report_.chunksChecked;
        const uint64_t d = it->second.dataOffset;
        if (it->second.size < kExtensionBytes) {
            chunkProblem(d - 4, "extension chunk " + hex(id) + " holds " +
                                    std::to_string(it->second.size) + " bytes (88 needed)");
            return;
        }
        if (u16(d + 2) != kExtensionSize)
            chunkProblem(d + 2, "extension chunk " + hex(id) + ": size word " +
                                    std::to_string(u16(d + 2)) + " (must be 84)");
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
    char line[64];
    for (const auto& p : report.problems) {
        std::snprintf(line, sizeof line,
                      "problem at 0x%08llx: ", static_cast<unsigned long long>(p.offset));
        out << line << p.message << "\n";
    }
    for (const auto& n : report.notes) {
        std::snprintf(line, sizeof line,
                      "note at 0x%08llx: ", static_cast<unsigned long long>(n.offset));
        out << line << n.message << "\n";
    }
    out << report.fileSize << " bytes, " << report.profileRecords << " profile index records, "
        << report.profileEntries << " profile entries, " << report.chunksChecked
        << " chunks checked: "
        << (report.problems.empty() ? "no problems"
                                    : std::to_string(report.problems.size()) + " problem(s)")
        << "\n";
}

} // namespace vrel::cli
