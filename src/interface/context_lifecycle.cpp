// Context start-up, reset and close: VrelInit turns a parameter record into a
// ready context (layout probe, profile search, settings, curves, tables),
// VrelReset keeps a context whose relevant settings are unchanged, and
// VrelClose frees a context with every block hanging from it.
#include "interface/context_lifecycle.h"

#include "core/engine_context.h"
#include "resources/block_layer.h"
#include "resources/database.h"
#include "resources/database_format.h"
#include "resources/file_layer.h"
#include "resources/profile_records.h"
#include "resources/table_loading.h"
#include "setup/derived_curves.h"

#include <cstring>

namespace vrel {

namespace {

constexpr int16_t kMemoryError = VREL_ERR_MEMORY;
constexpr int16_t kParamError = VREL_ERR_PARAM;
constexpr int16_t kFileError = VREL_ERR_FILE;
constexpr uint16_t kNoNodeChunk = 0xffff;
constexpr uint16_t kMethodThreeChannel = 3;
// ParamRecord words 0-12 (offsets 0 to 25) are compared as one run.
constexpr std::size_t kLeadingWordsBytes = 26;

// The settings that come from the parameter record rather than the profile.
void deriveSettings(SettingsRecord* settings) {
    const ParamRecord& params = settings->paramsCopy;
    settings->keyField16 = params.keyField16;
    settings->adjustSwitch = params.adjustSwitch;
    settings->tableSelector =
        settings->adjustSwitch != 0 ? static_cast<int16_t>(params.tableSelector) : int16_t{0};
    settings->inputKind = params.inputKind;
    settings->paramWord54 = params.paramWord54;
    const uint32_t flags = settings->recordFlags >> 16;
    settings->noBlackBalance = static_cast<uint16_t>(flags & 0x1u);
    settings->flagExtension = static_cast<uint16_t>((flags >> 1) & 0x1u);
    settings->greyMode = static_cast<uint16_t>((flags >> 2) & 0x3u);
    const bool balanceApplies = settings->keyField16 == 0 && settings->adjustSwitch != 0;
    for (int k = 0; k < 4; ++k) {
        settings->balance[k] = balanceApplies ? static_cast<uint16_t>(params.balance[k]) : 0;
    }
    settings->density = static_cast<uint16_t>(params.density);
    if (settings->noBlackBalance != 0) {
        settings->balance[3] = 0;
    }

    const uint32_t correctionId =
        settings->tableIds[format::correctionSlotFor(settings->tableSelector)];
    settings->correctionTableId = static_cast<uint16_t>(correctionId & 0xffffu);
    settings->nodeChunkId1 = kNoNodeChunk;
    settings->nodeChunkId0 = kNoNodeChunk;
    settings->lutChunkId = static_cast<uint16_t>(settings->lutChunkWord & 0xffffu);
    settings->methodSource =
        params.methodOverride == 1 ? kMethodThreeChannel : settings->channelCount;
}

// Opens the database once more for the chunk loaders. The name comes from
// fileNameBlock; one that does not fit the file record is refused, never cut.
int16_t openTableFile(SettingsRecord* settings) {
    ResourceFile& file = settings->tableFile;
    std::memset(&file, 0, sizeof file);
    file.directory = settings->paramsCopy.directoryName;
    std::size_t n = 0;
    while (n < sizeof settings->fileNameBlock && settings->fileNameBlock[n] != '\0') {
        ++n;
    }
    if (n >= sizeof file.fileName) {
        return kFileError;
    }
    std::memcpy(file.fileName, settings->fileNameBlock, n);
    return openFile(&file, 0) == 0 ? int16_t{0} : kFileError;
}

int16_t loadTables(EngineContext* context, SettingsRecord* settings) {
    int16_t result = loadGroup1(context, settings);
    if (result == 0 && settings->correctionTableId != 0) {
        buildInputCurve(context->inputCurve, settings);
    }
    if (result == 0) {
        context->conversionMethod = static_cast<int16_t>(settings->methodSource);
        result = buildGreyCurve(context, settings);
    }
    if (result == 0) {
        result = loadGroup0(context, settings);
    }
    if (result == 0) {
        result = loadExtension(settings);
    }
    return result;
}

// Releases a context that failed to build and empties the slot.
int16_t abandonContext(EngineContext** slot, EngineContext* context, int16_t code) {
    vrel::closeContext(context);
    *slot = nullptr;
    return code;
}

} // namespace

int16_t buildContext(EngineContext** slot, SettingsRecord* settings) {
    if (slot == nullptr) {
        return kParamError;
    }
    *slot = nullptr;
    auto* context = static_cast<EngineContext*>(allocSelfBlock(sizeof(EngineContext)));
    if (context == nullptr) {
        return kMemoryError;
    }
    // The block is zero-filled: every block handle and the prepared table
    // start empty.
    context->initMagic = 0;
    context->profileClass = kDefaultProfileClass;
    *slot = context;

    context->statusBits = 0;
    context->initMagic = kInitMagic;
    deriveSettings(settings);

    if (openTableFile(settings) != 0) {
        return abandonContext(slot, context, kFileError);
    }
    context->preparedAddress = nullptr;
    context->ready = 0;
    buildAdjustCurves(context->adjustCurves, settings);
    context->kernelFlags =
        context->profileClass == kPreparedProfileClass ? kKernelFlagsPrepared : kKernelFlagsDefault;

    // Group 1 first: the grey curve of group 0 runs greys through it. Every
    // loader failure is reported as a memory failure.
    if (loadTables(context, settings) != 0) {
        closeFile(&settings->tableFile);
        return abandonContext(slot, context, kMemoryError);
    }

    context->ready = 1;
    std::memcpy(&context->params, &settings->paramsCopy, sizeof context->params);
    std::memcpy(&context->settings, settings, sizeof context->settings);
    *slot = context;
    closeFile(&settings->tableFile);
    return 0;
}

bool sameParams(const ParamRecord* fresh, const ParamRecord* kept) {
    if (fresh == nullptr) {
        return false;
    }
    if (std::memcmp(fresh, kept, kLeadingWordsBytes) != 0) {
        return false;
    }
    // Selector, input kind and balance matter only when the new record's
    // adjustments apply; the switch itself is never compared.
    if (fresh->adjustSwitch == 1) {
        if (fresh->tableSelector != kept->tableSelector || fresh->inputKind != kept->inputKind) {
            return false;
        }
        for (int k = 0; k < 4; ++k) {
            if (fresh->balance[k] != kept->balance[k]) {
                return false;
            }
        }
    }
    return fresh->density == kept->density && fresh->methodOverride == kept->methodOverride &&
           fresh->paramWord134 == kept->paramWord134;
}

} // namespace vrel

// A null parameter record is refused with -128 and the slot is left as it
// was: there is no database to read.
VrelResult vrel::initContext(EngineContext** slot, const ParamRecord* params) {
    if (params == nullptr) {
        return VREL_ERR_PARAM;
    }
    const int16_t layout = vrel::probeDatabase(params);
    if (layout < 0 || layout > 2) {
        return layout; // an error code or an unknown layout, slot untouched
    }
    vrel::ProfileRecord decoded;
    const int16_t found = vrel::readProfile(params, &decoded);
    if (found != 0) {
        return found;
    }
    vrel::SettingsRecord settings;
    std::memset(&settings, 0, sizeof settings);
    vrel::fillSettingsFromProfile(&settings, &decoded, decoded.layout);
    std::memcpy(&settings.paramsCopy, params, sizeof settings.paramsCopy);

    const int16_t built = vrel::buildContext(slot, &settings);
    if (built != 0) {
        return built;
    }
    EngineContext* context = *slot;
    context->adjustFlag = settings.adjustSwitch == 1 ? 1 : 0;
    return static_cast<VrelResult>(context->adjustFlag);
}

VrelResult vrel::resetContext(EngineContext** slot, const ParamRecord* params) {
    EngineContext* current = slot != nullptr ? *slot : nullptr;
    if (current != nullptr && vrel::sameParams(params, &current->params)) {
        return static_cast<VrelResult>(current->adjustFlag | VREL_OK_KEPT);
    }
    // Once closed, the old context must never be reachable through the slot
    // again, even when the re-open fails before a new context exists.
    if (current != nullptr) {
        vrel::closeContext(current);
        *slot = nullptr;
    }
    // VrelInit reports an unknown database layout by its number (3, say),
    // with no context opened. Passed on, 2 or 3 would read as "context kept"
    // although the slot is empty: it is a file failure here.
    const VrelResult reopened = vrel::initContext(slot, params);
    return reopened > VREL_OK_ADJUST ? VREL_ERR_FILE : reopened;
}

void vrel::closeContext(EngineContext* context) {
    if (context == nullptr) {
        return;
    }
    if (context->preparedAddress != nullptr) {
        vrel::freeBlock(&context->preparedBlock);
        context->preparedAddress = nullptr;
    }
    vrel::freeBlock(&context->preparedBlock);
    for (vrel::TableGroup& group : context->groups) {
        vrel::freeBlock(&group.lutBlock);
        vrel::freeBlock(&group.cache8Block);
        vrel::freeBlock(&group.cache12Block);
    }
    vrel::freeSelfBlock(context);
}
