// The profile database container: directories of numbered records, the
// request through which every record is read, the layout probe and the
// profile search by packed key.
#pragma once

#include "core/records.h"
#include "resources/database_format.h"
#include "vrel/vrel.h"

#include <cstdint>

namespace vrel {

// 0 with data, size and block filled; -108; -138.
int16_t readRecord(ResourceFile* file, RecordRequest* request);
void releaseRecord(RecordRequest* request);

struct ProfileRecord;

// The layout number (0, 1, 2 or any other value found), or -108 / -138.
int16_t probeDatabase(const ParamRecord* params);
// 0, -108, -128, -138. The decoded record is filled on success.
int16_t readProfile(const ParamRecord* params, ProfileRecord* decoded);

using format::profileKeyA;
using format::profileKeyB;

// Copies databaseName (at most 20 bytes, up to its first NUL) into a
// buffer of at least 21 bytes, always NUL-terminated.
void copyDatabaseName(const ParamRecord* params, char* out);

} // namespace vrel
