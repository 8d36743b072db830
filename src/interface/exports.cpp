// The fourteen exported functions. Each only hands its arguments to the
// engine's own function, so that no export calls another and the library
// never depends on which definition of an exported name a process binds.
#include "convert/conversion.h"
#include "correct/correction.h"
#include "interface/context_lifecycle.h"
#include "interface/queries.h"
#include "setup/prepared_table.h"

extern "C" {

VREL_API VrelResult VREL_CALL VrelInit(EngineContext** slot, const ParamRecord* params) {
    return vrel::initContext(slot, params);
}

VREL_API VrelResult VREL_CALL VrelReset(EngineContext** slot, const ParamRecord* params) {
    return vrel::resetContext(slot, params);
}

VREL_API void VREL_CALL VrelClose(EngineContext* context) {
    vrel::closeContext(context);
}

VREL_API VrelResult VREL_CALL VrelBitmapColorConversion(uint32_t inFormat, uint32_t outFormat,
                                                        const void* source, void* destination,
                                                        uint32_t count, int16_t skipStart,
                                                        uint16_t skipEnd, uint32_t sourceStep,
                                                        EngineContext* context) {
    return vrel::convertBitmap(inFormat, outFormat, source, destination, count, skipStart, skipEnd,
                               sourceStep, context);
}

VREL_API VrelResult VREL_CALL VrelPixelColorConversion(uint32_t reserved, uint32_t format,
                                                       uint32_t value, uint32_t* result,
                                                       EngineContext* context) {
    return vrel::convertPixel(reserved, format, value, result, context);
}

VREL_API VrelResult VREL_CALL VrelOnDotBlack(uint8_t* plane0, uint8_t* plane1, uint8_t* plane2,
                                             uint8_t* plane3, int16_t count, int16_t skipStart,
                                             int16_t skipEnd, uint32_t reserved,
                                             EngineContext* context) {
    return vrel::onDotBlack(plane0, plane1, plane2, plane3, count, skipStart, skipEnd, reserved,
                            context);
}

VREL_API VrelResult VREL_CALL VrelLineColorConversion(const LineRecord* line, uint16_t count,
                                                      int16_t skipStart, uint16_t skipEnd,
                                                      uint32_t sourceStep, EngineContext* context) {
    return vrel::convertLine(line, count, skipStart, skipEnd, sourceStep, context);
}

VREL_API VrelResult VREL_CALL VrelInitColorConversion(EngineContext* context, uint32_t mode,
                                                      const PaletteRecord* const* palette) {
    return vrel::prepareConversion(context, mode, palette);
}

VREL_API VrelResult VREL_CALL VrelBitmapColorCorrection(uint32_t format, const void* source,
                                                        void* destination, uint16_t count,
                                                        int16_t skipStart, uint16_t skipEnd,
                                                        EngineContext* context) {
    return vrel::correctBitmap(format, source, destination, count, skipStart, skipEnd, context);
}

VREL_API VrelResult VREL_CALL VrelPixelColorCorrection(int32_t format, uint32_t colour,
                                                       uint32_t* result, EngineContext* context) {
    return vrel::correctPixel(format, colour, result, context);
}

VREL_API uint32_t VREL_CALL VrelGetSearchData(EngineContext* context, uint8_t* searchData,
                                              uint32_t reserved) {
    return vrel::searchData(context, searchData, reserved);
}

VREL_API uint32_t VREL_CALL VrelGetProfileName(EngineContext* context, uint8_t* name,
                                               uint32_t reserved) {
    return vrel::profileName(context, name, reserved);
}

VREL_API uint32_t VREL_CALL VrelGetSearchDataC(EngineContext* context, uint8_t* searchData,
                                               uint32_t reserved) {
    return vrel::searchDataC(context, searchData, reserved);
}

VREL_API uint32_t VREL_CALL VrelGetProfileNameC(EngineContext* context, uint8_t* name,
                                                uint32_t reserved) {
    return vrel::profileNameC(context, name, reserved);
}

} // extern "C"
