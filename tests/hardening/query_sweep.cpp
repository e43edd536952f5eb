#include "query_sweep.h"

#include <cmath>
#include <cstring>
#include <limits>

namespace mxtest {

namespace {

uint64_t bitsOf(double v) {
    uint64_t b;
    std::memcpy(&b, &v, sizeof b);
    return b;
}

// Position `t` in [0, 1.5] across [lo, hi]: beyond the upper end from 1 on.
double across(double lo, double hi, double t) {
    return lo + (hi - lo) * t;
}

double axisEnd(uint32_t (*get)(const MorvexModule*, double*, double*), const MorvexModule* m,
               bool upper) {
    double lo = 0.0, hi = 0.0;
    get(m, &lo, &hi);
    return upper ? hi : lo;
}

}  // namespace

std::vector<MorvexInputRecord> spreadStates(const MorvexModule* m, int count) {
    double p0, p1, e0, e1, t0, t1, v0, v1;
    Morvex_GetPressureRange(m, &p0, &p1);
    Morvex_GetStrainRange(m, &e0, &e1);
    Morvex_GetTemperatureRange(m, &t0, &t1);
    Morvex_GetVelocityRange(m, &v0, &v1);
    const double s0 = axisEnd(Morvex_GetSheetRoughnessRange, m, false);
    const double s1 = axisEnd(Morvex_GetSheetRoughnessRange, m, true);
    const double l0 = axisEnd(Morvex_GetLubricationAmountRange, m, false);
    const double l1 = axisEnd(Morvex_GetLubricationAmountRange, m, true);
    const double r0 = axisEnd(Morvex_GetToolRoughnessRange, m, false);
    const double r1 = axisEnd(Morvex_GetToolRoughnessRange, m, true);

    std::vector<MorvexInputRecord> states;
    for (int i = 0; i < count; ++i) {
        // Different strides per field, so the fields do not move in step.
        auto t = [&](int stride) { return ((i * stride) % 31) / 20.0 - 0.1; };
        MorvexInputRecord in;
        Morvex_SetNodalInput(&in, across(p0, p1, t(7)), across(e0, e1, t(11)),
                             across(t0, t1, t(13)), across(t0, t1, t(3)), across(v0, v1, t(17)),
                             (i % 9) / 8.0, (i % 3) * 0.5);
        Morvex_SetSystemInput(&in, i % 2, across(s0, s1, t(5)), across(l0, l1, t(19)),
                              across(r0, r1, t(23)), i % 3 == 1 ? 1u : 0u);
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

std::vector<uint64_t> answerEverything(const MorvexModule* m, const MorvexInputRecord& in) {
    std::vector<uint64_t> out;
    auto record = [&](uint32_t result, std::initializer_list<double> values) {
        out.push_back(result);
        for (double v : values)
            out.push_back(bitsOf(v));
    };
    for (uint32_t id = 0; id <= 12; ++id) {
        double value = -1.0, average = -1.0;
        uint32_t available = 9;
        record(Morvex_GetPackageValue(m, in, id, &value), {value});
        record(Morvex_GetPackageAverage(m, in, id, &average), {average});
        record(Morvex_CheckPackageAvailability(m, id, &available), {double(available)});
    }
    uint32_t production = 9;
    record(Morvex_CheckProductionPackageAvailability(m, &production), {double(production)});
    double a = -1.0, b = -1.0;
    record(Morvex_GetSurfaceRoughness(m, in, 5.0, &a), {a});
    record(Morvex_GetRealContactArea(m, in, 0.1, &a), {a});
    record(Morvex_GetHistoryParameter(m, in, 0.1, &a), {a});
    record(Morvex_GetLubricationAmount(m, in, 1.5, &a, &b), {a, b});
    record(Morvex_GetSpotLubeIndicator(m, in, 2.0, &a), {a});
    a = 0.5;
    record(Morvex_GetGallingIndicator(m, in, 0.25, 0.0, &a), {a});
    a = 0.5;
    record(Morvex_GetWearIndicator(m, in, 0.25, 0.0, &a), {a});
    const double first = 0.3, second = 0.7;
    record(Morvex_GetProductionVolume(m, in, &first, &second, &a), {a});
    record(Morvex_GetHeatTransferCoefficient(m, in, 2.0, &a), {a});
    return out;
}

}  // namespace mxtest
