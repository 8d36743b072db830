/* Writes what the engine makes of a fixed chart through every ink set of the
 * sample database: one file per case in the output directory, each holding
 * the result codes and the output bytes. check_golden.cmake compares their
 * SHA-256 digests with golden.sha256. Plain C99 on the public header alone,
 * so that the same program runs on the host and, linked against the import
 * library of vrel.dll, under Windows; the engine's integer arithmetic makes
 * one table hold everywhere. Case names: <ink set>-out<output format>-in<input
 * format> and <ink set>-mode<mode>-out<output format> (VrelFormat and VrelMode
 * numbers), <ink set>-planes (line conversion), -calls (queries,
 * corrections, single colours, on-dot black) and -modes (the mode results).
 *
 *   vrel_golden <directory of sample.vdb> <output directory>
 */
#include <stdio.h>
#include <string.h>
#include <vrel/vrel.h>
#ifdef _WIN32
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#endif

enum { W = 256, H = 48, GUARD = 0xAA, MAX_PIXEL = 8 };

static uint8_t chart[H][W][3];
static PaletteRecord palette;
static const char* outDir;
static int failures;

static void fail(const char* what) {
    printf("FAIL %s\n", what);
    ++failures;
}

/* Rows 0-15: ramps of each mix of channels from black (rows 0-7) and to
 * white (rows 8-15), grey in rows 6 and 15; then colours of a fixed
 * pseudo-random sequence. The palette continues the sequence. */
static void drawChart(void) {
    uint32_t s = 12345u;
    int x, y, c;
    for (y = 0; y < H; ++y) {
        for (x = 0; x < W; ++x) {
            for (c = 0; c < 3; ++c) {
                const int on = ((y % 8 + 1) >> c) & 1;
                s = s * 1103515245u + 12345u;
                if (y < 8) {
                    chart[y][x][c] = (uint8_t)(on ? x : 0);
                } else if (y < 16) {
                    chart[y][x][c] = (uint8_t)(on ? 255 : x);
                } else {
                    chart[y][x][c] = (uint8_t)(s >> 24);
                }
            }
        }
    }
    palette.lastIndex = 255;
    for (x = 0; x < 256 * 3; ++x) {
        s = s * 1103515245u + 12345u;
        palette.colours[x / 3][x % 3] = (uint8_t)(s >> 24);
    }
}

/* Row y of the chart in an input format; returns the bytes per line. */
static size_t encodeRow(uint32_t format, int y, uint8_t* out) {
    const int order[6][4] = {{2, 1, 0, -1}, {2, 1, 0, -2}, {-2, 2, 1, 0},
                             {0, 1, 2, -1}, {0, 0, 0, 0},  {-2, 0, 1, 2}};
    size_t n = 0;
    int x, i;
    memset(out, 0, W * 4);
    for (x = 0; x < W; ++x) {
        const uint8_t* p = chart[y][x];
        if (format <= VrelFormatXrgb32 && format != VrelFormatRgb555) {
            for (i = 0; i < 4 && order[format][i] != -1; ++i) {
                out[n++] = order[format][i] < 0 ? 0x5C : p[order[format][i]];
            }
        } else if (format == VrelFormatRgb555) {
            const unsigned v = (unsigned)(p[0] >> 3) << 10 | (unsigned)(p[1] >> 3) << 5 | p[2] >> 3;
            out[n++] = (uint8_t)v;
            out[n++] = (uint8_t)(v >> 8);
        } else if (format == VrelFormatMono1) {
            out[x / 8] |= (uint8_t)((p[1] >> 7) << (7 - x % 8));
            n = (x + 8) / 8;
        } else { /* Index8 and Gray8: one byte */
            out[n++] = format == VrelFormatIndex8 ? (uint8_t)(p[0] ^ p[2]) : p[1];
        }
    }
    return n;
}

static void writeCase(const char* set, const char* what, const uint8_t* bytes, size_t size) {
    char path[1024];
    FILE* f;
    snprintf(path, sizeof path, "%s/%s-%s.out", outDir, set, what);
    f = fopen(path, "wb");
    if (f == NULL || fwrite(bytes, 1, size, f) != size || fclose(f) != 0) {
        fail(path);
    }
}

static uint8_t buffer[H * (W * MAX_PIXEL * 7 + 64)];
static size_t used;
static void put(const void* bytes, size_t size) {
    memcpy(buffer + used, bytes, size);
    used += size;
}
static void putResult(int r) {
    const uint8_t le[2] = {(uint8_t)r, (uint8_t)((unsigned)r >> 8)};
    put(le, 2);
}

/* The chart through VrelBitmapColorConversion, each line with a few pixels
 * skipped at both ends; a case when the pairing writes pixels. */
static void bitmapCase(EngineContext* ctx, uint32_t in, uint32_t out, const char* set,
                       const char* name) {
    uint8_t source[W * 4], line[W * MAX_PIXEL];
    int y, written = 0;
    used = 0;
    for (y = 0; y < H; ++y) {
        size_t i;
        encodeRow(in, y, source);
        memset(line, GUARD, sizeof line);
        putResult(VrelBitmapColorConversion(in, out, source, line, W, (int16_t)(y % 3),
                                            (uint16_t)(y % 5), 0, ctx));
        for (i = 0; i < sizeof line; ++i) {
            written |= line[i] != GUARD;
        }
        put(line, sizeof line);
    }
    if (written) {
        writeCase(set, name, buffer, used);
    }
}

/* The chart through VrelLineColorConversion into seven planes. */
static void planesCase(EngineContext* ctx, uint32_t in, const char* set) {
    uint8_t source[W * 4], planes[7][W];
    LineRecord line;
    int y, k;
    used = 0;
    line.format = in;
    line.source = source;
    for (k = 0; k < 7; ++k) {
        line.planes[k] = planes[k];
    }
    for (y = 0; y < H; ++y) {
        encodeRow(in, y, source);
        memset(planes, GUARD, sizeof planes);
        putResult(VrelLineColorConversion(&line, W, (int16_t)(y % 3), (uint16_t)(y % 5), 0, ctx));
        put(planes, sizeof planes);
    }
    writeCase(set, "planes", buffer, used);
}

/* Queries, corrections, single colours and on-dot black on the chart. */
static void callsCase(EngineContext* ctx, const char* set) {
    uint8_t query[24], source[W * 4], out[W * 3], dots[4][W / 8];
    uint32_t value;
    int y, x;
    used = 0;
    for (x = 0; x < 4; ++x) {
        uint32_t(VREL_CALL* const calls[4])(EngineContext*, uint8_t*, uint32_t) = {
            VrelGetSearchData, VrelGetProfileName, VrelGetSearchDataC, VrelGetProfileNameC};
        memset(query, GUARD, sizeof query);
        value = calls[x](ctx, query, 0);
        put(&value, 4);
        put(query, sizeof query);
    }
    for (y = 0; y < H; ++y) {
        encodeRow(VrelFormatRgb24, y, source);
        memset(out, GUARD, sizeof out);
        putResult(VrelBitmapColorCorrection(VrelFormatRgb24, source, out, W, 1, 2, ctx));
        put(out, sizeof out);
        for (x = 0; x < W; x += 37) {
            const uint8_t* p = chart[y][x];
            const uint32_t colour = (uint32_t)p[0] << 16 | (uint32_t)p[1] << 8 | p[2];
            static const uint32_t formats[5] = {VrelFormatXrgb32, VrelFormatXbgr32,
                                                VrelFormatCmyk32, VrelFormatKymc32,
                                                VrelFormatBlackPixel32};
            value = GUARD;
            putResult(VrelPixelColorConversion(0, formats[x % 5], colour | (uint32_t)p[1] << 24,
                                               &value, ctx));
            put(&value, 4);
            putResult(VrelPixelColorCorrection(x % 2 ? 2 : 5, colour, &value, ctx));
            put(&value, 4);
        }
        memset(dots[3], GUARD, sizeof dots[3]);
        for (x = 0; x < 3 * W / 8; ++x) {
            dots[x / (W / 8)][x % (W / 8)] = chart[y][x][y % 3];
        }
        putResult(
            VrelOnDotBlack(dots[0], dots[1], dots[2], dots[3], W, (int16_t)(y % 7), 3, 0, ctx));
        put(dots, sizeof dots);
    }
    writeCase(set, "calls", buffer, used);
}

static const uint32_t kOutputs[] = {VrelFormatBgr24,  VrelFormatBgrx32,      VrelFormatXbgr32,
                                    VrelFormatRgb24,  VrelFormatXrgb32,      VrelFormatGray8,
                                    VrelFormatBlack8, VrelFormatBlack32,     VrelFormatCmyk32,
                                    VrelFormatKymc32, VrelFormatInk6,        VrelFormatInk6Reversed,
                                    VrelFormatInk7,   VrelFormatInk7Reversed};
static const uint32_t kModeInputs[5] = {VrelFormatRgb24, VrelFormatRgb555, VrelFormatIndex8,
                                        VrelFormatGray8, VrelFormatMono1};

static void inkSet(const char* set, const char* directory, uint16_t profile, uint16_t key94,
                   int adjusted) {
    const uint32_t rgbInputs[5] = {VrelFormatRgb24, VrelFormatBgr24, VrelFormatBgrx32,
                                   VrelFormatXbgr32, VrelFormatXrgb32};
    const PaletteRecord* paletteHandle = &palette;
    ParamRecord params;
    EngineContext* ctx = NULL;
    char name[64];
    size_t i;
    int mode, r;
    uint8_t modeResults[5];
    memset(&params, 0, sizeof params);
    strcpy(params.databaseName, "sample.vdb");
    params.directoryName = directory;
    params.profileNumber = profile;
    params.keyField94 = key94;
    if (adjusted) {
        params.adjustSwitch = 1;
        params.tableSelector = 2;
        params.inputKind = 10;
        params.balance[0] = 10;
        params.balance[1] = -20;
        params.balance[2] = 30;
        params.balance[3] = -40;
        params.density = 15;
    }
    r = VrelInit(&ctx, &params);
    if (r != adjusted || ctx == NULL) {
        fail(set);
        return;
    }
    for (i = 0; i < sizeof kOutputs / sizeof kOutputs[0]; ++i) {
        snprintf(name, sizeof name, "out%u-in%u", (unsigned)kOutputs[i],
                 (unsigned)rgbInputs[i % 5]);
        bitmapCase(ctx, rgbInputs[i % 5], kOutputs[i], set, name);
    }
    planesCase(ctx, profile == 2 ? VrelFormatGray8 : VrelFormatRgb24, set);
    callsCase(ctx, set);
    /* Each conversion mode with the input it announces (grey input: mode 3),
     * into every output format; the modes' result codes are a case too. */
    for (mode = VrelModeDirect; mode <= VrelModeMono; ++mode) {
        modeResults[mode] = (uint8_t)VrelInitColorConversion(ctx, (uint32_t)mode, &paletteHandle);
        for (i = 0; i < sizeof kOutputs / sizeof kOutputs[0]; ++i) {
            snprintf(name, sizeof name, "mode%d-out%u", mode, (unsigned)kOutputs[i]);
            bitmapCase(ctx, kModeInputs[mode], kOutputs[i], set, name);
        }
    }
    writeCase(set, "modes", modeResults, sizeof modeResults);
    r = VrelReset(&ctx, &params);
    if ((r & ~1) != VREL_OK_KEPT) {
        fail("VrelReset keeps an unchanged context");
    }
    VrelClose(ctx);
}

/* Files the engine must not open: the slot stays as it was. */
static void refusals(const char* directory) {
#ifdef _WIN32
    const char* device[2] = {NULL, "NUL"};
#else
    const char* device[2] = {"/dev", "null"};
#endif
    const char* missing[2] = {directory, "no-such.vdb"};
    const char* const* which[2] = {device, missing};
    int i;
    for (i = 0; i < 2; ++i) {
        ParamRecord params;
        EngineContext* slot = (EngineContext*)&params;
        memset(&params, 0, sizeof params);
        params.directoryName = which[i][0];
        strcpy(params.databaseName, which[i][1]);
        if (VrelInit(&slot, &params) != VREL_ERR_FILE || slot != (EngineContext*)&params) {
            fail(which[i][1]);
        }
    }
}

#ifdef _WIN32
/* A driver resolves the exports by ordinal: ordinal n must be the function
 * this program's import of the n-th declaration is bound to. */
static void ordinals(void) {
    typedef void (*AnyFunction)(void);
    const AnyFunction bound[14] = {(AnyFunction)VrelInit,
                                   (AnyFunction)VrelReset,
                                   (AnyFunction)VrelClose,
                                   (AnyFunction)VrelBitmapColorConversion,
                                   (AnyFunction)VrelPixelColorConversion,
                                   (AnyFunction)VrelOnDotBlack,
                                   (AnyFunction)VrelLineColorConversion,
                                   (AnyFunction)VrelInitColorConversion,
                                   (AnyFunction)VrelBitmapColorCorrection,
                                   (AnyFunction)VrelPixelColorCorrection,
                                   (AnyFunction)VrelGetSearchData,
                                   (AnyFunction)VrelGetProfileName,
                                   (AnyFunction)VrelGetSearchDataC,
                                   (AnyFunction)VrelGetProfileNameC};
    HMODULE dll = GetModuleHandleA("vrel.dll");
    int n;
    for (n = 1; n <= 15; ++n) {
        const AnyFunction at = dll ? (AnyFunction)GetProcAddress(dll, MAKEINTRESOURCEA(n)) : NULL;
        if (at != (n <= 14 ? bound[n - 1] : NULL)) {
            fail("an export is not at its ordinal");
        }
    }
}
#endif

int main(int argc, char** argv) {
    const char* dir;
#ifdef _WIN32
    /* The engine joins directory and name with a backslash: in a path that
     * starts with \\?\ no other separator is taken. */
    static char full[300] = "\\\\?\\";
#endif
    if (argc != 3) {
        fprintf(stderr, "usage: %s <directory of sample.vdb> <output directory>\n", argv[0]);
        return 2;
    }
    dir = argv[1];
    outDir = argv[2];
#ifdef _WIN32
    ordinals();
    if (GetFullPathNameA(dir, sizeof full - 4, full + 4, NULL) == 0) {
        fail("the directory has no full path");
    }
    dir = full;
#endif
    drawChart();
    inkSet("plain4", dir, 0, 0, 0);
    inkSet("plain4-adjusted", dir, 0, 0, 1);
    inkSet("photo6", dir, 0, 1, 0);
    inkSet("rgb3", dir, 0, 2, 0);
    inkSet("photo7", dir, 1, 0, 0);
    inkSet("black1", dir, 2, 0, 0);
    refusals(dir);
    printf("%s\n", failures ? "failed" : "outputs written");
    return failures ? 1 : 0;
}
