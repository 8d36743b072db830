/* Converts one line of RGB pixels into cyan, magenta, yellow and black through
 * the sample database of the "Vrel Demo Inkjet" and prints the ink amounts.
 * Every call's result is checked; any failure ends the program with status 1.
 *
 *   convert_line [DIRECTORY]   the folder that holds sample.vdb (default data/sample)
 */
#include <stdio.h>
#include <string.h>
#include <vrel/vrel.h>

int main(int argc, char** argv) {
    ParamRecord params;
    memset(&params, 0, sizeof params);
    params.profileNumber = 0;                  /* profile index record 1000: four inks */
    strcpy(params.databaseName, "sample.vdb"); /* at most 20 bytes */
    params.directoryName = argc > 1 ? argv[1] : "data/sample"; /* or NULL: working directory */

    EngineContext* context = NULL;
    VrelResult r = VrelInit(&context, &params);
    if (r != VREL_OK && r != VREL_OK_ADJUST) { /* an error code or an unknown layout */
        fprintf(stderr, "VrelInit refused the settings: %d\n", r);
        return 1;
    }
    r = VrelInitColorConversion(context, VrelModeDirect, NULL);
    if (r != VrelMethodFourColor) {
        fprintf(stderr, "not a four-ink profile (method %d)\n", r);
        VrelClose(context);
        return 1;
    }

    /* One raster line of RGB pixels into packed CMYK: white, black, red, mid grey. */
    const uint8_t rgb[4 * 3] = {255, 255, 255, 0, 0, 0, 255, 0, 0, 128, 128, 128};
    uint8_t cmyk[4 * 4];
    r = VrelBitmapColorConversion(VrelFormatRgb24, VrelFormatCmyk32, rgb, cmyk, 4, 0, 0, 0,
                                  context);
    VrelClose(context);
    if (r != VREL_OK) {
        fprintf(stderr, "conversion failed: %d\n", r);
        return 1;
    }
    for (int i = 0; i < 4; ++i) {
        const uint8_t* in = rgb + 3 * i;
        const uint8_t* out = cmyk + 4 * i;
        printf("RGB %3d %3d %3d -> C %3d M %3d Y %3d K %3d\n", in[0], in[1], in[2], out[0], out[1],
               out[2], out[3]);
    }
    return 0;
}
