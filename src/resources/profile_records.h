// Profile records: the three payload layouts of a profile entry, decoded into
// one ProfileRecord, and the copy of the decoded values into the settings.
#pragma once

#include "vrel/vrel.h"

#include <cstdint>

namespace vrel {

struct SettingsRecord;

struct ProfileRecord {
    int16_t layout;
    uint16_t channelCount;
    uint32_t tableIds[3];
    uint32_t lutChunkWord;
    uint32_t searchKey;
    uint32_t searchPair;
    uint8_t name1[24];
    uint8_t name2[24];
    uint8_t profileValue[4];
    uint32_t recordFlags;
    char fileName[280];
};

// Each clears the decoded record first, then fills it from the payload.
// The payload must hold the layout's full payload size.
void decodeLayout0(const uint8_t* payload, ProfileRecord* decoded, const ParamRecord* params,
                   uint32_t recordFlags);
void decodeLayout1(const uint8_t* payload, ProfileRecord* decoded, const ParamRecord* params,
                   uint32_t recordFlags);
void decodeLayout2(const uint8_t* payload, ProfileRecord* decoded, const ParamRecord* params,
                   uint32_t recordFlags);
void fillSettingsFromProfile(SettingsRecord* settings, const ProfileRecord* decoded,
                             int16_t layout);

} // namespace vrel
