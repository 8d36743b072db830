// The four queries: which profile an open context uses. The plain forms
// answer from the extension chunk when the profile record announces one; the
// record forms always answer from the profile record. All four only read the
// settings kept in the context.
//
// A null handle gives 0 and writes nothing, so a driver that queries a slot
// whose VrelInit failed does not crash. A null buffer is likewise left alone
// while the profile value is still returned.
#include "interface/queries.h"

#include "core/engine_context.h"
#include "resources/byte_order.h"

#include <cstring>

namespace {

using vrel::SettingsRecord;

void writeSearchData(uint8_t* out, uint32_t key, uint32_t pair) {
    // The key most significant byte first, then the two halves of the pair
    // in host order.
    out[0] = static_cast<uint8_t>(key >> 24);
    out[1] = static_cast<uint8_t>(key >> 16);
    out[2] = static_cast<uint8_t>(key >> 8);
    out[3] = static_cast<uint8_t>(key);
    const uint16_t high = static_cast<uint16_t>(pair >> 16);
    const uint16_t low = static_cast<uint16_t>(pair & 0xffffu);
    std::memcpy(out + 4, &high, sizeof high);
    std::memcpy(out + 6, &low, sizeof low);
}

// The record's profile value as stored in the database (little-endian).
uint32_t recordProfileValue(const SettingsRecord& settings) {
    return vrel::loadLe32(settings.profileValue);
}

// The name slot of the profile record for a profile class; null for a class
// that has none.
const uint8_t* recordName(const EngineContext* context) {
    switch (context->profileClass) {
    case 1:
    case 2:
    case 10:
    case 11:
        return context->settings.name2;
    case 9:
    case 12:
        return context->settings.name1;
    default:
        return nullptr;
    }
}

const uint8_t* extensionName(const EngineContext* context) {
    const vrel::ExtensionChunk& ext = context->settings.extChunk;
    switch (context->profileClass) {
    case 1:
    case 2:
        return ext.extName1;
    case 9:
    case 12:
        return ext.extName9;
    case 10:
    case 11:
        return ext.extName10;
    default:
        return nullptr;
    }
}

void copyName(uint8_t* out, const uint8_t* name) {
    if (out != nullptr && name != nullptr) {
        std::memcpy(out, name, VREL_PROFILE_NAME_SIZE);
    }
}

} // namespace

uint32_t vrel::searchDataC(EngineContext* context, uint8_t* searchData, uint32_t) {
    if (context == nullptr) {
        return 0;
    }
    const SettingsRecord& settings = context->settings;
    if (searchData != nullptr) {
        writeSearchData(searchData, settings.searchKey, settings.searchPair);
    }
    return recordProfileValue(settings);
}

uint32_t vrel::searchData(EngineContext* context, uint8_t* searchData, uint32_t reserved) {
    if (context == nullptr) {
        return 0;
    }
    if (context->settings.flagExtension == 0) {
        return vrel::searchDataC(context, searchData, reserved);
    }
    const vrel::ExtensionChunk& ext = context->settings.extChunk;
    if (searchData != nullptr) {
        writeSearchData(searchData, ext.extSearchKey, ext.extSearchPair);
    }
    return ext.extProfileValue;
}

uint32_t vrel::profileNameC(EngineContext* context, uint8_t* name, uint32_t) {
    if (context == nullptr) {
        return 0;
    }
    copyName(name, recordName(context));
    return recordProfileValue(context->settings);
}

uint32_t vrel::profileName(EngineContext* context, uint8_t* name, uint32_t reserved) {
    if (context == nullptr) {
        return 0;
    }
    if (context->settings.flagExtension == 0) {
        return vrel::profileNameC(context, name, reserved);
    }
    copyName(name, extensionName(context));
    return context->settings.extChunk.extProfileValue;
}
