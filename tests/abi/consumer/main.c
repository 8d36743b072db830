#include <stdio.h>

#include <vrel/vrel.h>

int main(void) {
    EngineContext* context = NULL;
    ParamRecord params = {0};
    /* No database by that name: the engine must refuse with a file error. */
    snprintf(params.databaseName, sizeof params.databaseName, "%s", "missing.vdb");
    VrelResult r = VrelInit(&context, &params);
    VrelClose(context);
    if (r != VREL_ERR_FILE || context != NULL) {
        printf("unexpected result %d\n", r);
        return 1;
    }
    printf("consumer ok\n");
    return 0;
}
