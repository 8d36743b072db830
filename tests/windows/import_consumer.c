/* A plain C program linked against vrel's import library instead of loading
 * the DLL itself. Building it proves that the import library resolves every
 * export under the names a compiler gives them from the public header;
 * running it proves that the loader binds each of them to the export of the
 * same name in vrel.dll, and makes one real call through the import. */
#define WIN32_LEAN_AND_MEAN
#include <stdio.h>
#include <string.h>
#include <vrel/vrel.h>
#include <windows.h>

typedef void (*AnyFunction)(void);

int main(void) {
    static const char* const names[14] = {"VrelInit",
                                          "VrelReset",
                                          "VrelClose",
                                          "VrelBitmapColorConversion",
                                          "VrelPixelColorConversion",
                                          "VrelOnDotBlack",
                                          "VrelLineColorConversion",
                                          "VrelInitColorConversion",
                                          "VrelBitmapColorCorrection",
                                          "VrelPixelColorCorrection",
                                          "VrelGetSearchData",
                                          "VrelGetProfileName",
                                          "VrelGetSearchDataC",
                                          "VrelGetProfileNameC"};
    AnyFunction bound[14];
    HMODULE dll = GetModuleHandleA("vrel.dll");
    int passed = 0;
    int failed = 0;
    int i;
    ParamRecord params;
    EngineContext* slot = (EngineContext*)&params;
    VrelResult r;

    bound[0] = (AnyFunction)VrelInit;
    bound[1] = (AnyFunction)VrelReset;
    bound[2] = (AnyFunction)VrelClose;
    bound[3] = (AnyFunction)VrelBitmapColorConversion;
    bound[4] = (AnyFunction)VrelPixelColorConversion;
    bound[5] = (AnyFunction)VrelOnDotBlack;
    bound[6] = (AnyFunction)VrelLineColorConversion;
    bound[7] = (AnyFunction)VrelInitColorConversion;
    bound[8] = (AnyFunction)VrelBitmapColorCorrection;
    bound[9] = (AnyFunction)VrelPixelColorCorrection;
    bound[10] = (AnyFunction)VrelGetSearchData;
    bound[11] = (AnyFunction)VrelGetProfileName;
    bound[12] = (AnyFunction)VrelGetSearchDataC;
    bound[13] = (AnyFunction)VrelGetProfileNameC;
    for (i = 0; i < 14; ++i) {
        const AnyFunction exported =
            dll != NULL ? (AnyFunction)GetProcAddress(dll, names[i]) : NULL;
        if (exported != NULL && exported == bound[i]) {
            ++passed;
        } else {
            printf("FAIL %s is not bound to the export of that name\n", names[i]);
            ++failed;
        }
    }

    /* A database that is not there: the file error, the slot untouched. */
    memset(&params, 0, sizeof params);
    strcpy(params.databaseName, "no_such_file.db");
    r = VrelInit(&slot, &params);
    if (r == VREL_ERR_FILE && slot == (EngineContext*)&params) {
        ++passed;
    } else {
        printf("FAIL VrelInit on a missing database gave %d\n", r);
        ++failed;
    }
    VrelClose(NULL); /* a null handle returns at once */

    printf("%d passed, %d failed\n", passed, failed);
    return failed == 0 ? 0 : 1;
}
