// Decoding of the three profile entry layouts into one ProfileRecord, and the
// copy of the decoded values into the settings.
//
// The payload is read through little-endian loads, which gives the same
// values as swapping the numeric fields in place on a big-endian host would,
// without writing into the record. Names and the profile value are copied
// byte by byte.
#include "resources/profile_records.h"

#include "core/engine_context.h"
#include "resources/byte_order.h"
#include "resources/database.h"
#include "resources/database_format.h"

#include <cstring>

namespace vrel {

namespace {

struct Descriptor {
    uint32_t c; // nonzero: the channel is present
    uint32_t e; // of descriptor 0: compared with 256
};

// Packing A: one word per descriptor.
Descriptor unpackA(uint32_t word) {
    return {(word >> 8) & 0x7u, (word >> 23) & 0x1ffu};
}

// Packing B: two words per descriptor; bits 24-31 of both are ignored.
Descriptor unpackB(uint32_t word1, uint32_t word2) {
    return {(word2 >> 16) & 0xffu, (word1 >> 15) & 0x1ffu};
}

uint16_t channelCountOf(const Descriptor (&descriptors)[format::kDescriptorCount]) {
    int present = 0;
    for (const Descriptor& d : descriptors) {
        present += d.c != 0 ? 1 : 0;
    }
    return static_cast<uint16_t>(format::channelCountOf(present, descriptors[0].e));
}

uint32_t signExtend16(uint16_t value) {
    return static_cast<uint32_t>(static_cast<int32_t>(static_cast<int16_t>(value)));
}

void beginDecoding(ProfileRecord* decoded, const ParamRecord* params, uint32_t recordFlags,
                   int16_t layout) {
    std::memset(decoded, 0, sizeof *decoded);
    copyDatabaseName(params, decoded->fileName);
    decoded->recordFlags = recordFlags;
    decoded->layout = layout;
}

// Names, search key, search pair and profile value sit together in every
// layout, starting at the first name.
void copyTrailer(const uint8_t* names, ProfileRecord* decoded) {
    std::memcpy(decoded->name1, names, sizeof decoded->name1);
    std::memcpy(decoded->name2, names + 24, sizeof decoded->name2);
    decoded->searchKey = loadLe32(names + 48);
    decoded->searchPair = loadLe32(names + 52);
    std::memcpy(decoded->profileValue, names + 56, sizeof decoded->profileValue);
}

// Packing B descriptors (two words each) as used by layouts 1 and 2.
uint16_t channelCountPackedB(const uint8_t* descriptors) {
    Descriptor unpacked[format::kDescriptorCount];
    for (int i = 0; i < format::kDescriptorCount; ++i) {
        unpacked[i] = unpackB(loadLe32(descriptors + 8 * i), loadLe32(descriptors + 8 * i + 4));
    }
    return channelCountOf(unpacked);
}

} // namespace

void decodeLayout0(const uint8_t* payload, ProfileRecord* decoded, const ParamRecord* params,
                   uint32_t recordFlags) {
    beginDecoding(decoded, params, recordFlags, 0);
    // The first identifier serves both the first and the third table slot.
    decoded->tableIds[0] = loadLe32(payload + 48);
    decoded->tableIds[1] = loadLe32(payload + 52);
    decoded->tableIds[2] = decoded->tableIds[0];
    decoded->lutChunkWord = loadLe32(payload + 56);
    Descriptor unpacked[format::kDescriptorCount];
    for (int i = 0; i < format::kDescriptorCount; ++i) {
        unpacked[i] = unpackA(loadLe32(payload + format::kDescriptorOffset[0] + 4 * i));
    }
    decoded->channelCount = channelCountOf(unpacked);
    copyTrailer(payload + 100, decoded);
}

void decodeLayout1(const uint8_t* payload, ProfileRecord* decoded, const ParamRecord* params,
                   uint32_t recordFlags) {
    beginDecoding(decoded, params, recordFlags, 1);
    for (int i = 0; i < 3; ++i) {
        decoded->tableIds[i] = loadLe32(payload + 16 + 4 * i);
    }
    decoded->lutChunkWord = loadLe32(payload + 28);
    decoded->channelCount = channelCountPackedB(payload + format::kDescriptorOffset[1]);
    copyTrailer(payload + 104, decoded);
}

void decodeLayout2(const uint8_t* payload, ProfileRecord* decoded, const ParamRecord* params,
                   uint32_t recordFlags) {
    beginDecoding(decoded, params, recordFlags, 2);
    // 16-bit identifiers: 0xffff becomes 0xffffffff.
    for (int i = 0; i < 3; ++i) {
        decoded->tableIds[i] = signExtend16(loadLe16(payload + 8 + 2 * i));
    }
    decoded->lutChunkWord = signExtend16(loadLe16(payload + 14));
    decoded->channelCount = channelCountPackedB(payload + format::kDescriptorOffset[2]);
    copyTrailer(payload + 88, decoded);
}

void fillSettingsFromProfile(SettingsRecord* settings, const ProfileRecord* decoded,
                             int16_t layout) {
    settings->layout = static_cast<uint16_t>(layout);
    if (layout < 0 || layout > 2) {
        return;
    }
    settings->channelCount = decoded->channelCount & 0xffu;
    static_assert(sizeof settings->fileNameBlock == sizeof decoded->fileName);
    std::memcpy(settings->fileNameBlock, decoded->fileName, sizeof settings->fileNameBlock);
    std::memcpy(settings->tableIds, decoded->tableIds, sizeof settings->tableIds);
    if (layout == 0) {
        settings->tableIds[2] = decoded->tableIds[0];
    }
    settings->lutChunkWord = decoded->lutChunkWord;
    settings->searchKey = decoded->searchKey;
    settings->searchPair = decoded->searchPair;
    std::memcpy(settings->name1, decoded->name1, sizeof settings->name1);
    std::memcpy(settings->name2, decoded->name2, sizeof settings->name2);
    std::memcpy(settings->profileValue, decoded->profileValue, sizeof settings->profileValue);
    settings->recordFlags = decoded->recordFlags;
    if (layout != 0) {
        std::memset(settings->reservedAfterFlags, 0, sizeof settings->reservedAfterFlags);
    }
}

} // namespace vrel
