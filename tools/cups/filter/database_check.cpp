// The container check follows what the engine's reader needs of a file
// before it looks up any profile: the file starts with a header whose words
// at offsets 8 and 16 give the file offsets of two directories (the profile
// index records' and the colour tables'); a directory is a 32-bit entry
// count and that many 12-byte entries (class, id, record offset); a record
// is a 32-bit size and that many bytes. Every word is little-endian. A file
// cut short, or one that is no profile database, breaks one of these.
#include "database_check.h"

#include "input_file.h"

#include <cstdint>
#include <fmt/format.h>
#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace vrel::cups {

namespace {

constexpr uint64_t kHeaderBytes = 20;
constexpr uint64_t kDirectoryOffsetWords[] = {8, 16};
constexpr uint64_t kEntryBytes = 12;
constexpr uint64_t kEntryRecordOffset = 8;
constexpr uint64_t kEntriesPerRead = 512;

class ContainerReader {
  public:
    ContainerReader(int fd, uint64_t size) : fd_(fd), size_(size) {}

    // Whether [start, start + length) lies in the file.
    bool holds(uint64_t start, uint64_t length) const {
        return start <= size_ && length <= size_ - start;
    }
    bool word(uint64_t at, uint32_t* value) const {
        unsigned char b[4];
        if (!holds(at, 4) || pread(fd_, b, 4, static_cast<off_t>(at)) != 4)
            return false;
        *value = uint32_t{b[0]} | uint32_t{b[1]} << 8 | uint32_t{b[2]} << 16 | uint32_t{b[3]} << 24;
        return true;
    }
    // Empty when the directory whose offset is in the word at `at` and
    // every record it lists lie in the file.
    std::string directoryProblem(uint64_t at) const {
        uint32_t offset = 0, count = 0;
        if (!word(at, &offset) || !word(offset, &count) || count == 0 ||
            !holds(uint64_t{offset} + 4, uint64_t{count} * kEntryBytes))
            return fmt::format("the directory named at offset {} is not in the file", at);
        std::vector<unsigned char> entries;
        for (uint64_t first = 0; first < count; first += kEntriesPerRead) {
            const uint64_t n = std::min<uint64_t>(kEntriesPerRead, count - first);
            entries.resize(n * kEntryBytes);
            const uint64_t start = uint64_t{offset} + 4 + first * kEntryBytes;
            if (pread(fd_, entries.data(), entries.size(), static_cast<off_t>(start)) !=
                static_cast<ssize_t>(entries.size()))
                return "its directory cannot be read";
            for (uint64_t i = 0; i < n; ++i) {
                const unsigned char* e = entries.data() + i * kEntryBytes + kEntryRecordOffset;
                const uint32_t record = uint32_t{e[0]} | uint32_t{e[1]} << 8 |
                                        uint32_t{e[2]} << 16 | uint32_t{e[3]} << 24;
                uint32_t bytes = 0;
                if (!word(record, &bytes) || !holds(uint64_t{record} + 4, bytes))
                    return fmt::format("the record at offset {} runs past the end of the file",
                                       record);
            }
        }
        return {};
    }

  private:
    int fd_;
    uint64_t size_;
};

} // namespace

std::string checkDatabase(const DatabaseLocation& location) {
    const std::string path =
        location.directory.empty() ? location.name : location.directory + "/" + location.name;
    std::string problem;
    const int fd = openInputFile(path, false, &problem);
    if (fd < 0)
        return "the database " + problem;
    struct stat info {};
    fstat(fd, &info);
    const auto size = static_cast<uint64_t>(info.st_size);
    if (size < kHeaderBytes) {
        close(fd);
        return fmt::format("the database '{}' is too short to be a profile database ({} bytes)",
                           path, size);
    }
    const ContainerReader reader(fd, size);
    for (const uint64_t at : kDirectoryOffsetWords)
        if (problem = reader.directoryProblem(at); !problem.empty())
            break;
    close(fd);
    if (!problem.empty())
        return "the database '" + path + "' is cut short or not a profile database (" + problem +
               ")";
    return {};
}

std::string queueDatabase(DatabaseLocation* database) {
    const char* ppd = std::getenv("PPD");
    if (ppd == nullptr)
        return "no PPD given (PPD is unset)";
    if (std::string problem = findDatabase(ppd, database); !problem.empty())
        return problem;
    return checkDatabase(*database);
}

} // namespace vrel::cups
