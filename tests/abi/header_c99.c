/* The public header used from plain C99: every declaration is reachable and
 * the records have their fixed layout. */
#include "vrel/vrel.h"

#include <stddef.h>
#include <stdio.h>

#define CHECK(cond)                                                                                \
    if (!(cond)) {                                                                                 \
        printf("failed: %s\n", #cond);                                                             \
        return 1;                                                                                  \
    }

int main(void) {
    /* Each of the fourteen entry points has the declared type. */
    VrelResult(VREL_CALL * init)(EngineContext**, const ParamRecord*) = VrelInit;
    VrelResult(VREL_CALL * reset)(EngineContext**, const ParamRecord*) = VrelReset;
    void(VREL_CALL * close)(EngineContext*) = VrelClose;
    VrelResult(VREL_CALL * bitmap)(uint32_t, uint32_t, const void*, void*, uint32_t, int16_t,
                                   uint16_t, uint32_t, EngineContext*) = VrelBitmapColorConversion;
    VrelResult(VREL_CALL * pixel)(uint32_t, uint32_t, uint32_t, uint32_t*, EngineContext*) =
        VrelPixelColorConversion;
    VrelResult(VREL_CALL * ondot)(uint8_t*, uint8_t*, uint8_t*, uint8_t*, int16_t, int16_t, int16_t,
                                  uint32_t, EngineContext*) = VrelOnDotBlack;
    VrelResult(VREL_CALL * line)(const LineRecord*, uint16_t, int16_t, uint16_t, uint32_t,
                                 EngineContext*) = VrelLineColorConversion;
    VrelResult(VREL_CALL * mode)(EngineContext*, uint32_t, const PaletteRecord* const*) =
        VrelInitColorConversion;
    VrelResult(VREL_CALL * correct)(uint32_t, const void*, void*, uint16_t, int16_t, uint16_t,
                                    EngineContext*) = VrelBitmapColorCorrection;
    VrelResult(VREL_CALL * pcorrect)(int32_t, uint32_t, uint32_t*, EngineContext*) =
        VrelPixelColorCorrection;
    uint32_t(VREL_CALL * queries[4])(EngineContext*, uint8_t*, uint32_t) = {
        VrelGetSearchData, VrelGetProfileName, VrelGetSearchDataC, VrelGetProfileNameC};

    CHECK(sizeof(ParamRecord) == 190 && offsetof(ParamRecord, databaseName) == 28);
    CHECK(offsetof(ParamRecord, adjustSwitch) == 48 && offsetof(ParamRecord, balance) == 56);
    CHECK(offsetof(ParamRecord, methodOverride) == 66 && offsetof(ParamRecord, keyField94) == 94);
    CHECK(offsetof(ParamRecord, keyField108) == 108 && offsetof(ParamRecord, paramWord134) == 134);
    CHECK(offsetof(ParamRecord, directoryName) == 150 && offsetof(PaletteRecord, colours) == 2);
    CHECK(offsetof(LineRecord, planes) == 2 * sizeof(void*));
    CHECK(VREL_ERR_MEMORY == -108 && VREL_ERR_PARAM == -128 && VREL_ERR_FILE == -138);
    CHECK(VrelFormatBlackPixel32 == 22 && VrelMethodSevenColor == 7 && VrelModeMono == 4);
    CHECK(init && reset && close && bitmap && pixel && ondot && line && mode && correct &&
          pcorrect && queries[0] && queries[3]);
    close(NULL); /* a null context is accepted */
    printf("header ok\n");
    return 0;
}
