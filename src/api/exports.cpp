// The 42 exported functions: the C boundary. Everything behind it may throw
// std::bad_alloc; nothing crosses it. Out-parameters are written on success only.
#include <cstdlib>
#include <new>
#include <type_traits>

#include "friction/evaluate.h"
#include "io/data_file.h"
#include "io/dispatch.h"
#include "model/module.h"
#include "mxplugin/mxplugin.h"
#include "serialize/module_record.h"
#include "solver/prepare.h"
#include "stream/heap.h"

using mx::Module;
using mx::ModulePtr;

namespace {

// Runs `body` and turns an escaping exception (allocation failure) into 0.
template <typename Body>
uint32_t guarded(Body&& body) noexcept {
    try {
        return body() ? 1u : 0u;
    } catch (...) {
        return 0u;
    }
}

uint32_t storeRange(double first, double last, double* min, double* max) {
    *min = first;
    *max = last;
    return 1;
}

// Stores a value the module holds; such a query always succeeds.
template <typename T>
uint32_t storeValue(T* out, std::type_identity_t<T> value) {
    *out = value;
    return 1;
}

uint32_t storeAxisRange(const std::vector<double>& axis, double* min, double* max) {
    if (axis.empty()) return 0;
    return storeRange(axis.front(), axis.back(), min, max);
}

uint32_t storeProperties(const mx::PropertyList& list, const MorvexProperty** properties,
                         uint32_t* count) {
    *properties = list.view.empty() ? nullptr : list.view.data();
    *count = static_cast<uint32_t>(list.view.size());
    return 1;
}

// Runs an evaluation into a local that starts as `start` and stores it in
// `out` only on success, so a failed evaluation leaves the caller's value as
// it was.
template <typename Evaluation>
uint32_t storeOnSuccess(double* out, double start, Evaluation&& evaluation) {
    double v = start;
    if (!evaluation(v)) return 0;
    *out = v;
    return 1;
}

uint32_t moreThanOne(const std::vector<double>& values) {
    return values.size() > 1 ? 1u : 0u;
}

}  // namespace

extern "C" {

MORVEX_API uint32_t Morvex_LoadFile(const char* path, MorvexModule** module) {
    return guarded([&] {
        ModulePtr loaded;
        if (!mx::LoadDataFile(path, loaded)) return false;
        *module = loaded.release();
        return true;
    });
}

MORVEX_API uint32_t Morvex_SerializeModule(const MorvexModule* module, uint8_t** blob,
                                           uint64_t* length) {
    if (blob == nullptr || length == nullptr) return 0;
    *blob = nullptr;
    *length = 0;
    return guarded([&] {
        mx::MallocBuffer buffer;
        uint64_t size = 0;
        if (!mx::SerializeModule(*module, buffer, size)) return false;
        *blob = buffer.release();
        *length = size;
        return true;
    });
}

MORVEX_API void Morvex_FreeBlob(uint8_t** blob) {
    mx::heapRelease(*blob);
}

MORVEX_API uint32_t Morvex_DeserializeModule(const uint8_t* data, int32_t length,
                                             MorvexModule** module) {
    return guarded([&] {
        ModulePtr slot;
        if (!mx::ReadRecordStream(data, length, slot)) return false;
        *module = slot.release();
        return true;
    });
}

MORVEX_API uint32_t Morvex_PrepareSolverData(MorvexModule** module) {
    return guarded([&] { return mx::PrepareSolverData(**module); });
}

MORVEX_API uint32_t Morvex_DeserializeAndPrepareSolverData(const uint8_t* data, int32_t length,
                                                           MorvexModule** module) {
    if (Morvex_DeserializeModule(data, length, module) == 0) return 0;
    return Morvex_PrepareSolverData(module);
}

MORVEX_API void Morvex_FreeModule(MorvexModule* module) {
    ModulePtr released(module);
}

MORVEX_API uint32_t Morvex_SetNodalInput(MorvexInputRecord* record, double pressure, double strain,
                                         double sheetTemperature, double toolTemperature,
                                         double velocity, double directionCosine,
                                         double stateValue) {
    record->pressure = pressure;
    record->strain = strain;
    record->sheetTemperature = sheetTemperature;
    record->toolTemperature = toolTemperature;
    record->velocity = velocity;
    record->directionCosine = directionCosine;
    record->stateValue = stateValue;
    return 1;
}

MORVEX_API uint32_t Morvex_SetSystemInput(MorvexInputRecord* record,
                                          uint32_t useDirectionDependency, double sheetRoughness,
                                          double lubricationAmount, double toolRoughness,
                                          uint32_t temperatureMode) {
    record->useDirectionDependency = useDirectionDependency;
    record->sheetRoughness = sheetRoughness;
    record->lubricationAmount = lubricationAmount;
    record->toolRoughness = toolRoughness;
    record->temperatureMode = temperatureMode;
    return 1;
}

MORVEX_API uint32_t Morvex_GetPressureRange(const MorvexModule* m, double* min, double* max) {
    return storeRange(m->pressureMin, m->pressureMax, min, max);
}

MORVEX_API uint32_t Morvex_GetStrainRange(const MorvexModule* m, double* min, double* max) {
    return storeRange(m->strainMin, m->strainMax, min, max);
}

MORVEX_API uint32_t Morvex_GetTemperatureRange(const MorvexModule* m, double* min, double* max) {
    return storeRange(m->temperatureMin, m->temperatureMax, min, max);
}

MORVEX_API uint32_t Morvex_GetVelocityRange(const MorvexModule* m, double* min, double* max) {
    return storeRange(m->velocityMin, m->velocityMax, min, max);
}

MORVEX_API uint32_t Morvex_GetSheetRoughnessRange(const MorvexModule* m, double* min, double* max) {
    return storeAxisRange(m->sheetRoughnessValues, min, max);
}

MORVEX_API uint32_t Morvex_GetLubricationAmountRange(const MorvexModule* m, double* min,
                                                     double* max) {
    return storeAxisRange(m->lubricationAmountValues, min, max);
}

MORVEX_API uint32_t Morvex_GetToolRoughnessRange(const MorvexModule* m, double* min, double* max) {
    return storeAxisRange(m->toolRoughnessValues, min, max);
}

MORVEX_API uint32_t Morvex_GetNominalSheetRoughness(const MorvexModule* m, double* value) {
    return storeValue(value, m->nominalSheetRoughness);
}

MORVEX_API uint32_t Morvex_GetNominalLubricationAmount(const MorvexModule* m, double* value) {
    return storeValue(value, m->nominalLubricationAmount);
}

MORVEX_API uint32_t Morvex_GetNominalToolRoughness(const MorvexModule* m, double* value) {
    return storeValue(value, m->nominalToolRoughness);
}

MORVEX_API uint32_t Morvex_GetStrainRougheningStatus(const MorvexModule* m, uint32_t* status) {
    return storeValue(status, moreThanOne(m->strainRougheningValues));
}

MORVEX_API uint32_t Morvex_GetStaticFrictionStatus(const MorvexModule* m, uint32_t* status) {
    return storeValue(status, moreThanOne(m->staticFrictionValues));
}

MORVEX_API uint32_t Morvex_GetToolWearStatus(const MorvexModule* m, uint32_t* status) {
    return storeValue(status, moreThanOne(m->toolWearValues));
}

MORVEX_API uint32_t Morvex_GetDirectionDependencyStatus(const MorvexModule* m, uint32_t* status) {
    return storeValue(status, static_cast<uint32_t>(m->directionDependency));
}

MORVEX_API uint32_t Morvex_GetHeatTransferCoefficientStatus(const MorvexModule* m,
                                                            uint32_t* status) {
    return storeValue(status, static_cast<uint32_t>(m->heatTransferStatus));
}

MORVEX_API uint32_t Morvex_GetIsToolTempEqual(const MorvexModule*, uint32_t*) {
    return 1;
}

MORVEX_API uint32_t Morvex_GetSolverID(const MorvexModule* m, const uint16_t** solverId) {
    return storeValue(solverId, reinterpret_cast<const uint16_t*>(m->solverId.c_str()));
}

MORVEX_API uint32_t Morvex_GetWorkpieceProperties(const MorvexModule* m,
                                                  const MorvexProperty** properties,
                                                  uint32_t* count) {
    return storeProperties(m->workpieceProperties, properties, count);
}

MORVEX_API uint32_t Morvex_GetLubricantProperties(const MorvexModule* m,
                                                  const MorvexProperty** properties,
                                                  uint32_t* count) {
    return storeProperties(m->lubricantProperties, properties, count);
}

MORVEX_API uint32_t Morvex_GetToolingProperties(const MorvexModule* m,
                                                const MorvexProperty** properties,
                                                uint32_t* count) {
    return storeProperties(m->toolingProperties, properties, count);
}

MORVEX_API uint32_t Morvex_CheckPackageAvailability(const MorvexModule* m, uint32_t packageId,
                                                    uint32_t* available) {
    return storeValue(available, mx::isPackageAvailable(*m, packageId));
}

MORVEX_API uint32_t Morvex_CheckProductionPackageAvailability(const MorvexModule* m,
                                                              uint32_t* available) {
    return storeValue(available, mx::productionRuleHolds(*m));
}

// Each evaluation computes into locals and stores only on success.
MORVEX_API uint32_t Morvex_GetPackageValue(const MorvexModule* m, MorvexInputRecord input,
                                           uint32_t packageId, double* value) {
    return storeOnSuccess(value, 0.0,
                          [&](double& v) { return mx::GetPackageValue(*m, input, packageId, v); });
}

MORVEX_API uint32_t Morvex_GetPackageAverage(const MorvexModule* m, MorvexInputRecord input,
                                             uint32_t packageId, double* value) {
    return storeOnSuccess(
        value, 0.0, [&](double& v) { return mx::GetPackageAverage(*m, input, packageId, v); });
}

MORVEX_API uint32_t Morvex_GetSurfaceRoughness(const MorvexModule* m, MorvexInputRecord input,
                                               double upperBound, double* result) {
    return storeOnSuccess(
        result, 0.0, [&](double& v) { return mx::GetSurfaceRoughness(*m, input, upperBound, v); });
}

MORVEX_API uint32_t Morvex_GetRealContactArea(const MorvexModule* m, MorvexInputRecord input,
                                              double previous, double* result) {
    return storeOnSuccess(
        result, 0.0, [&](double& v) { return mx::GetRealContactArea(*m, input, previous, v); });
}

MORVEX_API uint32_t Morvex_GetHistoryParameter(const MorvexModule* m, MorvexInputRecord input,
                                               double previous, double* result) {
    return storeOnSuccess(
        result, 0.0, [&](double& v) { return mx::GetHistoryParameter(*m, input, previous, v); });
}

MORVEX_API uint32_t Morvex_GetLubricationAmount(const MorvexModule* m, MorvexInputRecord input,
                                                double upperBound, double* cappedAmount,
                                                double* amount) {
    double capped, full;
    if (!mx::GetLubricationAmount(*m, input, upperBound, capped, full)) return 0;
    *cappedAmount = capped;
    *amount = full;
    return 1;
}

MORVEX_API uint32_t Morvex_GetSpotLubeIndicator(const MorvexModule* m, MorvexInputRecord input,
                                                double upperBound, double* result) {
    return storeOnSuccess(
        result, 0.0, [&](double& v) { return mx::GetSpotLubeIndicator(*m, input, upperBound, v); });
}

MORVEX_API uint32_t Morvex_GetGallingIndicator(const MorvexModule* m, MorvexInputRecord input,
                                               double scale, double, double* accumulator) {
    return storeOnSuccess(accumulator, *accumulator, [&](double& sum) {
        return mx::GetGallingIndicator(*m, input, scale, sum);
    });
}

MORVEX_API uint32_t Morvex_GetWearIndicator(const MorvexModule* m, MorvexInputRecord input,
                                            double scale, double, double* accumulator) {
    return storeOnSuccess(accumulator, *accumulator,
                          [&](double& sum) { return mx::GetWearIndicator(*m, input, scale, sum); });
}

MORVEX_API uint32_t Morvex_GetProductionVolume(const MorvexModule* m, MorvexInputRecord input,
                                               const double* firstLimit, const double* secondLimit,
                                               double* result) {
    return storeOnSuccess(result, 0.0, [&](double& v) {
        return mx::GetProductionVolume(*m, input, firstLimit, secondLimit, v);
    });
}

MORVEX_API uint32_t Morvex_GetHeatTransferCoefficient(const MorvexModule* m,
                                                      MorvexInputRecord input, double divisorValue,
                                                      double* value) {
    return storeOnSuccess(value, 0.0, [&](double& v) {
        return mx::GetHeatTransferCoefficient(*m, input, divisorValue, v);
    });
}

}  // extern "C"
