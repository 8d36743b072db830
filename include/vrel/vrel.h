/*
 * vrel: colour engine for inkjet printer drivers.
 *
 * This header is the whole public interface of the library: fourteen exported
 * functions, the records that cross the library boundary, the result codes and
 * the pixel format, conversion method and conversion mode constants.
 *
 * Plain C (C99 and later, and C++), no dependency beyond <stdint.h>.
 */
#ifndef VREL_VREL_H
#define VREL_VREL_H

#include <stdint.h>

/* VREL_API goes before the return type (export / visibility), VREL_CALL after
 * it (the calling convention: stdcall on 32-bit Windows, where the callee
 * removes its arguments; the platform default elsewhere). */
#if defined(_WIN32)
#  if defined(VREL_STATIC)
#    define VREL_API
#  elif defined(VREL_BUILDING)
#    define VREL_API __declspec(dllexport)
#  else
#    define VREL_API __declspec(dllimport)
#  endif
#  if defined(_M_IX86) || defined(__i386__)
#    define VREL_CALL __stdcall
#  else
#    define VREL_CALL
#  endif
#else
#  if defined(__GNUC__) || defined(__clang__)
#    define VREL_API __attribute__((visibility("default")))
#  else
#    define VREL_API
#  endif
#  define VREL_CALL
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* ---------------------------------------------------------------- results */

typedef int16_t VrelResult;

#define VREL_OK 0           /* success */
#define VREL_OK_ADJUST 1    /* VrelInit succeeded; the record's adjustment switch is 1 */
#define VREL_OK_KEPT 2      /* VrelReset kept the context (bit 0 as VrelInit gave) */
#define VREL_ERR_MEMORY (-108)
#define VREL_ERR_PARAM (-128)
#define VREL_ERR_FILE (-138)

/* ---------------------------------------------------------- pixel formats */

enum {
    VrelFormatBgr24 = 0,         /* B G R */
    VrelFormatBgrx32 = 1,        /* B G R, byte 3 spare */
    VrelFormatXbgr32 = 2,        /* byte 0 spare, B G R */
    VrelFormatRgb24 = 3,         /* R G B */
    VrelFormatRgb555 = 4,        /* little-endian word, 5 bits each of R G B, bit 15 ignored */
    VrelFormatXrgb32 = 5,        /* byte 0 spare, R G B */
    VrelFormatIndex8 = 7,        /* one palette index byte */
    VrelFormatGray8 = 9,         /* one grey byte (as output: 255 minus black) */
    VrelFormatMono1 = 10,        /* one bit per pixel, most significant bit first */
    VrelFormatBlack8 = 11,       /* one black ink byte */
    VrelFormatBlack32 = 12,      /* four bytes, black in byte 3 */
    VrelFormatCmyk32 = 13,       /* C M Y K */
    VrelFormatKymc32 = 15,       /* K Y M C */
    VrelFormatInk6 = 16,         /* C M Y K ink4 ink5 */
    VrelFormatInk6Reversed = 18, /* K Y M C ink5 ink4 */
    VrelFormatInk7 = 19,         /* C M Y K ink4 ink5 ink6 */
    VrelFormatInk7Reversed = 21, /* K Y M C ink6 ink5 ink4 */
    VrelFormatBlackPixel32 = 22  /* four bytes, grey/black read from byte 0 */
};

/* ------------------------------------------------------ conversion method */

enum {
    VrelMethodBlack = 1,
    VrelMethodThreeChannel = 3,
    VrelMethodFourColor = 4,
    VrelMethodSixColor = 6,
    VrelMethodSevenColor = 7
};

/* -------------------------------------------------------- conversion mode */

enum {
    VrelModeDirect = 0,
    VrelModeRgb555 = 1,
    VrelModePalette = 2,
    VrelModeGray = 3,
    VrelModeMono = 4
};

#define VREL_PARAM_RECORD_SIZE 190
#define VREL_SEARCH_DATA_SIZE 8
#define VREL_PROFILE_NAME_SIZE 24
#define VREL_DATABASE_NAME_SIZE 20

/* ---------------------------------------------------------------- records */

typedef struct EngineContext EngineContext;

#pragma pack(push, 1)

/* The driver's parameter record: 190 bytes, little-endian words. */
typedef struct ParamRecord {
    uint16_t recordWord0;         /*   0 compared by VrelReset only */
    uint16_t profileNumber;       /*   2 profile index record id = profileNumber + 1000 */
    uint16_t recordWords2to6[5];  /*   4 compared by VrelReset only */
    uint16_t keyField14;          /*  14 bits 0-8 enter the profile key */
    uint16_t keyField16;          /*  16 bits 0-1 enter the key; nonzero switches balance off */
    uint16_t recordWords9to12[4]; /*  18 compared by VrelReset only */
    uint16_t reserved26;          /*  26 */
    char databaseName[20];        /*  28 database file name, NUL-terminated unless 20 long */
    uint16_t adjustSwitch;        /*  48 1 = the caller's adjustments apply */
    uint16_t tableSelector;       /*  50 0/other = first, 2 = second, 3 = third table */
    uint16_t inputKind;           /*  52 10, 18, 22, 32 or other */
    uint16_t paramWord54;         /*  54 */
    int16_t balance[4];           /*  56 cyan, magenta, yellow, black balance */
    int16_t density;              /*  64 */
    uint16_t methodOverride;      /*  66 1 = three-channel output */
    uint8_t reserved68[26];       /*  68 */
    uint16_t keyField94;          /*  94 bits 0-4 enter the profile key */
    uint8_t reserved96[8];        /*  96 */
    uint16_t keyField104;         /* 104 */
    uint16_t keyField106;         /* 106 */
    uint16_t keyField108;         /* 108 */
    uint8_t reserved110[24];      /* 110 */
    uint32_t paramWord134;        /* 134 */
    uint8_t reserved138[12];      /* 138 */
    const char* directoryName;    /* 150 directory of the database file, or null */
    uint8_t reservedTail[190 - 150 - sizeof(const char*)];
} ParamRecord;

/* A palette for VrelModePalette: lastIndex, then three bytes (R, G, B) per
 * colour with no gap. Only colours 0..min(lastIndex, 255) are read, so a
 * caller may allocate a shorter record than sizeof(PaletteRecord). */
typedef struct PaletteRecord {
    int16_t lastIndex;
    uint8_t colours[256][3];
} PaletteRecord;

#pragma pack(pop)

/* One raster line for VrelLineColorConversion: source and up to seven ink
 * planes (0 cyan, 1 magenta, 2 yellow, 3 black, 4-6 further inks). */
typedef struct LineRecord {
    uint32_t format;
    const void* source;
    void* planes[7];
} LineRecord;

/* ---------------------------------------------------------------- exports */

/* Opens an engine context from the profile database named by params (file
 * params->databaseName in params->directoryName, or in the working directory
 * when that is null; only a regular file is opened) and stores it in *slot.
 * Returns 0, or 1 when params->adjustSwitch is 1: these two alone are
 * success. A failure is a negative code (slot unchanged before a context
 * exists, null after) or, for a database of a record layout other than 0..2,
 * that layout number (slot unchanged): any positive result other than 1 means
 * no context was opened. A null slot or params gives -128. The record is
 * copied; every file is closed again before the call returns. */
/* 1 */ VREL_API VrelResult VREL_CALL VrelInit(EngineContext** slot, const ParamRecord* params);

/* Keeps the context in *slot when params needs no new one (returns 2 or 3,
 * bit 0 as VrelInit gave); otherwise closes it and returns what VrelInit gives
 * for params, except that a layout number comes back as -138, so that 2 and 3
 * always mean the context stayed. After a failed re-open the slot is null,
 * never the closed context. An empty slot behaves like VrelInit, with the
 * same exception.
 *
 * params needs no new context when, against the record the context was opened
 * with, these are equal: the first 26 bytes (recordWord0, profileNumber,
 * recordWords2to6, keyField14, keyField16, recordWords9to12), density,
 * methodOverride and paramWord134; and, only when params->adjustSwitch is 1,
 * tableSelector, inputKind and the four balance values. Nothing else is
 * compared: not adjustSwitch itself, databaseName, directoryName, keyField94,
 * keyField104, keyField106 or keyField108, although the key fields choose the
 * profile. After a change in one of those, close the context and call
 * VrelInit. */
/* 2 */ VREL_API VrelResult VREL_CALL VrelReset(EngineContext** slot, const ParamRecord* params);

/* Frees the context and everything it holds. A null context does nothing. */
/* 3 */ VREL_API void VREL_CALL VrelClose(EngineContext* context);

/* Runs. The conversions and the correction take a line of count pixels of
 * which skipStart at the start and skipEnd at the end are neither read nor
 * written. The number of pixels converted is count - skipStart - skipEnd
 * computed on 16 bits and read as a signed value: 0 or less converts nothing,
 * and so does a stretch of more than 32767 pixels. A count above 65535 (the
 * bitmap conversion's count is 32 bits wide) converts its difference modulo
 * 65536: count 70000 without skips converts pixels 0..4463 and returns 0, so
 * lines longer than 32767 pixels are to be split by the caller. No pixel at
 * or beyond count is ever touched: skips that together reach count convert
 * nothing, and so does a negative skipStart. A run that converts nothing
 * returns 0 and writes nothing on any context; only a refused output format
 * or conversion method is still -128. */

/* Converts pixels skipStart .. count-skipEnd-1 of one line (see Runs) from
 * inFormat to outFormat (the VrelFormat constants); sourceStep 0 means the
 * input format's pixel size. Returns 0; -128 for an outFormat that is no
 * output format (Rgb555, Index8, Mono1, BlackPixel32, codes without a
 * format), a null context, or a run with pixels to convert through a table
 * this context lacks (its method has none for the pairing, or a prepared
 * table the input needs is missing or too small), in which case nothing is
 * written. Pairings that no method converts return 0 and write nothing. */
/* 4 */ VREL_API VrelResult VREL_CALL VrelBitmapColorConversion(
    uint32_t inFormat, uint32_t outFormat, const void* source, void* destination, uint32_t count,
    int16_t skipStart, uint16_t skipEnd, uint32_t sourceStep, EngineContext* context);

/* Converts one colour packed in value and stores the packed result in
 * *result. The format follows the context's method: Xbgr32 or Xrgb32 (three
 * channels), Cmyk32 or Kymc32 (four inks; cyan or black in the top byte of
 * the result), BlackPixel32 (black; the grey in bits 24-31 of value).
 * Xbgr32 and Kymc32 read value as 0x00BBGGRR, Xrgb32 and Cmyk32 as
 * 0x00RRGGBB. Returns 0, or -128 for any other format, a null context or
 * a null result (nothing written). */
/* 5 */ VREL_API VrelResult VREL_CALL VrelPixelColorConversion(uint32_t reserved, uint32_t format,
                                                               uint32_t value, uint32_t* result,
                                                               EngineContext* context);

/* Makes black dots on four bilevel planes (most significant bit first) over
 * the pixels skipStart .. count-skipEnd-1, by the rule of the context's
 * method (black or four colours). An empty or inverted range changes no
 * colour bit; a negative count is a line of no pixel, and a line of no pixel
 * touches no plane (null planes are fine). Returns 0, or -128 for a null
 * context or another method. */
/* 6 */ VREL_API VrelResult VREL_CALL VrelOnDotBlack(uint8_t* plane0, uint8_t* plane1,
                                                     uint8_t* plane2, uint8_t* plane3,
                                                     int16_t count, int16_t skipStart,
                                                     int16_t skipEnd, uint32_t reserved,
                                                     EngineContext* context);

/* Converts one raster line (line->format, line->source; see Runs) into one
 * byte plane per ink: plane 3 only for the black method (Gray8 input), four,
 * six or seven planes for the ink methods (RGB or grey input). Returns 0
 * (formats the method does not take write nothing); -128 on a three-channel
 * context, a null context or a null line, or when pixels are to be converted
 * on a context without the table for its planes, with nothing written. */
/* 7 */ VREL_API VrelResult VREL_CALL VrelLineColorConversion(const LineRecord* line, uint16_t count,
                                                              int16_t skipStart, uint16_t skipEnd,
                                                              uint32_t sourceStep,
                                                              EngineContext* context);

/* Records the conversion mode (VrelMode constants) for later runs; on
 * contexts whose profile class builds prepared tables it builds the table of
 * the mode (palette read through *palette). Returns the context's conversion
 * method on success, -128 for a mode above 4 or an unsupported pairing, -108
 * when memory runs out (no table is left). */
/* 8 */ VREL_API VrelResult VREL_CALL VrelInitColorConversion(EngineContext* context, uint32_t mode,
                                                              const PaletteRecord* const* palette);

/* Corrects pixels skipStart .. count-skipEnd-1 (see Runs) RGB to RGB through
 * the context's correction table, from source to destination (the same
 * address for in-place work). Always returns 0; a null context, or a context without
 * a correction table, writes nothing. */
/* 9 */ VREL_API VrelResult VREL_CALL VrelBitmapColorCorrection(uint32_t format, const void* source,
                                                                void* destination, uint16_t count,
                                                                int16_t skipStart,
                                                                uint16_t skipEnd,
                                                                EngineContext* context);

/* Corrects one colour: format 2 packs it as 0x00BBGGRR, format 5 as
 * 0x00RRGGBB, in value and in *result alike. Without a correction table (or
 * with a null context) the colour comes back unchanged (top byte cleared).
 * Returns 0, or -128 for another format (*result 0) or a null result. */
/* 10 */ VREL_API VrelResult VREL_CALL VrelPixelColorCorrection(int32_t format, uint32_t colour,
                                                                uint32_t* result,
                                                                EngineContext* context);

/* The queries copy the profile's 8 bytes of search data (11, 13) or its
 * 24-byte name (12, 14) into the buffer and return the profile's 32-bit
 * value. 11 and 12 prefer the database's extension chunk when the profile
 * announces one; 13 and 14 always answer from the profile record. A null
 * context returns 0 and writes nothing. */
/* 11 */ VREL_API uint32_t VREL_CALL VrelGetSearchData(EngineContext* context, uint8_t* searchData,
                                                       uint32_t reserved);
/* 12 */ VREL_API uint32_t VREL_CALL VrelGetProfileName(EngineContext* context, uint8_t* name,
                                                        uint32_t reserved);
/* 13 */ VREL_API uint32_t VREL_CALL VrelGetSearchDataC(EngineContext* context, uint8_t* searchData,
                                                        uint32_t reserved);
/* 14 */ VREL_API uint32_t VREL_CALL VrelGetProfileNameC(EngineContext* context, uint8_t* name,
                                                         uint32_t reserved);

#ifdef __cplusplus
} /* extern "C" */
static_assert(sizeof(ParamRecord) == VREL_PARAM_RECORD_SIZE, "ParamRecord is 190 bytes");
#elif defined(__STDC_VERSION__) && __STDC_VERSION__ >= 201112L
_Static_assert(sizeof(ParamRecord) == VREL_PARAM_RECORD_SIZE, "ParamRecord is 190 bytes");
#endif

#endif /* VREL_VREL_H */
