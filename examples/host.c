/* A host that loads the plug-in at run time, the way a forming simulation
 * does: it resolves all 42 functions by name, runs the pre-processor road (load
 * a data file, read ranges, properties and availability, serialize) and the
 * solver road (deserialize and prepare, evaluate every query on a fixed set of
 * contact states), and prints every result as hexadecimal bit patterns.
 *
 *   mx_host [--library PATH] DATAFILE
 *   mx_host [--library PATH] --blob FILE   (a stored module record stands in
 *                                          for the data file)
 *
 * Built with MX_HOST_LINKED defined, it is linked against the library at build
 * time instead (as tests/consumer builds it against an installed library) and
 * prints the same; --library is then ignored.
 *
 * The output is plain text with '\n' line ends on every platform, so the
 * outputs of a Linux and a Windows build can be compared byte for byte. The
 * exit status is 0 when every function was found and the roads ran, whatever
 * the individual calls answered (their results are part of the output). */
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "mxplugin/mxplugin.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <windows.h>
/* windows.h maps the 16-bit name FreeModule to FreeLibrary. */
#undef FreeModule
#define MX_LIBRARY_NAME "mxplugin.dll"
#else
#include <dlfcn.h>
#define MX_LIBRARY_NAME "libmxplugin.so"
#endif

/* ---- The plug-in's functions, resolved by name --------------------------- */

#define MX_FUNCTIONS(X)                   \
    X(LoadFile)                           \
    X(SerializeModule)                    \
    X(FreeBlob)                           \
    X(DeserializeModule)                  \
    X(PrepareSolverData)                  \
    X(DeserializeAndPrepareSolverData)    \
    X(FreeModule)                         \
    X(SetNodalInput)                      \
    X(SetSystemInput)                     \
    X(GetPressureRange)                   \
    X(GetStrainRange)                     \
    X(GetTemperatureRange)                \
    X(GetVelocityRange)                   \
    X(GetSheetRoughnessRange)             \
    X(GetLubricationAmountRange)          \
    X(GetToolRoughnessRange)              \
    X(GetNominalSheetRoughness)           \
    X(GetNominalLubricationAmount)        \
    X(GetNominalToolRoughness)            \
    X(GetStrainRougheningStatus)          \
    X(GetStaticFrictionStatus)            \
    X(GetToolWearStatus)                  \
    X(GetDirectionDependencyStatus)       \
    X(GetHeatTransferCoefficientStatus)   \
    X(GetIsToolTempEqual)                 \
    X(GetSolverID)                        \
    X(GetWorkpieceProperties)             \
    X(GetLubricantProperties)             \
    X(GetToolingProperties)               \
    X(CheckPackageAvailability)           \
    X(CheckProductionPackageAvailability) \
    X(GetPackageValue)                    \
    X(GetPackageAverage)                  \
    X(GetSurfaceRoughness)                \
    X(GetRealContactArea)                 \
    X(GetHistoryParameter)                \
    X(GetLubricationAmount)               \
    X(GetSpotLubeIndicator)               \
    X(GetGallingIndicator)                \
    X(GetWearIndicator)                   \
    X(GetProductionVolume)                \
    X(GetHeatTransferCoefficient)

/* Each member has exactly the type the public header declares. */
typedef struct Api {
#define MX_MEMBER(name) __typeof__(Morvex_##name)* name;
    MX_FUNCTIONS(MX_MEMBER)
#undef MX_MEMBER
} Api;

#define MX_COUNT_ONE(name) +1
enum { kFunctionCount = 0 MX_FUNCTIONS(MX_COUNT_ONE) };
#undef MX_COUNT_ONE

typedef void (*AnyFunction)(void);

#if defined(MX_HOST_LINKED)
typedef int Library;
static Library openLibrary(const char* path) {
    (void)path;
    return 1;
}
static void closeLibrary(Library lib) {
    (void)lib;
}
/* The linker has resolved every function already. */
static int resolveApi(Library lib, Api* api) {
    (void)lib;
#define MX_LINK(name) api->name = Morvex_##name;
    MX_FUNCTIONS(MX_LINK)
#undef MX_LINK
    return kFunctionCount;
}
#elif defined(_WIN32)
typedef HMODULE Library;
static Library openLibrary(const char* path) {
    return LoadLibraryA(path);
}
static AnyFunction findFunction(Library lib, const char* name) {
    return (AnyFunction)GetProcAddress(lib, name);
}
static void closeLibrary(Library lib) {
    FreeLibrary(lib);
}
#else
typedef void* Library;
static Library openLibrary(const char* path) {
    return dlopen(path, RTLD_NOW | RTLD_LOCAL);
}
static AnyFunction findFunction(Library lib, const char* name) {
    void* symbol = dlsym(lib, name);
    AnyFunction f;
    /* An object pointer becomes a function pointer through its bytes. */
    memcpy(&f, &symbol, sizeof f);
    return f;
}
static void closeLibrary(Library lib) {
    dlclose(lib);
}
#endif

#if !defined(MX_HOST_LINKED)
/* Resolves every function; reports each missing name. Returns the count found. */
static int resolveApi(Library lib, Api* api) {
    int found = 0;
    AnyFunction f;
#define MX_RESOLVE(name)                                             \
    f = findFunction(lib, "Morvex_" #name);                          \
    if (f) {                                                         \
        api->name = (__typeof__(Morvex_##name)*)f;                   \
        ++found;                                                     \
    } else {                                                         \
        fprintf(stderr, "mx_host: Morvex_" #name " not exported\n"); \
    }
    MX_FUNCTIONS(MX_RESOLVE)
#undef MX_RESOLVE
    return found;
}
#endif

/* ---- Output: fixed-width hexadecimal, independent of the C runtime -------- */

static void printHex(uint64_t v, int digits) {
    static const char kDigits[] = "0123456789abcdef";
    char text[17];
    for (int i = digits - 1; i >= 0; --i) {
        text[i] = kDigits[v & 15];
        v >>= 4;
    }
    fwrite(text, 1, (size_t)digits, stdout);
}

static uint64_t bitsOf(double v) {
    uint64_t bits;
    memcpy(&bits, &v, sizeof bits);
    return bits;
}

static void printU64(uint64_t v) {
    putchar(' ');
    printHex(v, 16);
}

static void printF64(double v) {
    printU64(bitsOf(v));
}

static void printU32(uint32_t v) {
    putchar(' ');
    printHex(v, 8);
}

/* "name rc" opens every result line; the values follow. */
static void beginLine(const char* name, uint32_t rc) {
    fputs(name, stdout);
    printU32(rc);
}

static void endLine(void) {
    putchar('\n');
}

static void printUtf16(const uint16_t* s) {
    putchar(' ');
    if (!s) {
        fputs("null", stdout);
        return;
    }
    putchar('[');
    for (; *s; ++s)
        printHex(*s, 4);
    putchar(']');
}

/* FNV-1a over a blob: equal blobs give equal sums on every platform. */
static uint64_t checksum(const uint8_t* bytes, uint64_t length) {
    uint64_t h = 14695981039346656037ull;
    for (uint64_t i = 0; i < length; ++i) {
        h ^= bytes[i];
        h *= 1099511628211ull;
    }
    return h;
}

/* ---- Pre-processor road --------------------------------------------------- */

typedef uint32_t (*RangeGetter)(const MorvexModule*, double*, double*);
typedef uint32_t (*ValueGetter)(const MorvexModule*, double*);
typedef uint32_t (*StatusGetter)(const MorvexModule*, uint32_t*);
typedef uint32_t (*PropertyGetter)(const MorvexModule*, const MorvexProperty**, uint32_t*);

/* Out-parameters start from a recognisable pattern: a call that fails must
 * leave it, and both builds must agree that it did. */
static const double kUnset = -7.25;
static const uint32_t kUnsetStatus = 0xA5A5A5A5u;

static void printRange(const char* name, RangeGetter get, const MorvexModule* m) {
    double lo = kUnset, hi = kUnset;
    beginLine(name, get(m, &lo, &hi));
    printF64(lo);
    printF64(hi);
    endLine();
}

static void printValue(const char* name, ValueGetter get, const MorvexModule* m) {
    double v = kUnset;
    beginLine(name, get(m, &v));
    printF64(v);
    endLine();
}

static void printStatus(const char* name, StatusGetter get, const MorvexModule* m) {
    uint32_t s = kUnsetStatus;
    beginLine(name, get(m, &s));
    printU32(s);
    endLine();
}

static void printProperties(const char* name, PropertyGetter get, const MorvexModule* m) {
    const MorvexProperty* list = NULL;
    uint32_t count = kUnsetStatus;
    uint32_t rc = get(m, &list, &count);
    beginLine(name, rc);
    printU32(count);
    endLine();
    for (uint32_t i = 0; rc && list && i < count; ++i) {
        fputs("  property", stdout);
        printUtf16(list[i].key);
        printUtf16(list[i].value);
        endLine();
    }
}

/* Ranges, nominal values, status words, solver id, properties, availability. */
static void describeModule(const Api* api, const MorvexModule* m) {
    printRange("pressureRange", api->GetPressureRange, m);
    printRange("strainRange", api->GetStrainRange, m);
    printRange("temperatureRange", api->GetTemperatureRange, m);
    printRange("velocityRange", api->GetVelocityRange, m);
    printRange("sheetRoughnessRange", api->GetSheetRoughnessRange, m);
    printRange("lubricationAmountRange", api->GetLubricationAmountRange, m);
    printRange("toolRoughnessRange", api->GetToolRoughnessRange, m);
    printValue("nominalSheetRoughness", api->GetNominalSheetRoughness, m);
    printValue("nominalLubricationAmount", api->GetNominalLubricationAmount, m);
    printValue("nominalToolRoughness", api->GetNominalToolRoughness, m);
    printStatus("strainRougheningStatus", api->GetStrainRougheningStatus, m);
    printStatus("staticFrictionStatus", api->GetStaticFrictionStatus, m);
    printStatus("toolWearStatus", api->GetToolWearStatus, m);
    printStatus("directionDependencyStatus", api->GetDirectionDependencyStatus, m);
    printStatus("heatTransferCoefficientStatus", api->GetHeatTransferCoefficientStatus, m);
    printStatus("isToolTempEqual", api->GetIsToolTempEqual, m);

    const uint16_t* solverId = NULL;
    beginLine("solverId", api->GetSolverID(m, &solverId));
    printUtf16(solverId);
    endLine();

    printProperties("workpieceProperties", api->GetWorkpieceProperties, m);
    printProperties("lubricantProperties", api->GetLubricantProperties, m);
    printProperties("toolingProperties", api->GetToolingProperties, m);

    /* Ids 0 to 11, then ids beyond the table, which answer like id 3. */
    static const uint32_t kIds[] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 0xFFFFFFFFu};
    for (size_t i = 0; i < sizeof kIds / sizeof kIds[0]; ++i) {
        uint32_t available = kUnsetStatus;
        beginLine("packageAvailable", api->CheckPackageAvailability(m, kIds[i], &available));
        printU32(kIds[i]);
        printU32(available);
        endLine();
    }
    uint32_t production = kUnsetStatus;
    beginLine("productionAvailable", api->CheckProductionPackageAvailability(m, &production));
    printU32(production);
    endLine();
}

/* Serializes the module; the caller owns the blob. Prints length and checksum. */
static int serialize(const Api* api, const MorvexModule* m, const char* label, uint8_t** blob,
                     uint64_t* length) {
    *blob = NULL;
    *length = 0;
    uint32_t rc = api->SerializeModule(m, blob, length);
    beginLine(label, rc);
    printU64(*length);
    printU64(rc ? checksum(*blob, *length) : 0);
    endLine();
    return rc != 0;
}

/* ---- Solver road: a fixed set of contact states --------------------------- */

typedef struct Ranges {
    double pressure[2], strain[2], temperature[2], velocity[2];
    double sheetRoughness[2], lubricationAmount[2], toolRoughness[2];
} Ranges;

static void readRanges(const Api* api, const MorvexModule* m, Ranges* r) {
    api->GetPressureRange(m, &r->pressure[0], &r->pressure[1]);
    api->GetStrainRange(m, &r->strain[0], &r->strain[1]);
    api->GetTemperatureRange(m, &r->temperature[0], &r->temperature[1]);
    api->GetVelocityRange(m, &r->velocity[0], &r->velocity[1]);
    /* An empty axis leaves the fallback 0..1. */
    r->sheetRoughness[0] = r->lubricationAmount[0] = r->toolRoughness[0] = 0.0;
    r->sheetRoughness[1] = r->lubricationAmount[1] = r->toolRoughness[1] = 1.0;
    api->GetSheetRoughnessRange(m, &r->sheetRoughness[0], &r->sheetRoughness[1]);
    api->GetLubricationAmountRange(m, &r->lubricationAmount[0], &r->lubricationAmount[1]);
    api->GetToolRoughnessRange(m, &r->toolRoughness[0], &r->toolRoughness[1]);
}

/* A point of a range at fraction t; t outside 0..1 lies outside the range. */
static double at(const double range[2], double t) {
    return range[0] + t * (range[1] - range[0]);
}

static void evaluateAll(const Api* api, const MorvexModule* m, MorvexInputRecord in) {
    double v;
    for (uint32_t id = 0; id <= 12; ++id) {
        v = kUnset;
        beginLine("packageValue", api->GetPackageValue(m, in, id, &v));
        printU32(id);
        printF64(v);
        endLine();
        v = kUnset;
        beginLine("packageAverage", api->GetPackageAverage(m, in, id, &v));
        printU32(id);
        printF64(v);
        endLine();
    }
    static const double kBounds[] = {0.0, 0.35, 1e9};
    for (size_t b = 0; b < sizeof kBounds / sizeof kBounds[0]; ++b) {
        const double bound = kBounds[b];
        v = kUnset;
        beginLine("surfaceRoughness", api->GetSurfaceRoughness(m, in, bound, &v));
        printF64(bound);
        printF64(v);
        endLine();
        double capped = kUnset, amount = kUnset;
        beginLine("lubricationAmount", api->GetLubricationAmount(m, in, bound, &capped, &amount));
        printF64(bound);
        printF64(capped);
        printF64(amount);
        endLine();
        v = kUnset;
        beginLine("spotLubeIndicator", api->GetSpotLubeIndicator(m, in, bound, &v));
        printF64(bound);
        printF64(v);
        endLine();
    }
    static const double kPrevious[] = {0.0, 0.5};
    for (size_t p = 0; p < sizeof kPrevious / sizeof kPrevious[0]; ++p) {
        v = kUnset;
        beginLine("realContactArea", api->GetRealContactArea(m, in, kPrevious[p], &v));
        printF64(kPrevious[p]);
        printF64(v);
        endLine();
        v = kUnset;
        beginLine("historyParameter", api->GetHistoryParameter(m, in, kPrevious[p], &v));
        printF64(kPrevious[p]);
        printF64(v);
        endLine();
    }
    double accumulator = 0.125;
    beginLine("gallingIndicator", api->GetGallingIndicator(m, in, 2.0, 99.0, &accumulator));
    printF64(accumulator);
    endLine();
    accumulator = 0.125;
    beginLine("wearIndicator", api->GetWearIndicator(m, in, 0.5, 99.0, &accumulator));
    printF64(accumulator);
    endLine();
    static const double kFirst = 0.8, kSecond = 1.7, kNegative = -1.0;
    const double* limits[][2] = {
        {&kFirst, &kSecond}, {&kFirst, NULL}, {NULL, &kSecond}, {&kNegative, &kSecond}};
    for (size_t l = 0; l < sizeof limits / sizeof limits[0]; ++l) {
        v = kUnset;
        beginLine("productionVolume",
                  api->GetProductionVolume(m, in, limits[l][0], limits[l][1], &v));
        printU32((uint32_t)l);
        printF64(v);
        endLine();
    }
    static const double kDivisors[] = {0.0, -1.0, 0.75, 40.0};
    for (size_t d = 0; d < sizeof kDivisors / sizeof kDivisors[0]; ++d) {
        v = kUnset;
        beginLine("heatTransferCoefficient",
                  api->GetHeatTransferCoefficient(m, in, kDivisors[d], &v));
        printF64(kDivisors[d]);
        printF64(v);
        endLine();
    }
}

/* Every combination of a few positions in each range: inside, on the edges,
 * below and above; both direction settings and both temperature modes. */
static void evaluateStates(const Api* api, const MorvexModule* m) {
    Ranges r;
    readRanges(api, m, &r);
    static const double kPressure[] = {-0.2, 0.0, 0.37, 1.0, 1.3};
    static const double kSheetRoughness[] = {0.0, 0.41, 1.2};
    static const double kLubrication[] = {0.29, 1.0};
    static const double kTemperature[] = {0.15, 0.8};
    int state = 0;
    for (size_t p = 0; p < sizeof kPressure / sizeof kPressure[0]; ++p)
        for (size_t s = 0; s < sizeof kSheetRoughness / sizeof kSheetRoughness[0]; ++s)
            for (size_t l = 0; l < sizeof kLubrication / sizeof kLubrication[0]; ++l)
                for (size_t t = 0; t < sizeof kTemperature / sizeof kTemperature[0]; ++t)
                    for (uint32_t direction = 0; direction < 2; ++direction) {
                        MorvexInputRecord in;
                        memset(&in, 0, sizeof in);
                        const double pressure =
                            kPressure[p] < 0.0 ? r.pressure[0] * 0.5 : at(r.pressure, kPressure[p]);
                        const uint32_t mode = (uint32_t)((s + t) % 2);
                        uint32_t rc =
                            api->SetNodalInput(&in, pressure, at(r.strain, 0.3 + 0.2 * (double)t),
                                               at(r.temperature, kTemperature[t]),
                                               at(r.temperature, 1.0 - kTemperature[t]),
                                               at(r.velocity, 0.05 + 0.3 * (double)l),
                                               direction ? 0.6 : 1.0, 0.25 * (double)s);
                        rc &= api->SetSystemInput(&in, direction,
                                                  at(r.sheetRoughness, kSheetRoughness[s]),
                                                  at(r.lubricationAmount, kLubrication[l]),
                                                  at(r.toolRoughness, 0.6), mode);
                        beginLine("state", rc);
                        printU32((uint32_t)state++);
                        printF64(in.pressure);
                        printF64(in.sheetTemperature);
                        printF64(in.sheetRoughness);
                        printU32(in.useDirectionDependency);
                        printU32(in.temperatureMode);
                        endLine();
                        evaluateAll(api, m, in);
                    }
}

/* ---- Main ----------------------------------------------------------------- */

static uint8_t* readWholeFile(const char* path, uint64_t* length) {
    FILE* f = fopen(path, "rb");
    if (!f) return NULL;
    uint8_t* bytes = NULL;
    long size = -1;
    if (fseek(f, 0, SEEK_END) == 0) size = ftell(f);
    if (size >= 0 && fseek(f, 0, SEEK_SET) == 0) bytes = (uint8_t*)malloc((size_t)size + 1);
    if (bytes && fread(bytes, 1, (size_t)size, f) != (size_t)size) {
        free(bytes);
        bytes = NULL;
    }
    fclose(f);
    *length = (uint64_t)size;
    return bytes;
}

/* The module of the pre-processor road: from the data file, or from a stored
 * module record when the host is given --blob. */
static MorvexModule* openModule(const Api* api, const char* path, int isBlob) {
    MorvexModule* m = NULL;
    if (!isBlob) {
        beginLine("loadFile", api->LoadFile(path, &m));
        printU32(m != NULL);
        endLine();
        return m;
    }
    uint64_t length = 0;
    uint8_t* bytes = readWholeFile(path, &length);
    if (!bytes || length > 0x7FFFFFFF) {
        fprintf(stderr, "mx_host: cannot read %s\n", path);
        free(bytes);
        return NULL;
    }
    beginLine("deserializeStoredBlob", api->DeserializeModule(bytes, (int32_t)length, &m));
    printU32(m != NULL);
    endLine();
    free(bytes);
    return m;
}

/* Solver road on the blob: deserialize and prepare in one call, and in two
 * calls; both prepared modules serialize alike; then evaluate. */
static void solverRoad(const Api* api, const uint8_t* blob, uint64_t length) {
    MorvexModule* prepared = NULL;
    beginLine("deserializeAndPrepare",
              api->DeserializeAndPrepareSolverData(blob, (int32_t)length, &prepared));
    printU32(prepared != NULL);
    endLine();

    MorvexModule* stepwise = NULL;
    beginLine("deserialize", api->DeserializeModule(blob, (int32_t)length, &stepwise));
    printU32(stepwise != NULL);
    endLine();
    if (stepwise) {
        beginLine("prepare", api->PrepareSolverData(&stepwise));
        endLine();
    }

    uint8_t* again = NULL;
    uint64_t againLength = 0;
    if (prepared && serialize(api, prepared, "serializePrepared", &again, &againLength))
        api->FreeBlob(&again);
    if (stepwise && serialize(api, stepwise, "serializeStepwise", &again, &againLength))
        api->FreeBlob(&again);
    api->FreeModule(stepwise);

    if (prepared) evaluateStates(api, prepared);
    api->FreeModule(prepared);
}

int main(int argc, char** argv) {
#ifdef _WIN32
    /* '\n' stays one byte, so the output matches the Linux build's. */
    _setmode(_fileno(stdout), _O_BINARY);
#endif
    const char* libraryPath = MX_LIBRARY_NAME;
    const char* input = NULL;
    int isBlob = 0;
    for (int i = 1; i < argc; ++i) {
        if (strcmp(argv[i], "--library") == 0 && i + 1 < argc) {
            libraryPath = argv[++i];
        } else if (strcmp(argv[i], "--blob") == 0 && i + 1 < argc) {
            input = argv[++i];
            isBlob = 1;
        } else if (!input) {
            input = argv[i];
        } else {
            input = NULL;
            break;
        }
    }
    if (!input) {
        fprintf(stderr, "usage: mx_host [--library PATH] (DATAFILE | --blob FILE)\n");
        return 2;
    }

    Library lib = openLibrary(libraryPath);
    if (!lib) {
        fprintf(stderr, "mx_host: cannot load %s\n", libraryPath);
        return 1;
    }
    Api api;
    memset(&api, 0, sizeof api);
    const int found = resolveApi(lib, &api);
    printf("resolved %d of %d\n", found, (int)kFunctionCount);
    if (found != kFunctionCount) {
        closeLibrary(lib);
        return 1;
    }

    MorvexModule* module = openModule(&api, input, isBlob);
    if (module) {
        describeModule(&api, module);
        uint8_t* blob = NULL;
        uint64_t length = 0;
        if (serialize(&api, module, "serialize", &blob, &length)) {
            solverRoad(&api, blob, length);
            api.FreeBlob(&blob);
        }
    }
    api.FreeModule(module);
    api.FreeModule(NULL);
    closeLibrary(lib);
    return 0;
}
