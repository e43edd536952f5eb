#include "fuzz_support.h"

#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <vector>

#include "api/module.h"
#include "io/dispatch.h"

namespace mxfuzz {

namespace {

// A quiet NaN with a payload no computation produces: the value an
// out-parameter holds before a call.
double sentinel() {
    const uint64_t bits = 0x7FF8DEADBEEF0001ull;
    double v;
    std::memcpy(&v, &bits, sizeof v);
    return v;
}

bool sameBits(const double* a, const double* b, size_t n) {
    return std::memcmp(a, b, n * sizeof(double)) == 0;
}

// Runs one query twice from the same start values. Both runs must agree bit
// for bit (no uninitialized or shared state), the result must be 0 or 1, and a
// failed query must leave its out-parameters as they were.
template <size_t N, typename Call>
void checkQuery(const char* name, const double (&start)[N], Call call) {
    double first[N], second[N];
    std::memcpy(first, start, sizeof first);
    std::memcpy(second, start, sizeof second);
    const uint32_t r1 = call(first);
    const uint32_t r2 = call(second);
    char message[160];
    if (r1 > 1) {
        std::snprintf(message, sizeof message, "%s returned %u", name, r1);
        fail(message);
    }
    if (r1 != r2 || !sameBits(first, second, N)) {
        std::snprintf(message, sizeof message, "%s gave two answers to one question", name);
        fail(message);
    }
    if (r1 == 0 && !sameBits(first, start, N)) {
        std::snprintf(message, sizeof message, "%s failed but wrote its out-parameter", name);
        fail(message);
    }
}

void checkTerminated(const uint16_t* s, const char* what) {
    if (s == nullptr) fail(what);
    for (int i = 0; i <= 1000; ++i) {
        if (s[i] == 0) return;
    }
    fail(what);
}

void readPropertyList(const MorvexModule* m,
                      uint32_t (*get)(const MorvexModule*, const MorvexProperty**, uint32_t*)) {
    const MorvexProperty* properties = nullptr;
    uint32_t count = 0;
    if (get(m, &properties, &count) != 1) fail("property getter failed");
    if (count != 0 && properties == nullptr) fail("property list without an array");
    for (uint32_t i = 0; i < count; ++i) {
        checkTerminated(properties[i].key, "property key not terminated");
        checkTerminated(properties[i].value, "property value not terminated");
    }
}

using RangeGetter = uint32_t (*)(const MorvexModule*, double*, double*);

void readRange(const MorvexModule* m, RangeGetter get) {
    const double start[2] = {sentinel(), sentinel()};
    checkQuery("range getter", start, [&](double* out) { return get(m, &out[0], &out[1]); });
}

// Values a contact-state field is drawn from: the module's own nodes and
// range ends (where brackets collapse and fractions hit 0 or 1), their
// midpoints, and values that break naive arithmetic.
struct Palette {
    std::vector<double> values;

    void add(double v) { values.push_back(v); }
    void addRange(double lo, double hi) {
        add(lo);
        add(hi);
        add(lo + (hi - lo) / 2);
        add(std::nextafter(lo, -INFINITY));
        add(std::nextafter(hi, INFINITY));
    }
    void addAxis(const std::vector<double>& axis) {
        for (size_t i = 0; i < axis.size() && i < 8; ++i) {
            add(axis[i]);
            if (i + 1 < axis.size()) add(axis[i] + (axis[i + 1] - axis[i]) / 3);
        }
    }
};

const double kAwkward[] = {std::numeric_limits<double>::quiet_NaN(),
                           -std::numeric_limits<double>::quiet_NaN(),
                           INFINITY,
                           -INFINITY,
                           0.0,
                           -0.0,
                           DBL_MAX,
                           -DBL_MAX,
                           DBL_MIN,
                           std::numeric_limits<double>::denorm_min(),
                           1.0,
                           -1.0,
                           0.5,
                           1e300,
                           -1e300,
                           9.2233720368547758e18};

double choose(FuzzedDataProvider& choices, const Palette& palette) {
    const uint8_t selector = choices.ConsumeIntegral<uint8_t>();
    if (selector < 64) return kAwkward[selector % std::size(kAwkward)];
    if (selector < 192 && !palette.values.empty()) {
        return palette.values[selector % palette.values.size()];
    }
    const uint64_t bits = choices.ConsumeIntegral<uint64_t>();
    double v;
    std::memcpy(&v, &bits, sizeof v);
    return v;
}

uint32_t choosePackageId(FuzzedDataProvider& choices) {
    const uint8_t selector = choices.ConsumeIntegral<uint8_t>();
    if (selector < 13) return selector;
    if (selector < 16) return 0xFFFFFFFFu - selector;
    return selector % 12;
}

void queryOnce(const MorvexModule* m, FuzzedDataProvider& choices) {
    Palette pressure, strain, temperature, velocity, state, sheet, lube, tool, plain;
    pressure.addRange(m->pressureMin, m->pressureMax);
    strain.addRange(m->strainMin, m->strainMax);
    temperature.addRange(m->temperatureMin, m->temperatureMax);
    velocity.addRange(m->velocityMin, m->velocityMax);
    state.addAxis(m->stateAxis);
    sheet.addAxis(m->sheetRoughnessValues);
    sheet.add(m->nominalSheetRoughness);
    lube.addAxis(m->lubricationAmountValues);
    lube.add(m->nominalLubricationAmount);
    tool.addAxis(m->toolRoughnessValues);
    tool.add(m->nominalToolRoughness);
    plain.add(0.0);
    plain.add(1.0);
    plain.add(0.25);

    MorvexInputRecord in;
    const double sheetT = choose(choices, temperature);
    const double toolT = choices.ConsumeBool() ? sheetT : choose(choices, temperature);
    Morvex_SetNodalInput(&in, choose(choices, pressure), choose(choices, strain), sheetT, toolT,
                         choose(choices, velocity), choose(choices, plain), choose(choices, state));
    const uint32_t useDirection = choices.ConsumeBool() ? 1u : choices.ConsumeIntegral<uint32_t>();
    const uint32_t temperatureMode = choices.ConsumeIntegral<uint8_t>() % 3;
    Morvex_SetSystemInput(&in, useDirection, choose(choices, sheet), choose(choices, lube),
                          choose(choices, tool), temperatureMode);

    const uint32_t id = choosePackageId(choices);
    const double bound = choose(choices, plain);
    const double previous = choose(choices, plain);
    const double firstLimit = choose(choices, plain), secondLimit = choose(choices, plain);
    const double one[1] = {sentinel()};
    const double two[2] = {sentinel(), sentinel()};
    const double accumulator[1] = {choose(choices, plain)};

    for (uint32_t each = 0; each <= 12; ++each) {
        checkQuery("GetPackageValue", one,
                   [&](double* out) { return Morvex_GetPackageValue(m, in, each, out); });
    }
    checkQuery("GetPackageValue", one,
               [&](double* out) { return Morvex_GetPackageValue(m, in, id, out); });
    checkQuery("GetPackageAverage", one,
               [&](double* out) { return Morvex_GetPackageAverage(m, in, id, out); });
    checkQuery("GetSurfaceRoughness", one,
               [&](double* out) { return Morvex_GetSurfaceRoughness(m, in, bound, out); });
    checkQuery("GetRealContactArea", one,
               [&](double* out) { return Morvex_GetRealContactArea(m, in, previous, out); });
    checkQuery("GetHistoryParameter", one,
               [&](double* out) { return Morvex_GetHistoryParameter(m, in, previous, out); });
    checkQuery("GetLubricationAmount", two, [&](double* out) {
        return Morvex_GetLubricationAmount(m, in, bound, &out[0], &out[1]);
    });
    checkQuery("GetSpotLubeIndicator", one,
               [&](double* out) { return Morvex_GetSpotLubeIndicator(m, in, bound, out); });
    checkQuery("GetGallingIndicator", accumulator,
               [&](double* out) { return Morvex_GetGallingIndicator(m, in, bound, 0.0, out); });
    checkQuery("GetWearIndicator", accumulator,
               [&](double* out) { return Morvex_GetWearIndicator(m, in, bound, 0.0, out); });
    checkQuery("GetProductionVolume", one, [&](double* out) {
        return Morvex_GetProductionVolume(m, in, &firstLimit, &secondLimit, out);
    });
    checkQuery("GetHeatTransferCoefficient", one,
               [&](double* out) { return Morvex_GetHeatTransferCoefficient(m, in, bound, out); });

    uint32_t available = 7;
    if (Morvex_CheckPackageAvailability(m, id, &available) != 1 || available > 1) {
        fail("package availability is not 0 or 1");
    }
    if (Morvex_CheckProductionPackageAvailability(m, &available) != 1 || available > 1) {
        fail("production availability is not 0 or 1");
    }
}

}  // namespace

MorvexModule* untouchedHandle() {
    static MorvexModule* const handle = reinterpret_cast<MorvexModule*>(uintptr_t{0xDEAD0});
    return handle;
}

void fail(const char* what) {
    std::fprintf(stderr, "mxfuzz: %s\n", what);
    std::abort();
}

void readEveryProperty(const MorvexModule* m) {
    for (RangeGetter get :
         {Morvex_GetPressureRange, Morvex_GetStrainRange, Morvex_GetTemperatureRange,
          Morvex_GetVelocityRange, Morvex_GetSheetRoughnessRange, Morvex_GetLubricationAmountRange,
          Morvex_GetToolRoughnessRange}) {
        readRange(m, get);
    }
    double value;
    uint32_t status;
    if (!Morvex_GetNominalSheetRoughness(m, &value) ||
        !Morvex_GetNominalLubricationAmount(m, &value) ||
        !Morvex_GetNominalToolRoughness(m, &value) ||
        !Morvex_GetStrainRougheningStatus(m, &status) ||
        !Morvex_GetStaticFrictionStatus(m, &status) || !Morvex_GetToolWearStatus(m, &status) ||
        !Morvex_GetDirectionDependencyStatus(m, &status) ||
        !Morvex_GetHeatTransferCoefficientStatus(m, &status) ||
        !Morvex_GetIsToolTempEqual(m, &status)) {
        fail("a getter that cannot fail failed");
    }
    const uint16_t* solverId = nullptr;
    if (!Morvex_GetSolverID(m, &solverId)) fail("solver id getter failed");
    checkTerminated(solverId, "solver id not terminated");
    readPropertyList(m, Morvex_GetWorkpieceProperties);
    readPropertyList(m, Morvex_GetLubricantProperties);
    readPropertyList(m, Morvex_GetToolingProperties);
}

// Reads a blob back. A module whose head is the version block of a module
// record goes the host's way, through Morvex_DeserializeModule; one whose head
// says otherwise (possible for a data file's kind-3 chunk, whose name and
// kind are carried unchecked) can only be read as a module record directly.
MorvexModule* readBack(const MorvexModule* original, const uint8_t* blob, uint64_t length) {
    if (length > INT32_MAX) fail("blob longer than a stream may be");
    const int32_t size = static_cast<int32_t>(length);
    if (original->name == mx::kVersionBlockName && original->formatVersion == mx::kModuleRecord) {
        MorvexModule* reread = untouchedHandle();
        if (!Morvex_DeserializeModule(blob, size, &reread)) {
            fail("a serialized module does not read back");
        }
        return reread;
    }
    mx::ModulePtr slot;
    if (!mx::DispatchRecord(mx::kModuleRecord, blob, size, slot)) {
        fail("a serialized module does not read back as a module record");
    }
    return slot.release();
}

void checkRoundTrip(const MorvexModule* module) {
    uint8_t* first = nullptr;
    uint64_t firstLength = 0;
    if (!Morvex_SerializeModule(module, &first, &firstLength)) fail("serialization failed");
    MorvexModule* reread = readBack(module, first, firstLength);
    uint8_t* second = nullptr;
    uint64_t secondLength = 0;
    if (!Morvex_SerializeModule(reread, &second, &secondLength)) fail("reserialization failed");
    if (secondLength != firstLength || std::memcmp(first, second, firstLength) != 0) {
        fail("serialize, read back, serialize gave different bytes");
    }
    Morvex_FreeBlob(&first);
    Morvex_FreeBlob(&second);
    Morvex_FreeModule(reread);
}

double preparationCost(const MorvexModule* m) {
    double terms = 0;
    for (const auto* entries : {&m->primaryEntries, &m->secondaryEntries}) {
        for (const mx::TableEntry& e : *entries) {
            for (size_t i = 0; i < e.packageData.size(); ++i) {
                const mx::PackageData& pd = e.packageData[i];
                if (pd.gridPointCount == 0 || i == 2 || i == 4) continue;
                const double n = static_cast<double>(pd.gridPointCount);
                const double centres = std::max<double>(1.0, pd.weights.size());
                terms += n * n * n * n * centres;
            }
            // Curve limiting evaluates package 6 once per sample.
            if (!e.curves.empty()) terms += 100.0 * e.curves.front().numerators.size();
        }
    }
    return terms;
}

void queryEverything(const MorvexModule* module, FuzzedDataProvider& choices, int queries) {
    for (int q = 0; q < queries; ++q)
        queryOnce(module, choices);
}

void exerciseModule(MorvexModule* module, const uint8_t* data, size_t size) {
    readEveryProperty(module);
    checkRoundTrip(module);
    FuzzedDataProvider choices(data, size);
    // Unprepared: grid-based queries fail cleanly, averages answer.
    queryEverything(module, choices, 2);
    if (preparationCost(module) > 4e6) return;
    MorvexModule* handle = module;
    Morvex_PrepareSolverData(&handle);
    if (handle != module) fail("preparation replaced the handle");
    queryEverything(module, choices, 4);
    // Preparation limits heat-transfer curves in place; the limited module
    // must still travel.
    checkRoundTrip(module);
}

}  // namespace mxfuzz
