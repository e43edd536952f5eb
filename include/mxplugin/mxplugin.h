/*
 * mxplugin: friction models for sheet-metal forming simulation.
 *
 * The library's whole surface is the 42 functions below. A forming solver's
 * pre-processor loads an encrypted material data file into a module, reads its
 * ranges and properties and serializes it into a blob that travels with the
 * simulation input. The solver rebuilds the module from the blob, prepares it
 * once, and then asks it for friction quantities at every contact node.
 *
 * Conventions that hold for every function unless its comment says otherwise:
 *  - The result is 1 for success and 0 for failure. No reason is reported and
 *    nothing is logged.
 *  - Out-parameters are written on success only; after a failure they hold
 *    what they held before the call.
 *  - Module handles, record addresses and out-parameter addresses must be
 *    valid. Only Morvex_FreeModule accepts a null handle, and only
 *    Morvex_SerializeModule tests its out-parameters for null.
 *  - An allocation failure inside the library is a failure like any other.
 *
 * Threads: the library starts no threads and takes no locks. Any number of
 * threads may call the getters and the evaluation functions on one module at
 * once. Morvex_PrepareSolverData and Morvex_FreeModule need exclusive use of
 * the module they are given. Morvex_LoadFile keeps its digest state per call,
 * so loads of different files may run on different threads at once.
 *
 * Strings handed out (solver id, property keys and values) are NUL-terminated
 * UTF-16, borrowed from the module: they stay valid until Morvex_FreeModule and
 * must not be changed or released by the caller.
 */
#ifndef MXPLUGIN_MXPLUGIN_H
#define MXPLUGIN_MXPLUGIN_H

#include <stdint.h>

/* The library's version. The major version changes whenever a host could
 * notice: a signature of the 42 functions, the blob or the data-file format.
 * The build checks these against the project's version. */
#define MXPLUGIN_VERSION_MAJOR 0
#define MXPLUGIN_VERSION_MINOR 1
#define MXPLUGIN_VERSION_PATCH 0
#define MXPLUGIN_VERSION_STRING "0.1.0"

#if defined(_WIN32)
#if defined(MXPLUGIN_BUILDING)
#define MORVEX_API __declspec(dllexport)
#elif defined(MXPLUGIN_STATIC)
#define MORVEX_API
#else
#define MORVEX_API __declspec(dllimport)
#endif
#else
#define MORVEX_API __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* A friction module: the data of one sheet, lubricant and tooling surface.
 * Opaque; created by Morvex_LoadFile or Morvex_DeserializeModule, released by
 * Morvex_FreeModule. */
typedef struct MorvexModule MorvexModule;

/* The contact state of one evaluation. Owned by the caller, filled by the two
 * setters, passed by value to every evaluation function. 88 bytes, no gaps. */
typedef struct MorvexInputRecord {
    double pressure;         /* contact pressure, clamped into the module's range */
    double strain;           /* strain, clamped into the module's range */
    double sheetTemperature; /* evaluation temperature (see temperatureMode) */
    double toolTemperature;  /* used only when temperatureMode is 1 */
    double velocity;         /* sliding velocity, clamped into the module's range */
    double directionCosine;  /* c: result = (1 - c^2) transverse + c^2 sliding */
    double stateValue;       /* coordinate on the module's fourth table axis */
    double sheetRoughness;
    double lubricationAmount;
    double toolRoughness;
    uint32_t useDirectionDependency; /* nonzero asks for the direction blend */
    uint32_t temperatureMode;        /* 1: mean of both temperatures; else sheet only */
} MorvexInputRecord;

/* A descriptive key/value pair of a module, both NUL-terminated UTF-16. */
typedef struct MorvexProperty {
    const uint16_t* key;
    const uint16_t* value;
} MorvexProperty;

/* Package ids: the friction quantities a module may define. */
enum {
    MORVEX_PACKAGE_SURFACE_ROUGHNESS = 0,
    MORVEX_PACKAGE_REAL_CONTACT_AREA = 4,
    MORVEX_PACKAGE_LUBRICATION_AMOUNT = 5,
    MORVEX_PACKAGE_HEAT_TRANSFER = 6,
    MORVEX_PACKAGE_SPOT_LUBRICATION = 7,
    MORVEX_PACKAGE_GALLING = 8,
    MORVEX_PACKAGE_WEAR = 9,
    MORVEX_PACKAGE_PRODUCTION_FIRST = 10,
    MORVEX_PACKAGE_PRODUCTION_SECOND = 11
};

/* ---- Life cycle ---------------------------------------------------------- */

/* Opens the encrypted data file at `path` (UTF-8), verifies its MD5 trailer,
 * decrypts its record chunks and builds the module of the last one into
 * `*module`. A file without a record chunk succeeds with *module = NULL. On
 * failure *module is untouched and nothing needs releasing. */
MORVEX_API uint32_t Morvex_LoadFile(const char* path, MorvexModule** module);

/* Writes the module record of `module` into a new blob. Fails at once, writing
 * nothing, when `blob` or `length` is NULL; otherwise sets *blob = NULL and
 * *length = 0 first, and on success stores the blob and its byte count. The
 * blob does not depend on the module; release it with Morvex_FreeBlob. */
MORVEX_API uint32_t Morvex_SerializeModule(const MorvexModule* module, uint8_t** blob,
                                           uint64_t* length);

/* Releases the blob `*blob` points to. Does not clear `*blob`. */
MORVEX_API void Morvex_FreeBlob(uint8_t** blob);

/* Reads a record stream of `length` bytes (a blob, or a Sheet or Lubricant
 * record) into a new finalized module stored in `*module`. On failure *module
 * is untouched and nothing needs releasing. */
MORVEX_API uint32_t Morvex_DeserializeModule(const uint8_t* data, int32_t length,
                                             MorvexModule** module);

/* Samples every package model of `*module` on its grid and limits the
 * heat-transfer curves; the handle itself is not replaced. Needs exclusive use
 * of the module. A model of n points per axis gets n^4 values (17 GB for the
 * largest count, 215), allocated at exactly that size; a model of one point
 * gets its one value, though evaluation needs two points per axis or more.
 * Returns 0 when a grid cannot be allocated, or when a model that needs a grid
 * cannot be prepared: a centre count other than 625, 1000, 1296, 2401, 4096,
 * 6561 or 10000, fewer than four scale factors, or more than 215 points per
 * axis (n^4 would not fit a signed 32-bit count). The module then stays valid
 * and releasable; the models prepared so far keep their grids. */
MORVEX_API uint32_t Morvex_PrepareSolverData(MorvexModule** module);

/* Morvex_DeserializeModule, then Morvex_PrepareSolverData. When the
 * preparation fails the result is 0 but *module already holds the module, which
 * the caller must release. */
MORVEX_API uint32_t Morvex_DeserializeAndPrepareSolverData(const uint8_t* data, int32_t length,
                                                           MorvexModule** module);

/* Releases a module and all it owns. NULL does nothing. */
MORVEX_API void Morvex_FreeModule(MorvexModule* module);

/* ---- Input setters (always return 1; values stored unchanged) ----------- */

/* Writes the seven nodal fields of `record`, in argument order. */
MORVEX_API uint32_t Morvex_SetNodalInput(MorvexInputRecord* record, double pressure, double strain,
                                         double sheetTemperature, double toolTemperature,
                                         double velocity, double directionCosine,
                                         double stateValue);

/* Writes the five system fields of `record`. */
MORVEX_API uint32_t Morvex_SetSystemInput(MorvexInputRecord* record,
                                          uint32_t useDirectionDependency, double sheetRoughness,
                                          double lubricationAmount, double toolRoughness,
                                          uint32_t temperatureMode);

/* ---- Module getters ------------------------------------------------------ */

/* The four ranges of the contact state variables; always return 1. */
MORVEX_API uint32_t Morvex_GetPressureRange(const MorvexModule* module, double* min, double* max);
MORVEX_API uint32_t Morvex_GetStrainRange(const MorvexModule* module, double* min, double* max);
MORVEX_API uint32_t Morvex_GetTemperatureRange(const MorvexModule* module, double* min,
                                               double* max);
MORVEX_API uint32_t Morvex_GetVelocityRange(const MorvexModule* module, double* min, double* max);

/* First and last value of the sorted surface-condition axes. Return 0, storing
 * nothing, when the module's axis holds no value. */
MORVEX_API uint32_t Morvex_GetSheetRoughnessRange(const MorvexModule* module, double* min,
                                                  double* max);
MORVEX_API uint32_t Morvex_GetLubricationAmountRange(const MorvexModule* module, double* min,
                                                     double* max);
MORVEX_API uint32_t Morvex_GetToolRoughnessRange(const MorvexModule* module, double* min,
                                                 double* max);

/* Nominal surface conditions; always return 1. */
MORVEX_API uint32_t Morvex_GetNominalSheetRoughness(const MorvexModule* module, double* value);
MORVEX_API uint32_t Morvex_GetNominalLubricationAmount(const MorvexModule* module, double* value);
MORVEX_API uint32_t Morvex_GetNominalToolRoughness(const MorvexModule* module, double* value);

/* Status words; always return 1. The first three store 1 when the module
 * holds more than one value in the list concerned; the last two store the low
 * 32 bits of the module's direction dependency and heat-transfer status. */
MORVEX_API uint32_t Morvex_GetStrainRougheningStatus(const MorvexModule* module, uint32_t* status);
MORVEX_API uint32_t Morvex_GetStaticFrictionStatus(const MorvexModule* module, uint32_t* status);
MORVEX_API uint32_t Morvex_GetToolWearStatus(const MorvexModule* module, uint32_t* status);
MORVEX_API uint32_t Morvex_GetDirectionDependencyStatus(const MorvexModule* module,
                                                        uint32_t* status);
MORVEX_API uint32_t Morvex_GetHeatTransferCoefficientStatus(const MorvexModule* module,
                                                            uint32_t* status);

/* Reads nothing, writes nothing (`equal` is left unchanged), returns 1. */
MORVEX_API uint32_t Morvex_GetIsToolTempEqual(const MorvexModule* module, uint32_t* equal);

/* The module's solver id (borrowed). Returns 1. */
MORVEX_API uint32_t Morvex_GetSolverID(const MorvexModule* module, const uint16_t** solverId);

/* The property lists (borrowed arrays; `*properties` may be NULL when *count
 * is 0). Return 1. */
MORVEX_API uint32_t Morvex_GetWorkpieceProperties(const MorvexModule* module,
                                                  const MorvexProperty** properties,
                                                  uint32_t* count);
MORVEX_API uint32_t Morvex_GetLubricantProperties(const MorvexModule* module,
                                                  const MorvexProperty** properties,
                                                  uint32_t* count);
MORVEX_API uint32_t Morvex_GetToolingProperties(const MorvexModule* module,
                                                const MorvexProperty** properties, uint32_t* count);

/* ---- Packages and friction quantities ------------------------------------ */

/* Stores 1 in *available when the module defines package `packageId` (and,
 * for a direction-dependent module, its transverse data defines it too), else
 * 0. Ids above 11 answer like id 3. Returns 1. */
MORVEX_API uint32_t Morvex_CheckPackageAvailability(const MorvexModule* module, uint32_t packageId,
                                                    uint32_t* available);

/* Stores 1 when packages 8 and 10, or 9 and 11, are available. Returns 1. */
MORVEX_API uint32_t Morvex_CheckProductionPackageAvailability(const MorvexModule* module,
                                                              uint32_t* available);

/* The value of a package at the contact state `input`, interpolated in the
 * prepared grids and across the surface-condition table, blended by direction
 * when module and input both ask for it. Fails when the package is not
 * available, the module was not prepared, or a surface-condition or state
 * coordinate is NaN. A NaN pressure, strain, temperature or velocity gives a
 * NaN value. Ids 1 and 2 have no grid and always fail here. */
MORVEX_API uint32_t Morvex_GetPackageValue(const MorvexModule* module, MorvexInputRecord input,
                                           uint32_t packageId, double* value);

/* The package's constant model term interpolated over the three surface
 * conditions only; needs no preparation. Fails when the package is not
 * available or a surface-condition coordinate is NaN. */
MORVEX_API uint32_t Morvex_GetPackageAverage(const MorvexModule* module, MorvexInputRecord input,
                                             uint32_t packageId, double* value);

/* Package 0, scaled toward input.sheetRoughness below the minimum pressure,
 * capped at `upperBound`. */
MORVEX_API uint32_t Morvex_GetSurfaceRoughness(const MorvexModule* module, MorvexInputRecord input,
                                               double upperBound, double* result);

/* Package 4, kept non-negative, scaled toward 0 below the minimum pressure;
 * the larger of it and `previous`. */
MORVEX_API uint32_t Morvex_GetRealContactArea(const MorvexModule* module, MorvexInputRecord input,
                                              double previous, double* result);

/* Package 4 unmodified; the larger of it and `previous`. */
MORVEX_API uint32_t Morvex_GetHistoryParameter(const MorvexModule* module, MorvexInputRecord input,
                                               double previous, double* result);

/* Package 5, scaled toward input.lubricationAmount below the minimum pressure.
 * *cappedAmount = min(value, input.lubricationAmount, upperBound);
 * *amount = min(value, upperBound). */
MORVEX_API uint32_t Morvex_GetLubricationAmount(const MorvexModule* module, MorvexInputRecord input,
                                                double upperBound, double* cappedAmount,
                                                double* amount);

/* Package 7, capped at `upperBound`, then kept non-negative. */
MORVEX_API uint32_t Morvex_GetSpotLubeIndicator(const MorvexModule* module, MorvexInputRecord input,
                                                double upperBound, double* result);

/* Package 8 (galling) or 9 (wear), kept non-negative, times `scale`, scaled
 * toward 0 below the minimum pressure, added to *accumulator. `reserved` is
 * not read; it is a double so that `accumulator` travels as the first pointer
 * argument after the module on every x86-64 calling convention. On failure
 * *accumulator keeps its value. */
MORVEX_API uint32_t Morvex_GetGallingIndicator(const MorvexModule* module, MorvexInputRecord input,
                                               double scale, double reserved, double* accumulator);
MORVEX_API uint32_t Morvex_GetWearIndicator(const MorvexModule* module, MorvexInputRecord input,
                                            double scale, double reserved, double* accumulator);

/* floor(min(1e7, v10 * 1e6 / *firstLimit, v11 * 1e6 / *secondLimit)), where a
 * limit that is NULL, not positive, or whose package is unavailable drops out.
 * Fails only when an evaluation it started fails. */
MORVEX_API uint32_t Morvex_GetProductionVolume(const MorvexModule* module, MorvexInputRecord input,
                                               const double* firstLimit, const double* secondLimit,
                                               double* result);

/* The heat-transfer coefficient. Fails when the module models no heat
 * transfer. With divisorValue <= 0 and pressure >= the minimum pressure it is
 * package 6; otherwise it comes from the entries' heat-transfer curves, blended
 * with package 6 at the minimum pressure while 0 < pressure < minimum. */
MORVEX_API uint32_t Morvex_GetHeatTransferCoefficient(const MorvexModule* module,
                                                      MorvexInputRecord input, double divisorValue,
                                                      double* value);

#ifdef __cplusplus
}
#endif

#endif /* MXPLUGIN_MXPLUGIN_H */
