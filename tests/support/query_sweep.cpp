#include "support/query_sweep.h"

#include <bit>
#include <cmath>
#include <limits>

namespace mx::test {

namespace {

constexpr auto bitsOf = [](double v) { return std::bit_cast<uint64_t>(v); };

// Pressure, strain, temperature, velocity, sheet roughness, lubrication
// amount, tool roughness.
uint32_t (*const kRangeGetters[7])(const MorvexModule*, double*, double*) = {
    Morvex_GetPressureRange,     Morvex_GetStrainRange,         Morvex_GetTemperatureRange,
    Morvex_GetVelocityRange,     Morvex_GetSheetRoughnessRange, Morvex_GetLubricationAmountRange,
    Morvex_GetToolRoughnessRange};

}  // namespace

std::vector<MorvexInputRecord> spreadStates(const MorvexModule* m, int count) {
    // An axis range getter fails on an empty axis: 0 to 0 then.
    double lo[7] = {}, hi[7] = {};
    for (int k = 0; k < 7; ++k)
        kRangeGetters[k](m, &lo[k], &hi[k]);
    std::vector<MorvexInputRecord> states;
    for (int i = 0; i < count; ++i) {
        // Range k at position t in [-0.1, 1.4], beyond the upper end from 1 on;
        // different strides per field, so the fields do not move in step.
        const auto x = [&](int k, int stride) {
            return lo[k] + (hi[k] - lo[k]) * (((i * stride) % 31) / 20.0 - 0.1);
        };
        MorvexInputRecord in;
        Morvex_SetNodalInput(&in, x(0, 7), x(1, 11), x(2, 13), x(2, 3), x(3, 17), (i % 9) / 8.0,
                             (i % 3) * 0.5);
        Morvex_SetSystemInput(&in, i % 2, x(4, 5), x(5, 19), x(6, 23), i % 3 == 1 ? 1u : 0u);
        states.push_back(in);
    }
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    MorvexInputRecord awkward;
    Morvex_SetNodalInput(&awkward, nan, inf, -inf, nan, inf, nan, nan);
    Morvex_SetSystemInput(&awkward, 1, nan, inf, -inf, 1);
    states.push_back(awkward);
    return states;
}

std::vector<Answer> answerEverything(const MorvexModule* m, const MorvexInputRecord& in,
                                     const QueryArguments& a) {
    std::vector<Answer> out;
    // `call` gets two out-parameters, the first starting at `first`.
    const auto ask = [&](const char* query, double first, auto call, bool isFlag = false) {
        double v[2] = {first, a.start};
        const uint64_t before[2] = {bitsOf(v[0]), bitsOf(v[1])};
        const uint32_t result = call(v);
        out.push_back(
            {query, result, {before[0], before[1]}, {bitsOf(v[0]), bitsOf(v[1])}, isFlag});
    };
    // An availability check stores an integer; it starts at 9.
    const auto flag = [&](const char* query, auto check) {
        ask(
            query, 9.0,
            [&](double* v) {
                uint32_t available = 9;
                const uint32_t result = check(&available);
                v[0] = available;
                return result;
            },
            true);
    };
    for (uint32_t i = 0; i <= 13; ++i) {
        const uint32_t id = i == 13 ? a.packageId : i;
        ask("GetPackageValue", a.start,
            [&](double* v) { return Morvex_GetPackageValue(m, in, id, v); });
        ask("GetPackageAverage", a.start,
            [&](double* v) { return Morvex_GetPackageAverage(m, in, id, v); });
        flag("CheckPackageAvailability",
             [&](uint32_t* f) { return Morvex_CheckPackageAvailability(m, id, f); });
    }
    flag("CheckProductionPackageAvailability",
         [&](uint32_t* f) { return Morvex_CheckProductionPackageAvailability(m, f); });
    ask("GetSurfaceRoughness", a.start,
        [&](double* v) { return Morvex_GetSurfaceRoughness(m, in, a.bound, v); });
    ask("GetRealContactArea", a.start,
        [&](double* v) { return Morvex_GetRealContactArea(m, in, a.previous, v); });
    ask("GetHistoryParameter", a.start,
        [&](double* v) { return Morvex_GetHistoryParameter(m, in, a.previous, v); });
    ask("GetSpotLubeIndicator", a.start,
        [&](double* v) { return Morvex_GetSpotLubeIndicator(m, in, a.bound, v); });
    ask("GetGallingIndicator", a.accumulated,
        [&](double* v) { return Morvex_GetGallingIndicator(m, in, a.bound, 0.0, v); });
    ask("GetWearIndicator", a.accumulated,
        [&](double* v) { return Morvex_GetWearIndicator(m, in, a.bound, 0.0, v); });
    ask("GetHeatTransferCoefficient", a.start,
        [&](double* v) { return Morvex_GetHeatTransferCoefficient(m, in, a.bound, v); });
    ask("GetLubricationAmount", a.start,
        [&](double* v) { return Morvex_GetLubricationAmount(m, in, a.bound, &v[0], &v[1]); });
    ask("GetProductionVolume", a.start, [&](double* v) {
        return Morvex_GetProductionVolume(m, in, &a.firstLimit, &a.secondLimit, v);
    });
    for (auto get : kRangeGetters)
        ask("range getter", a.start, [&](double* v) { return get(m, &v[0], &v[1]); });
    return out;
}

}  // namespace mx::test
