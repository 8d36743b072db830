// The profile database container: directories of numbered records, the
// request through which every record is read, the layout probe and the
// profile search by packed key.
#pragma once

#include <cstdint>

#include "resources/block_layer.h"
#include "resources/file_layer.h"
#include "vrel/vrel.h"

namespace vrel {

inline constexpr uint32_t kClassProfileIndex = 8;
inline constexpr uint32_t kClassTableChunk = 16;

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

// 0 with data, size and block filled; -108; -138.
int16_t readRecord(ResourceFile* file, RecordRequest* request);
void releaseRecord(RecordRequest* request);

struct ProfileRecord;

// The layout number (0, 1, 2 or any other value found), or -108 / -138.
int16_t probeDatabase(const ParamRecord* params);
// 0, -108, -128, -138. The decoded record is filled on success.
int16_t readProfile(const ParamRecord* params, ProfileRecord* decoded);

// The profile keys packed from a parameter record.
uint32_t profileKeyA(const ParamRecord* params);
uint32_t profileKeyB(const ParamRecord* params);

// Copies databaseName (at most 20 bytes, up to its first NUL) into a
// buffer of at least 21 bytes, always NUL-terminated.
void copyDatabaseName(const ParamRecord* params, char* out);

} // namespace vrel
