#include <cmath>

#include "friction/evaluate.h"

namespace mx {

namespace {

// Package ids of the derived quantities.
constexpr uint32_t kSurfaceRoughnessId = 0;
constexpr uint32_t kRealContactAreaId = 4;
constexpr uint32_t kLubricationAmountId = 5;
constexpr uint32_t kSpotLubeId = 7;
constexpr uint32_t kGallingId = 8;
constexpr uint32_t kWearId = 9;
constexpr uint32_t kFirstProductionId = 10;
constexpr uint32_t kSecondProductionId = 11;

constexpr double kMaxProductionVolume = 10000000.0;

// The comparisons are strict throughout: on equality the value named last wins.
double atMost(double v, double bound) {
    return v > bound ? bound : v;
}
double atLeastZero(double v) {
    return 0.0 > v ? 0.0 : v;
}
double atLeast(double v, double previous) {
    return previous > v ? previous : v;
}

// The non-negative rate times `scale`, reduced at low pressure, added to the
// caller's running sum.
bool accumulateIndicator(const Module& m, const InputRecord& in, uint32_t packageId, double scale,
                         double& accumulator) {
    double v;
    if (!GetPackageValue(m, in, packageId, v)) return false;
    v = atLeastZero(v) * scale;
    scaleBelowMinimumPressure(m, in, 0.0, v);
    accumulator = accumulator + v;
    return true;
}

// v * 1e6 / limit, at most the largest volume; a NaN quotient sets no limit.
bool productionCandidate(const Module& m, const InputRecord& in, uint32_t packageId,
                         const double* limit, double& candidate) {
    if (limit == nullptr || !(*limit > 0.0) || isPackageAvailable(m, packageId) == 0) return true;
    double v;
    if (!GetPackageValue(m, in, packageId, v)) return false;
    const double quotient = v * 1000000.0 / *limit;
    candidate = quotient < kMaxProductionVolume ? quotient : kMaxProductionVolume;
    return true;
}

}  // namespace

void scaleBelowMinimumPressure(const Module& m, const InputRecord& in, double base, double& value) {
    const double p = std::fabs(in.pressure);
    if (m.pressureMin > p && m.pressureMin != 0.0) {
        value = (value - base) * (p / m.pressureMin) + base;
    }
}

bool GetSurfaceRoughness(const Module& m, const InputRecord& in, double upperBound, double& out) {
    double v;
    if (!GetPackageValue(m, in, kSurfaceRoughnessId, v)) return false;
    scaleBelowMinimumPressure(m, in, in.sheetRoughness, v);
    out = atMost(v, upperBound);
    return true;
}

bool GetRealContactArea(const Module& m, const InputRecord& in, double previous, double& out) {
    double v;
    if (!GetPackageValue(m, in, kRealContactAreaId, v)) return false;
    v = atLeastZero(v);
    scaleBelowMinimumPressure(m, in, 0.0, v);
    out = atLeast(v, previous);
    return true;
}

bool GetHistoryParameter(const Module& m, const InputRecord& in, double previous, double& out) {
    double v;
    if (!GetPackageValue(m, in, kRealContactAreaId, v)) return false;
    out = atLeast(v, previous);
    return true;
}

bool GetLubricationAmount(const Module& m, const InputRecord& in, double upperBound,
                          double& cappedAmount, double& amount) {
    double v;
    if (!GetPackageValue(m, in, kLubricationAmountId, v)) return false;
    const double cap = atMost(in.lubricationAmount, upperBound);
    scaleBelowMinimumPressure(m, in, in.lubricationAmount, v);
    cappedAmount = v < cap ? v : cap;
    amount = atMost(v, upperBound);
    return true;
}

bool GetSpotLubeIndicator(const Module& m, const InputRecord& in, double upperBound, double& out) {
    double v;
    if (!GetPackageValue(m, in, kSpotLubeId, v)) return false;
    out = atLeastZero(atMost(v, upperBound));
    return true;
}

bool GetGallingIndicator(const Module& m, const InputRecord& in, double scale,
                         double& accumulator) {
    return accumulateIndicator(m, in, kGallingId, scale, accumulator);
}

bool GetWearIndicator(const Module& m, const InputRecord& in, double scale, double& accumulator) {
    return accumulateIndicator(m, in, kWearId, scale, accumulator);
}

bool GetProductionVolume(const Module& m, const InputRecord& in, const double* firstLimit,
                         const double* secondLimit, double& out) {
    double a = kMaxProductionVolume, b = kMaxProductionVolume;
    if (!productionCandidate(m, in, kFirstProductionId, firstLimit, a) ||
        !productionCandidate(m, in, kSecondProductionId, secondLimit, b)) {
        return false;
    }
    out = std::floor(b < a ? b : a);
    return true;
}

}  // namespace mx
