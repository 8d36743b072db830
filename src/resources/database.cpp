// The profile database container: records reached through per-class
// directories, the layout probe and the profile search by packed key.
//
// Every count, offset and length read from the file is checked against what
// the file and the record actually hold before it is used: a directory whose
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
bool rangeInFile(ResourceFile* file, uint64_t start, uint64_t length) {
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
    const uint64_t entriesStart = uint64_t{directoryOffset} + 4;
    const uint64_t entriesLength = uint64_t{entryCount} * format::kDirectoryEntryBytes;
    if (entryCount == 0) {
        return kFileError; // an empty directory holds no record
    }
    if (!rangeInFile(file, entriesStart, entriesLength)) {
        return kFileError;
    }
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
        const uint8_t* entry = entries + uint64_t{i} * format::kDirectoryEntryBytes;
        if (loadLe32(entry) == request->recordClass && loadLe16(entry + 4) == request->id) {
            *recordOffset = loadLe32(entry + 8);
            result = 0;
            break;
        }
    }
    freeRaw(entries);
    return result;
}

// Opens the database named by the record and reads its profile index record.
// On success the file is closed again and the request holds the record.
int16_t readProfileIndex(const ParamRecord* params, RecordRequest* request) {
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
    if (request->size < format::kIndexHeaderBytes) {
        releaseRecord(request);
        return kFileError;
    }
    return 0;
}

// Layout number and recordFlags of a layoutWord: when bits 0-7 are clear the
// layout is 0 and only bits 8-15 are flags.
int16_t layoutOf(uint32_t layoutWord) {
    return (layoutWord & 0xffu) == 0 ? 0 : static_cast<int16_t>(layoutWord & 0xffffu);
}

uint32_t recordFlagsOf(uint32_t layoutWord) {
    return (layoutWord & 0xffu) == 0 ? (layoutWord & 0xff00u) : (layoutWord & 0xffff0000u);
}

uint32_t payloadSizeOf(int16_t layout) {
    return format::kPayloadBytes[layout == 0 || layout == 1 ? layout : 2];
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
    const uint64_t dataStart = uint64_t{recordOffset} + 4;
    if (!rangeInFile(file, dataStart, size)) {
        return kFileError;
    }
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
    const int16_t result = readProfileIndex(params, &request);
    if (result != 0) {
        return result;
    }
    const int16_t layout = layoutOf(loadLe32(request.data));
    releaseRecord(&request);
    return layout;
}

int16_t readProfile(const ParamRecord* params, ProfileRecord* decoded) {
    RecordRequest request;
    const int16_t result = readProfileIndex(params, &request);
    if (result != 0) {
        return result;
    }
    const uint8_t* data = request.data;
    const uint64_t size = request.size;
    const uint32_t layoutWord = loadLe32(data);
    const int16_t layout = layoutOf(layoutWord);
    const uint32_t recordFlags = recordFlagsOf(layoutWord);
    const uint32_t profileCount = loadLe32(data + 4);
    const uint32_t entryWords = loadLe32(data + 8);
    if (layout < 0 || layout > 2) {
        releaseRecord(&request);
        return kFileError;
    }
    const uint32_t key = layout == 2 ? profileKeyB(params) : profileKeyA(params);

    // An entry of zero words holds no key, so nothing can match. Offsets are
    // 64-bit and the walk stops at the first entry whose key is not inside
    // the record, so neither the stride nor the count can overflow it.
    const uint64_t stride = uint64_t{entryWords} * 4;
    uint64_t offset = format::kIndexHeaderBytes;
    int16_t outcome = kParamError;
    for (uint32_t i = 0; entryWords != 0 && i < profileCount; ++i, offset += stride) {
        if (offset + 4 > size) {
            break; // the entry lies beyond the record: not found
        }
        if (loadLe32(data + offset) != key) {
            continue;
        }
        if (offset + 4 + payloadSizeOf(layout) > size) {
            outcome = kFileError; // the payload runs past the record
            break;
        }
        const uint8_t* payload = data + offset + 4;
        if (layout == 0) {
            decodeLayout0(payload, decoded, params, recordFlags);
        } else if (layout == 1) {
            decodeLayout1(payload, decoded, params, recordFlags);
        } else {
            decodeLayout2(payload, decoded, params, recordFlags);
        }
        outcome = 0;
        break;
    }
    releaseRecord(&request);
    return outcome;
}

uint32_t profileKeyA(const ParamRecord* params) {
    return (uint32_t{params->keyField94} & 0x1fu) | ((uint32_t{params->keyField14} & 0x1ffu) << 5) |
           ((uint32_t{params->keyField16} & 0x3u) << 14) |
           ((uint32_t{params->keyField104} & 0xffu) << 16);
}

uint32_t profileKeyB(const ParamRecord* params) {
    return (uint32_t{params->keyField94} & 0x1fu) | ((uint32_t{params->keyField14} & 0x1ffu) << 5) |
           ((uint32_t{params->keyField16} & 0x3u) << 14) |
           ((uint32_t{params->keyField104} & 0x1fu) << 16) |
           ((uint32_t{params->keyField106} & 0x3u) << 21) |
           ((uint32_t{params->keyField108} & 0x3u) << 23);
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
