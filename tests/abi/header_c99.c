/* The public header used from plain C99: every declaration is reachable and
 * the records have their fixed layout. */
#include <stddef.h>
#include <stdio.h>

#include "vrel/vrel.h"

#define CHECK(cond)                                                                                \
    do {                                                                                           \
        if (!(cond)) {                                                                             \
            printf("failed: %s\n", #cond);                                                         \
            return 1;                                                                              \
        }                                                                                          \
    } while (0)

int main(void) {
    CHECK(sizeof(ParamRecord) == 190);
    CHECK(offsetof(ParamRecord, databaseName) == 28);
    CHECK(offsetof(ParamRecord, adjustSwitch) == 48);
    CHECK(offsetof(ParamRecord, balance) == 56);
    CHECK(offsetof(ParamRecord, methodOverride) == 66);
    CHECK(offsetof(ParamRecord, keyField94) == 94);
    CHECK(offsetof(ParamRecord, keyField108) == 108);
    CHECK(offsetof(ParamRecord, paramWord134) == 134);
    CHECK(offsetof(ParamRecord, directoryName) == 150);
    CHECK(offsetof(PaletteRecord, colours) == 2);
    CHECK(offsetof(LineRecord, planes) == sizeof(void*) || offsetof(LineRecord, planes) == 2 * sizeof(void*));
    CHECK(VREL_ERR_MEMORY == -108 && VREL_ERR_PARAM == -128 && VREL_ERR_FILE == -138);
    CHECK(VrelFormatBlackPixel32 == 22 && VrelMethodSevenColor == 7 && VrelModeMono == 4);

    /* Each of the fourteen entry points has the declared type. */
    VrelResult (VREL_CALL *init)(EngineContext**, const ParamRecord*) = VrelInit;
    VrelResult (VREL_CALL *reset)(EngineContext**, const ParamRecord*) = VrelReset;
    void (VREL_CALL *close)(EngineContext*) = VrelClose;
    VrelResult (VREL_CALL *bitmap)(uint32_t, uint32_t, const void*, void*, uint32_t, int16_t,
                                   uint16_t, uint32_t, EngineContext*) = VrelBitmapColorConversion;
    VrelResult (VREL_CALL *pixel)(uint32_t, uint32_t, uint32_t, uint32_t*, EngineContext*) =
        VrelPixelColorConversion;
    VrelResult (VREL_CALL *ondot)(uint8_t*, uint8_t*, uint8_t*, uint8_t*, int16_t, int16_t, int16_t,
                                  uint32_t, EngineContext*) = VrelOnDotBlack;
    VrelResult (VREL_CALL *line)(const LineRecord*, uint16_t, int16_t, uint16_t, uint32_t,
                                 EngineContext*) = VrelLineColorConversion;
    VrelResult (VREL_CALL *mode)(EngineContext*, uint32_t, const PaletteRecord* const*) =
        VrelInitColorConversion;
    VrelResult (VREL_CALL *correct)(uint32_t, const void*, void*, uint16_t, int16_t, uint16_t,
                                    EngineContext*) = VrelBitmapColorCorrection;
    VrelResult (VREL_CALL *pcorrect)(int32_t, uint32_t, uint32_t*, EngineContext*) =
        VrelPixelColorCorrection;
    uint32_t (VREL_CALL *q1)(EngineContext*, uint8_t*, uint32_t) = VrelGetSearchData;
    uint32_t (VREL_CALL *q2)(EngineContext*, uint8_t*, uint32_t) = VrelGetProfileName;
    uint32_t (VREL_CALL *q3)(EngineContext*, uint8_t*, uint32_t) = VrelGetSearchDataC;
    uint32_t (VREL_CALL *q4)(EngineContext*, uint8_t*, uint32_t) = VrelGetProfileNameC;
    CHECK(init && reset && close && bitmap && pixel && ondot && line && mode && correct &&
          pcorrect && q1 && q2 && q3 && q4);

    /* A null handle is accepted by VrelClose. */
    close(NULL);
    printf("header ok\n");
    return 0;
}
