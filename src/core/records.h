// The records every layer shares through the engine context: the handle of
// a memory block, an open database file and the request through which a
// database record is read. The layers that fill them are resources/.
#pragma once

#include <cstdint>

namespace vrel {

struct BlockHandle {
    void* address;      // start of the block, null when the handle is empty
    uint32_t reserved;  // always 0
    uint16_t lockCount; // always 0
};

struct ResourceFile {
    char fileName[32];     // NUL-terminated, at most 31 characters
    uintptr_t osHandle;    // handle of the open file
    const char* directory; // NUL-terminated directory name, or null
};

struct RecordRequest {
    char tag[32];         // "QZDB" for profile index records, "QZVR" for table chunks
    uint16_t id;          // record id to find
    uint32_t recordClass; // 8 or 16
    uint32_t lastError;   // result of the last failed chunk read, sign-extended
    uint32_t swapUnit;    // always 1: the readers swap field by field
    uint32_t size;        // data bytes read
    uint8_t* data;        // address of the data, or null
    BlockHandle block;    // block that holds the data
};

} // namespace vrel
