// The profile database container: records reached through per-class
// directories, the layout probe and the profile search by packed key.
//
// Every count, offset and length read from the file is checked by the
// format's rules (database_format.h) before it is used: a directory whose
// entries are not all in the file and a record whose data is not all in the
// file are read failures (-138) found before anything is allocated for them,
// the key search never reads past the record, and a matching entry must hold
// its whole payload.
#include "resources/database.h"

#include "resources/block_layer.h"
#include "resources/byte_order.h"
#include "resources/database_format.h"
#include "resources/file_layer.h"
#include "resources/profile_records.h"

#include <cstring>

namespace vrel {

namespace {

constexpr int16_t kMemoryError = -108;
constexpr int16_t kParamError = -128;
constexpr int16_t kFileError = -138;

int16_t readU32(ResourceFile* file, uint32_t* value) {
    uint8_t bytes[4];
    if (readExact(file, bytes, sizeof bytes) != 0) {
        return kFileError;
    }
    *value = loadLe32(bytes);
    return 0;
}

// True when the file holds every byte of [start, start + length): the last
// byte is read. Lets a count or size taken from the file be checked before a
// buffer is allocated for it. An empty range is always present.
struct FileRanges {
    ResourceFile* file;
    bool operator()(uint64_t start, uint64_t length) const {
        if (length == 0) {
            return true;
        }
        const uint64_t last = start + length - 1;
        if (last > UINT32_MAX) {
            return false; // beyond what a 32-bit offset can reach
        }
        uint8_t byte;
        return seekTo(file, static_cast<uint32_t>(last)) == 0 && readExact(file, &byte, 1) == 0;
    }
};

// Finds the request's record in its class directory; its file offset on 0.
int16_t findRecordOffset(ResourceFile* file, const RecordRequest* request, uint32_t* recordOffset) {
    // The class number is also the file offset of its directory's offset.
    uint32_t directoryOffset = 0;
    uint32_t entryCount = 0;
    if (seekTo(file, 0) != 0 || seekTo(file, request->recordClass) != 0 ||
        readU32(file, &directoryOffset) != 0 || seekTo(file, directoryOffset) != 0 ||
        readU32(file, &entryCount) != 0) {
        return kFileError;
    }
    if (format::directoryFault(directoryOffset, entryCount, FileRanges{file})) {
        return kFileError;
    }
    const uint64_t entriesStart = uint64_t{directoryOffset} + 4;
    const uint64_t entriesLength = uint64_t{entryCount} * format::kDirectoryEntryBytes;
    // entriesLength fits in 32 bits here: its last byte lies below 2^32.
    auto* entries = static_cast<uint8_t*>(allocRaw(static_cast<uint32_t>(entriesLength)));
    if (entries == nullptr) {
        return kMemoryError;
    }
    if (seekTo(file, static_cast<uint32_t>(entriesStart)) != 0 ||
        readExact(file, entries, static_cast<uint32_t>(entriesLength)) != 0) {
        freeRaw(entries);
        return kFileError;
    }
    // The first entry in file order with the class and id wins.
    int16_t result = kFileError;
    for (uint32_t i = 0; i < entryCount; ++i) {
        const format::DirectoryEntry entry =
            format::readDirectoryEntry(entries + uint64_t{i} * format::kDirectoryEntryBytes);
        if (entry.recordClass == request->recordClass && entry.id == request->id) {
            *recordOffset = entry.recordOffset;
            result = 0;
            break;
        }
    }
    freeRaw(entries);
    return result;
}

// Opens the database named by the record and reads its profile index record.
// On success the file is closed again and the request holds the record.
int16_t readProfileIndex(const ParamRecord* params, RecordRequest* request,
                         format::IndexHead* head) {
    ResourceFile file{};
    copyDatabaseName(params, file.fileName);
    file.directory = params->directoryName;
    if (openFile(&file, 0) != 0) {
        return kFileError;
    }
    std::memset(request, 0, sizeof *request);
    std::memcpy(request->tag, "QZDB", 5);
    request->id = static_cast<uint16_t>(params->profileNumber + format::kProfileIdBase);
    request->recordClass = format::kProfileIndexClass;
    request->swapUnit = 1;
    int16_t result = readRecord(&file, request);
    closeFile(&file);
    if (result != 0) {
        return result;
    }
    // layoutWord, profileCount and entryWords must all be there.
    if (format::readIndexHead(request->data, request->size, head)) {
        releaseRecord(request);
        return kFileError;
    }
    return 0;
}

} // namespace

int16_t readRecord(ResourceFile* file, RecordRequest* request) {
    request->data = nullptr;
    request->size = 0;
    request->block = BlockHandle{};
    uint32_t recordOffset = 0;
    int16_t result = findRecordOffset(file, request, &recordOffset);
    if (result != 0) {
        return result;
    }
    uint32_t size = 0;
    if (seekTo(file, recordOffset) != 0 || readU32(file, &size) != 0) {
        return kFileError;
    }
    if (format::recordFault(recordOffset, size, FileRanges{file})) {
        return kFileError;
    }
    const uint64_t dataStart = uint64_t{recordOffset} + 4;
    if (allocBlock(size, &request->block) != 0) {
        return kMemoryError;
    }
    auto* data = static_cast<uint8_t*>(request->block.address);
    if (seekTo(file, static_cast<uint32_t>(dataStart)) != 0 || readExact(file, data, size) != 0) {
        freeBlock(&request->block);
        return kFileError;
    }
    request->data = data;
    request->size = size;
    return 0;
}

void releaseRecord(RecordRequest* request) {
    freeBlock(&request->block);
    request->data = nullptr;
}

int16_t probeDatabase(const ParamRecord* params) {
    RecordRequest request;
    format::IndexHead head{};
    const int16_t result = readProfileIndex(params, &request, &head);
    if (result != 0) {
        return result;
    }
    releaseRecord(&request);
    return head.layout;
}

int16_t readProfile(const ParamRecord* params, ProfileRecord* decoded) {
    RecordRequest request;
    format::IndexHead head{};
    const int16_t result = readProfileIndex(params, &request, &head);
    if (result != 0) {
        return result;
    }
    if (format::layoutFault(head)) {
        releaseRecord(&request);
        return kFileError;
    }
    const uint8_t* data = request.data;
    const uint32_t key = head.layout == 2 ? profileKeyB(params) : profileKeyA(params);
    const uint64_t searched = format::searchedEntries(head, request.size);
    int16_t outcome = kParamError;
    for (uint64_t i = 0; i < searched; ++i) {
        const uint64_t offset = format::entryOffset(head, i);
        if (loadLe32(data + offset) != key) {
            continue;
        }
        if (format::payloadFault(head, offset, request.size)) {
            outcome = kFileError;
            break;
        }
        const uint8_t* payload = data + offset + 4;
        if (head.layout == 0) {
            decodeLayout0(payload, decoded, params, head.recordFlags);
        } else if (head.layout == 1) {
            decodeLayout1(payload, decoded, params, head.recordFlags);
        } else {
            decodeLayout2(payload, decoded, params, head.recordFlags);
        }
        outcome = 0;
        break;
    }
    releaseRecord(&request);
    return outcome;
}

void copyDatabaseName(const ParamRecord* params, char* out) {
    // The name field is 20 bytes; a name that fills it has no NUL.
    std::size_t n = 0;
    while (n < sizeof params->databaseName && params->databaseName[n] != '\0') {
        out[n] = params->databaseName[n];
        ++n;
    }
    out[n] = '\0';
}

} // namespace vrel
