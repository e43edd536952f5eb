/* The host integration guide's example in C: a pre-processor stores a data
 * file's module as a blob; a solver rebuilds and prepares it once, evaluates
 * friction and real contact area per contact point, and releases it.
 *
 *   mx_guide_c DATAFILE */
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "mxplugin/mxplugin.h"

/* Pre-processor: data file -> blob (a copy the host owns). */
static uint8_t* storeModule(const char* path, int32_t* length) {
    MorvexModule* module = NULL;
    if (!Morvex_LoadFile(path, &module) || !module) return NULL; /* mxtool check says why */
    uint8_t* blob = NULL;
    uint64_t size = 0;
    uint8_t* copy = NULL;
    if (Morvex_SerializeModule(module, &blob, &size) && size <= INT32_MAX) {
        copy = malloc(size);
        if (copy) memcpy(copy, blob, size);
        *length = (int32_t)size;
    }
    Morvex_FreeBlob(&blob);
    Morvex_FreeModule(module);
    return copy;
}

int main(int argc, char** argv) {
    if (argc != 2) return 2;
    int32_t length = 0;
    uint8_t* blob = storeModule(argv[1], &length);
    if (!blob) return 1;
    printf("blob %d bytes\n", (int)length);

    /* Solver, analysis start: once per process or MPI rank. */
    MorvexModule* module = NULL;
    if (!Morvex_DeserializeAndPrepareSolverData(blob, length, &module)) {
        Morvex_FreeModule(module); /* may hold a module whose preparation failed */
        free(blob);
        return 1;
    }
    free(blob);

    /* Per contact point: MPa, -, degC, degC, mm/s, cosine, state; um, g/m2, um. */
    MorvexInputRecord in;
    Morvex_SetSystemInput(&in, 0, 1.1, 1.0, 0.3, 0);
    const double pressures[] = {10.0, 40.0, 80.0};
    for (int i = 0; i < 3; ++i) {
        Morvex_SetNodalInput(&in, pressures[i], 0.2, 110.0, 110.0, 250.0, 1.0, 0.0);
        double mu = 0.0, area = 0.0;
        if (!Morvex_GetPackageValue(module, in, 3, &mu) ||
            !Morvex_GetRealContactArea(module, in, 0.0, &area))
            return 1;
        printf("p = %5.1f  mu = %8.6f  area = %8.6f\n", pressures[i], mu, area);
    }

    /* Analysis end. */
    Morvex_FreeModule(module);
    return 0;
}
