// Friction evaluation: package availability, package values and averages, the
// derived per-node quantities and the heat-transfer coefficient. Nothing here
// allocates or writes the module; every function is safe on many threads.
#pragma once

#include "api/module.h"

namespace mx {

uint32_t packageIndexFromId(uint32_t packageId);
uint32_t isPackageAvailable(const Module& m, uint32_t packageId);
uint32_t productionRuleHolds(const Module& m);

bool GetPackageValue(const Module& m, const InputRecord& in, uint32_t packageId, double& out);
bool GetPackageAverage(const Module& m, const InputRecord& in, uint32_t packageId, double& out);
bool GetSurfaceRoughness(const Module& m, const InputRecord& in, double upperBound, double& out);
bool GetRealContactArea(const Module& m, const InputRecord& in, double previous, double& out);
bool GetHistoryParameter(const Module& m, const InputRecord& in, double previous, double& out);
bool GetLubricationAmount(const Module& m, const InputRecord& in, double upperBound,
                          double& cappedAmount, double& amount);
bool GetSpotLubeIndicator(const Module& m, const InputRecord& in, double upperBound, double& out);
bool GetGallingIndicator(const Module& m, const InputRecord& in, double scale, double& accumulator);
bool GetWearIndicator(const Module& m, const InputRecord& in, double scale, double& accumulator);
bool GetProductionVolume(const Module& m, const InputRecord& in, const double* firstLimit,
                         const double* secondLimit, double& out);
bool GetHeatTransferCoefficient(const Module& m, const InputRecord& in, double divisorValue,
                                double& out);

}  // namespace mx
