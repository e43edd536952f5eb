// Per-call cost of every evaluation export on prepared modules, against a
// minimal kernel in this binary that reads the same cells and grid corners and
// does the same operations in the same order over plain arrays, each distinct
// cell once and the transverse data only where it differs from the primary.
//
// Streams of contact states are generated before timing; for every module,
// stream and query the library and the kernel are first run over the whole
// stream and must agree in every bit (result code and out-parameters), then
// both are timed in CPU time of the calling thread (alternating, best of a few
// rounds), and the library again on two threads at once. Prints CPU ns per
// call, the ratio to the kernel, the two-thread scaling (1-thread CPU time
// over per-thread CPU time with two threads, times two) and the allocations
// per call. Exit status 1 when any result differs.
//
// Usage: mx_eval_bench [--states N] [--rounds R] [--demo PATH] [--quick]
#include <time.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <new>
#include <string>
#include <thread>
#include <vector>

#include "module/finalize.h"
#include "mxplugin/mxplugin.h"
#include "support/module_builder.h"

// ---- Allocation count: every operator new of the process ----

namespace {
std::atomic<uint64_t> gAllocations{0};
}

void* operator new(std::size_t size) {
    gAllocations.fetch_add(1, std::memory_order_relaxed);
    if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
    throw std::bad_alloc();
}
void* operator new[](std::size_t size) {
    return operator new(size);
}
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete[](void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}
void operator delete[](void* p, std::size_t) noexcept {
    std::free(p);
}

using namespace mx;

namespace {

double threadCpuNs() {
    timespec ts;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) * 1e9 + static_cast<double>(ts.tv_nsec);
}

// ---- The minimal kernel ----

constexpr uint32_t kIndexOfId[12] = {5, 4, 2, 1, 0, 3, 6, 7, 8, 9, 10, 11};

// One data set as plain arrays: per package index a grid pointer and a
// constant term per table cell, per cell the first heat-transfer curve.
struct RefSet {
    std::vector<const double*> grid[12];
    std::vector<double> offset[12];
    std::vector<const double*> divisors, numerators, offsets;
};

struct Ref {
    double lo[4], hi[4];  // pressure, strain, temperature, velocity ranges
    std::vector<double> axis[4];
    size_t lubeCount, toolCount, stateCount;
    int32_t n[12];
    double spacing[12][4];
    int32_t heatN;
    double heatSpacing;
    RefSet set[2];
    bool gridDiffers[12], offsetDiffers[12];
    bool directional;
    bool available[12];  // by package id
    bool heat;
};

struct Br {
    int32_t lo, hi;
};

bool refBracket(double x, const std::vector<double>& a, Br& b) {
    const auto n = static_cast<int32_t>(a.size());
    double y = x;
    if (a[0] > x) y = a[0];
    if (a[n - 1] < y) y = a[n - 1];
    int32_t lo = -1, hi = -1;
    for (int32_t i = 0; i < n; ++i) {
        if (a[i] == y) {
            b = {i, i};
            return true;
        }
        if (a[i] < y) {
            lo = i;
        } else if (a[i] > y && hi < 0) {
            hi = i;
        }
    }
    b = {lo, hi};
    return lo >= 0 && hi >= 0;
}

double refFraction(double x, double a, double b) {
    const double w = b - a;
    return w == 0.0 ? 0.0 : (x - a) / w;
}

double lerp(double t, double upper, double lower) {
    return t * upper + (1.0 - t) * lower;
}

double reduce16(double* v, const double* f) {
    for (int h = 8, k = 0; h >= 1; h /= 2, ++k)
        for (int i = 0; i < h; ++i)
            v[i] = lerp(f[k], v[i + h], v[i]);
    return v[0];
}

double clampTo(double x, double lo, double hi) {
    if (lo > x) x = lo;
    if (x > hi) x = hi;
    return x;
}

Br gridBr(double x, double origin, int32_t n, double s) {
    const double q = (x - origin) / s;
    int32_t lo = 0;
    if (q >= n) {
        lo = n - 1;
    } else if (q > 0.0) {
        lo = static_cast<int32_t>(q);
    }
    return {lo, lo + 1 < n ? lo + 1 : n - 1};
}

// Where the contact state stands among the table cells: the cell of each of
// the 16 condition corners, which corners repeat a lower one, the fractions.
struct RefCells {
    size_t cell[16];
    int repeat;  // corner bits of collapsed brackets
    double f[4];
};

bool refCells(const Ref& r, const InputRecord& in, RefCells& c) {
    const double x[4] = {in.sheetRoughness, in.lubricationAmount, in.toolRoughness, in.stateValue};
    Br b[4];
    for (int a = 0; a < 4; ++a)
        if (!refBracket(x[a], r.axis[a], b[a])) return false;
    c.repeat = 0;
    for (int a = 0; a < 4; ++a) {
        c.f[a] = refFraction(x[a], r.axis[a][b[a].lo], r.axis[a][b[a].hi]);
        if (b[a].lo == b[a].hi) c.repeat |= 8 >> a;
    }
    for (int k = 0; k < 16; ++k) {
        const size_t i = (k & 8) ? b[0].hi : b[0].lo, j = (k & 4) ? b[1].hi : b[1].lo;
        const size_t t = (k & 2) ? b[2].hi : b[2].lo, l = (k & 1) ? b[3].hi : b[3].lo;
        c.cell[k] = ((i * r.lubeCount + j) * r.toolCount + t) * r.stateCount + l;
    }
    return true;
}

double refSetValue(const std::vector<const double*>& grids, const RefCells& c, const int* off,
                   const double* gf) {
    double corners[16];
    for (int k = 0; k < 16; ++k) {
        if (k & c.repeat) {
            corners[k] = corners[k & ~c.repeat];
            continue;
        }
        const double* g = grids[c.cell[k]];
        double v[16];
        for (int q = 0; q < 16; ++q)
            v[q] = g[off[q]];
        corners[k] = reduce16(v, gf);
    }
    return reduce16(corners, c.f);
}

double blend(double p, double s, double d) {
    if (p == s) return p;
    const double w = d * d;
    return (1.0 - w) * s + w * p;
}

// Package `index` on data set `s` (or both, blended) at the contact state.
bool refPackage(const Ref& r, const InputRecord& in, uint32_t index, int onlySet, double& out) {
    RefCells c;
    if (!refCells(r, in, c)) return false;
    const double sheetT = clampTo(in.sheetTemperature, r.lo[2], r.hi[2]);
    const double x[4] = {
        clampTo(in.pressure, r.lo[0], r.hi[0]), clampTo(in.strain, r.lo[1], r.hi[1]),
        in.temperatureMode == 1 ? (sheetT + clampTo(in.toolTemperature, r.lo[2], r.hi[2])) * 0.5
                                : sheetT,
        clampTo(in.velocity, r.lo[3], r.hi[3])};
    const int32_t n = r.n[index];
    const int32_t stride[4] = {1, n, n * n, n * n * n};
    int32_t ends[4][2];
    double gf[4];
    for (int a = 0; a < 4; ++a) {
        const double s = r.spacing[index][a];
        const Br g = gridBr(x[a], r.lo[a], n, s);
        gf[a] = refFraction(x[a] - r.lo[a], g.lo * s, g.hi * s);
        ends[a][0] = g.lo * stride[a];
        ends[a][1] = g.hi * stride[a];
    }
    int off[16];
    for (int q = 0; q < 16; ++q)
        off[q] = ends[0][q >> 3 & 1] + ends[1][q >> 2 & 1] + ends[2][q >> 1 & 1] + ends[3][q & 1];
    if (onlySet >= 0) {
        out = refSetValue(r.set[onlySet].grid[index], c, off, gf);
        return true;
    }
    const double p = refSetValue(r.set[0].grid[index], c, off, gf);
    double s = p;
    if (in.useDirectionDependency != 0 && r.directional && r.gridDiffers[index])
        s = refSetValue(r.set[1].grid[index], c, off, gf);
    out = blend(p, s, in.directionCosine);
    return true;
}

bool refValue(const Ref& r, const InputRecord& in, uint32_t id, double& out) {
    return r.available[id] && refPackage(r, in, kIndexOfId[id], -1, out);
}

bool refAverage(const Ref& r, const InputRecord& in, uint32_t id, double& out) {
    if (!r.available[id]) return false;
    const uint32_t index = kIndexOfId[id];
    const double x[3] = {in.sheetRoughness, in.lubricationAmount, in.toolRoughness};
    Br b[3];
    double f[3];
    for (int a = 0; a < 3; ++a) {
        if (!refBracket(x[a], r.axis[a], b[a])) return false;
        f[a] = refFraction(x[a], r.axis[a][b[a].lo], r.axis[a][b[a].hi]);
    }
    const auto value = [&](const RefSet& s) {
        const std::vector<double>& offsets = s.offset[index];
        double v[8];
        for (int k = 0; k < 8; ++k) {
            const size_t i = (k & 4) ? b[0].hi : b[0].lo, j = (k & 2) ? b[1].hi : b[1].lo;
            const size_t t = (k & 1) ? b[2].hi : b[2].lo;
            v[k] = offsets[((i * r.lubeCount + j) * r.toolCount + t) * r.stateCount];
        }
        for (int h = 4, a = 0; h >= 1; h /= 2, ++a)
            for (int i = 0; i < h; ++i)
                v[i] = lerp(f[a], v[i + h], v[i]);
        return v[0];
    };
    const double p = value(r.set[0]);
    double s = p;
    if (in.useDirectionDependency != 0 && r.directional && r.offsetDiffers[index])
        s = value(r.set[1]);
    out = blend(p, s, in.directionCosine);
    return true;
}

void lowPressure(const Ref& r, const InputRecord& in, double base, double& v) {
    const double p = std::fabs(in.pressure);
    if (r.lo[0] > p && r.lo[0] != 0.0) v = (v - base) * (p / r.lo[0]) + base;
}

// The heat-transfer formula of data set `s`, interpolated over the cells.
double refFormula(const Ref& r, const InputRecord& in, const RefSet& s, const RefCells& c,
                  double x) {
    const double T = clampTo(in.sheetTemperature, r.lo[2], r.hi[2]);
    const double sp = r.heatSpacing;
    const Br g = gridBr(T, r.lo[2], r.heatN, sp);
    const double t = refFraction(T - r.lo[2], g.lo * sp, g.hi * sp);
    double corners[16];
    for (int k = 0; k < 16; ++k) {
        if (k & c.repeat) {
            corners[k] = corners[k & ~c.repeat];
            continue;
        }
        const size_t cell = c.cell[k];
        const auto at = [&](int32_t j) {
            const double d = s.divisors[cell][j];
            return s.numerators[cell][j] / (d > x ? d : x) + s.offsets[cell][j];
        };
        corners[k] = t * at(g.hi) + (1.0 - t) * at(g.lo);
    }
    return reduce16(corners, c.f);
}

bool refHeatSet(const Ref& r, const InputRecord& in, int set, const RefCells& c, double x,
                double& out) {
    const double a = refFormula(r, in, r.set[set], c, x);
    if (!(in.pressure > 0.0 && r.lo[0] > in.pressure)) {
        out = a;
        return true;
    }
    InputRecord atMinimum = in;
    atMinimum.pressure = r.lo[0];
    double b;
    if (!refPackage(r, atMinimum, 6, set, b)) return false;
    const double t = refFraction(in.pressure, 0.0, r.lo[0]);
    out = t * b + (1.0 - t) * a;
    return true;
}

bool refHeat(const Ref& r, const InputRecord& in, double x, double& out) {
    if (!r.heat) return false;
    if (!(x > 0.0 || r.lo[0] > in.pressure)) return refValue(r, in, 6, out);
    RefCells c;
    if (!refCells(r, in, c)) return false;
    double p, s;
    if (!refHeatSet(r, in, 0, c, x, p)) return false;
    s = p;
    if (in.useDirectionDependency != 0 && r.directional && !refHeatSet(r, in, 1, c, x, s))
        return false;
    out = blend(p, s, in.directionCosine);
    return true;
}

// The kernel's arrays, read from a prepared module. Aborts on a module whose
// cells do not all carry the same grid shape: the kernel makes no checks.
Ref buildRef(const Module& m) {
    Ref r{};
    r.lo[0] = m.pressureMin, r.hi[0] = m.pressureMax;
    r.lo[1] = m.strainMin, r.hi[1] = m.strainMax;
    r.lo[2] = m.temperatureMin, r.hi[2] = m.temperatureMax;
    r.lo[3] = m.velocityMin, r.hi[3] = m.velocityMax;
    r.axis[0] = m.sheetRoughnessValues;
    r.axis[1] = m.lubricationAmountValues;
    r.axis[2] = m.toolRoughnessValues;
    r.axis[3] = m.stateAxis;
    r.lubeCount = m.lubricationAmountValues.size();
    r.toolCount = m.toolRoughnessValues.size();
    r.stateCount = m.stateAxis.size();
    r.directional = m.directionDependency != 0;
    r.heat = m.heatTransferStatus != 0;
    for (uint32_t id = 0; id < 12; ++id) {
        uint32_t a = 0;
        Morvex_CheckPackageAvailability(&m, id, &a);
        r.available[id] = a != 0;
    }
    const EntryTable* tables[2] = {&m.primaryTable, &m.secondaryTable};
    const std::vector<TableEntry>* entries[2] = {&m.primaryEntries, &m.secondaryEntries};
    const size_t cells = m.primaryTable.cells.size();
    const int sets = r.directional ? 2 : 1;
    for (int s = 0; s < sets; ++s) {
        RefSet& rs = r.set[s];
        for (size_t cell = 0; cell < cells; ++cell) {
            const int32_t e = tables[s]->cells[cell];
            if (e == kNoEntry) {
                std::fprintf(stderr, "module has an unmatched cell\n");
                std::exit(2);
            }
            const TableEntry& entry = (*entries[s])[static_cast<size_t>(e)];
            for (size_t p = 0; p < 12 && p < entry.packageData.size(); ++p) {
                const PackageData& pd = entry.packageData[p];
                rs.grid[p].push_back(pd.gridValues.empty() ? nullptr : pd.gridValues.data());
                rs.offset[p].push_back(pd.offset);
                if (cell == 0 && s == 0) {
                    r.n[p] = static_cast<int32_t>(pd.gridPointCount);
                    std::memcpy(r.spacing[p], pd.gridSpacing.data(), sizeof r.spacing[p]);
                } else if (!pd.gridValues.empty() &&
                           (r.n[p] != static_cast<int32_t>(pd.gridPointCount) ||
                            std::memcmp(r.spacing[p], pd.gridSpacing.data(), sizeof r.spacing[p]) !=
                                0)) {
                    std::fprintf(stderr, "cells differ in grid shape\n");
                    std::exit(2);
                }
            }
            const HeatTransferCurve* c = entry.curves.empty() ? nullptr : &entry.curves.front();
            rs.divisors.push_back(c ? c->divisors.data() : nullptr);
            rs.numerators.push_back(c ? c->numerators.data() : nullptr);
            rs.offsets.push_back(c ? c->offsets.data() : nullptr);
        }
    }
    const PackageData& heatModel = m.primaryEntries.front().packageData[6];
    r.heatN = static_cast<int32_t>(heatModel.gridPointCount);
    r.heatSpacing = heatModel.gridSpacing[2];
    for (size_t p = 0; p < 12; ++p) {
        r.gridDiffers[p] = r.offsetDiffers[p] = r.directional;
        if (!r.directional) continue;
        bool sameGrid = true, sameOffset = true;
        const size_t count = static_cast<size_t>(r.n[p]) * r.n[p] * r.n[p] * r.n[p];
        for (size_t cell = 0; cell < cells; ++cell) {
            const double* a = r.set[0].grid[p][cell];
            const double* b = r.set[1].grid[p][cell];
            sameGrid = sameGrid && (a == b || (a && b && !std::memcmp(a, b, count * 8)));
            sameOffset =
                sameOffset && !std::memcmp(&r.set[0].offset[p][cell], &r.set[1].offset[p][cell], 8);
        }
        r.gridDiffers[p] = !sameGrid;
        r.offsetDiffers[p] = !sameOffset;
    }
    return r;
}

// ---- Queries: the export and the kernel side by side ----

// What one call gives: its result code and the bits of its out-parameters.
struct Outcome {
    uint32_t result;
    double a, b;
};

using Call = Outcome (*)(const Module*, const Ref&, const InputRecord&);

struct Query {
    const char* name;
    Call library;
    Call kernel;
};

constexpr double kBound = 1e300, kPrevious = 0.1, kAccumulator = 0.5, kScale = 0.25;
constexpr double kFirstLimit = 0.3, kSecondLimit = 0.7, kDivisor = 1.5;

Outcome libValue(const Module* m, const Ref&, const InputRecord& in) {
    Outcome o{0, 0, 0};
    o.result = Morvex_GetPackageValue(m, in, 0, &o.a);
    return o;
}
Outcome refValueCall(const Module*, const Ref& r, const InputRecord& in) {
    Outcome o{0, 0, 0};
    o.result = refValue(r, in, 0, o.a);
    return o;
}
Outcome libAverage(const Module* m, const Ref&, const InputRecord& in) {
    Outcome o{0, 0, 0};
    o.result = Morvex_GetPackageAverage(m, in, 0, &o.a);
    return o;
}
Outcome refAverageCall(const Module*, const Ref& r, const InputRecord& in) {
    Outcome o{0, 0, 0};
    o.result = refAverage(r, in, 0, o.a);
    return o;
}
Outcome libRoughness(const Module* m, const Ref&, const InputRecord& in) {
    Outcome o{0, 0, 0};
    o.result = Morvex_GetSurfaceRoughness(m, in, kBound, &o.a);
    return o;
}
Outcome refRoughness(const Module*, const Ref& r, const InputRecord& in) {
    Outcome o{0, 0, 0};
    double v;
    if (!refValue(r, in, 0, v)) return o;
    lowPressure(r, in, in.sheetRoughness, v);
    o.a = v > kBound ? kBound : v;
    o.result = 1;
    return o;
}
Outcome libArea(const Module* m, const Ref&, const InputRecord& in) {
    Outcome o{0, 0, 0};
    o.result = Morvex_GetRealContactArea(m, in, kPrevious, &o.a);
    return o;
}
Outcome refArea(const Module*, const Ref& r, const InputRecord& in) {
    Outcome o{0, 0, 0};
    double v;
    if (!refValue(r, in, 4, v)) return o;
    if (0.0 > v) v = 0.0;
    lowPressure(r, in, 0.0, v);
    o.a = kPrevious > v ? kPrevious : v;
    o.result = 1;
    return o;
}
Outcome libHistory(const Module* m, const Ref&, const InputRecord& in) {
    Outcome o{0, 0, 0};
    o.result = Morvex_GetHistoryParameter(m, in, kPrevious, &o.a);
    return o;
}
Outcome refHistory(const Module*, const Ref& r, const InputRecord& in) {
    Outcome o{0, 0, 0};
    double v;
    if (!refValue(r, in, 4, v)) return o;
    o.a = kPrevious > v ? kPrevious : v;
    o.result = 1;
    return o;
}
Outcome libLube(const Module* m, const Ref&, const InputRecord& in) {
    Outcome o{0, 0, 0};
    o.result = Morvex_GetLubricationAmount(m, in, kBound, &o.a, &o.b);
    return o;
}
Outcome refLube(const Module*, const Ref& r, const InputRecord& in) {
    Outcome o{0, 0, 0};
    double v;
    if (!refValue(r, in, 5, v)) return o;
    const double cap = in.lubricationAmount > kBound ? kBound : in.lubricationAmount;
    lowPressure(r, in, in.lubricationAmount, v);
    o.a = v < cap ? v : cap;
    o.b = v > kBound ? kBound : v;
    o.result = 1;
    return o;
}
Outcome libSpot(const Module* m, const Ref&, const InputRecord& in) {
    Outcome o{0, 0, 0};
    o.result = Morvex_GetSpotLubeIndicator(m, in, kBound, &o.a);
    return o;
}
Outcome refSpot(const Module*, const Ref& r, const InputRecord& in) {
    Outcome o{0, 0, 0};
    double v;
    if (!refValue(r, in, 7, v)) return o;
    if (v > kBound) v = kBound;
    o.a = 0.0 > v ? 0.0 : v;
    o.result = 1;
    return o;
}
Outcome libGalling(const Module* m, const Ref&, const InputRecord& in) {
    Outcome o{0, kAccumulator, 0};
    o.result = Morvex_GetGallingIndicator(m, in, kScale, 0.0, &o.a);
    return o;
}
Outcome libWear(const Module* m, const Ref&, const InputRecord& in) {
    Outcome o{0, kAccumulator, 0};
    o.result = Morvex_GetWearIndicator(m, in, kScale, 0.0, &o.a);
    return o;
}
Outcome refIndicator(const Ref& r, const InputRecord& in, uint32_t id) {
    Outcome o{0, kAccumulator, 0};
    double v;
    if (!refValue(r, in, id, v)) return o;
    v = (0.0 > v ? 0.0 : v) * kScale;
    lowPressure(r, in, 0.0, v);
    o.a = o.a + v;
    o.result = 1;
    return o;
}
Outcome refGalling(const Module*, const Ref& r, const InputRecord& in) {
    return refIndicator(r, in, 8);
}
Outcome refWear(const Module*, const Ref& r, const InputRecord& in) {
    return refIndicator(r, in, 9);
}
Outcome libProduction(const Module* m, const Ref&, const InputRecord& in) {
    Outcome o{0, 0, 0};
    const double first = kFirstLimit, second = kSecondLimit;
    o.result = Morvex_GetProductionVolume(m, in, &first, &second, &o.a);
    return o;
}
Outcome refProduction(const Module*, const Ref& r, const InputRecord& in) {
    Outcome o{0, 0, 0};
    double c[2] = {1e7, 1e7};
    const double limits[2] = {kFirstLimit, kSecondLimit};
    for (int k = 0; k < 2; ++k) {
        if (!r.available[10 + k]) continue;
        double v;
        if (!refValue(r, in, 10 + k, v)) return o;
        const double q = v * 1000000.0 / limits[k];
        c[k] = q < 1e7 ? q : 1e7;
    }
    o.a = std::floor(c[1] < c[0] ? c[1] : c[0]);
    o.result = 1;
    return o;
}
Outcome libHeatPackage(const Module* m, const Ref&, const InputRecord& in) {
    Outcome o{0, 0, 0};
    o.result = Morvex_GetHeatTransferCoefficient(m, in, 0.0, &o.a);
    return o;
}
Outcome refHeatPackage(const Module*, const Ref& r, const InputRecord& in) {
    Outcome o{0, 0, 0};
    o.result = refHeat(r, in, 0.0, o.a);
    return o;
}
Outcome libHeatFormula(const Module* m, const Ref&, const InputRecord& in) {
    Outcome o{0, 0, 0};
    o.result = Morvex_GetHeatTransferCoefficient(m, in, kDivisor, &o.a);
    return o;
}
Outcome refHeatFormula(const Module*, const Ref& r, const InputRecord& in) {
    Outcome o{0, 0, 0};
    o.result = refHeat(r, in, kDivisor, o.a);
    return o;
}

const Query kQueries[] = {
    {"package value", libValue, refValueCall},
    {"package average", libAverage, refAverageCall},
    {"surface roughness", libRoughness, refRoughness},
    {"real contact area", libArea, refArea},
    {"history parameter", libHistory, refHistory},
    {"lubrication amount", libLube, refLube},
    {"spot lubrication", libSpot, refSpot},
    {"galling indicator", libGalling, refGalling},
    {"wear indicator", libWear, refWear},
    {"production volume", libProduction, refProduction},
    {"heat transfer (package)", libHeatPackage, refHeatPackage},
    {"heat transfer (formula)", libHeatFormula, refHeatFormula},
};

// ---- Streams of contact states ----

struct Random {
    uint64_t state;
    double uniform(double lo, double hi) {
        uint64_t z = (state += 0x9E3779B97F4A7C15u);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9u;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBu;
        z ^= z >> 31;
        return lo + (hi - lo) * (static_cast<double>(z >> 11) * 0x1.0p-53);
    }
};

struct Stream {
    const char* name;
    std::vector<InputRecord> states;
};

InputRecord stateAt(double p, double s, double t, double v, double d, double sheet, double lube,
                    double tool, double state, uint32_t mode) {
    InputRecord in{};
    Morvex_SetNodalInput(&in, p, s, t, t + 5.0, v, d, state);
    Morvex_SetSystemInput(&in, 1, sheet, lube, tool, mode);
    return in;
}

double axisEnd(const std::vector<double>& a, bool last) {
    return last ? a.back() : a.front();
}

std::vector<Stream> makeStreams(const Module& m, size_t count) {
    const double lo[4] = {m.pressureMin, m.strainMin, m.temperatureMin, m.velocityMin};
    const double hi[4] = {m.pressureMax, m.strainMax, m.temperatureMax, m.velocityMax};
    const std::vector<double>* axes[4] = {&m.sheetRoughnessValues, &m.lubricationAmountValues,
                                          &m.toolRoughnessValues, &m.stateAxis};
    const auto mid = [](double a, double b, double t) { return a + (b - a) * t; };
    std::vector<Stream> streams(4);
    streams[0].name = "one state";
    streams[1].name = "trajectory";
    streams[2].name = "uniform";
    streams[3].name = "nominal";
    Random random{42};
    for (size_t k = 0; k < count; ++k) {
        // The same state over and over: inside every range, between axis nodes.
        double c[4], x[4];
        for (int a = 0; a < 4; ++a) {
            c[a] = mid(axisEnd(*axes[a], false), axisEnd(*axes[a], true), 0.37);
            x[a] = mid(lo[a], hi[a], 0.43);
        }
        streams[0].states.push_back(
            stateAt(x[0], x[1], x[2], x[3], 0.6, c[0], c[1], c[2], c[3], 0));
        // Neighbouring nodes: every coordinate drifts slowly through its range.
        const double phase = static_cast<double>(k) * 1e-4;
        for (int a = 0; a < 4; ++a) {
            x[a] = mid(lo[a], hi[a], 0.5 + 0.49 * std::sin(phase * (1.0 + 0.3 * a)));
            c[a] = mid(axisEnd(*axes[a], false), axisEnd(*axes[a], true),
                       0.5 + 0.5 * std::sin(phase * (0.7 + 0.2 * a)));
        }
        streams[1].states.push_back(
            stateAt(x[0], x[1], x[2], x[3], std::cos(phase), c[0], c[1], c[2], c[3], 0));
        // Anywhere in the ranges and on the axes.
        for (int a = 0; a < 4; ++a) {
            x[a] = random.uniform(lo[a], hi[a]);
            c[a] = random.uniform(axisEnd(*axes[a], false), axisEnd(*axes[a], true));
        }
        const double d = random.uniform(-1.0, 1.0);
        streams[2].states.push_back(stateAt(x[0], x[1], x[2], x[3], d, c[0], c[1], c[2], c[3],
                                            random.uniform(0, 1) < 0.5 ? 0 : 1));
        // Anywhere in the ranges at the nominal surface conditions.
        for (int a = 0; a < 4; ++a)
            x[a] = random.uniform(lo[a], hi[a]);
        streams[3].states.push_back(
            stateAt(x[0], x[1], x[2], x[3], random.uniform(-1.0, 1.0), m.nominalSheetRoughness,
                    m.nominalLubricationAmount, m.nominalToolRoughness,
                    random.uniform(axisEnd(m.stateAxis, false), axisEnd(m.stateAxis, true)), 0));
    }
    return streams;
}

// ---- Modules ----

struct Bench {
    std::string name;
    MorvexModule* module = nullptr;
};

// The solver road: serialize, deserialize and prepare.
MorvexModule* solverModule(const MorvexModule* source) {
    uint8_t* blob = nullptr;
    uint64_t length = 0;
    MorvexModule* m = nullptr;
    if (Morvex_SerializeModule(source, &blob, &length) != 1 ||
        Morvex_DeserializeAndPrepareSolverData(blob, static_cast<int32_t>(length), &m) != 1) {
        std::fprintf(stderr, "module does not prepare\n");
        std::exit(2);
    }
    Morvex_FreeBlob(&blob);
    return m;
}

// 3 x 4 x 3 x 3 cells a data set, grids of 6 points an axis (about 22 MB for
// both data sets); the transverse data repeats the primary models except
// package 0's, as lab data mostly does; nominal conditions on axis nodes.
MorvexModule* largeModule() {
    test::RepresentativeOptions o;
    o.centreCounts = {625};
    o.gridPointCount = 6;
    o.sheetRoughnessCount = 3;
    o.lubricationAmountCount = 4;
    o.toolRoughnessCount = 3;
    o.stateCount = 3;
    ModulePtr m = test::RepresentativeModule(o);
    for (size_t e = 0; e < m->primaryEntries.size(); ++e)
        for (size_t p = 1; p < 12; ++p)
            m->secondaryEntries[e].packageData[p] = m->primaryEntries[e].packageData[p];
    m->nominalSheetRoughness = m->sheetRoughnessValues[1];
    m->nominalLubricationAmount = m->lubricationAmountValues[2];
    m->nominalToolRoughness = m->toolRoughnessValues[1];
    return solverModule(m.get());
}

size_t gridBytes(const Module& m) {
    size_t bytes = 0;
    for (const auto* entries : {&m.primaryEntries, &m.secondaryEntries})
        for (const TableEntry& e : *entries)
            for (const PackageData& pd : e.packageData)
                bytes += pd.gridValues.size() * sizeof(double);
    return bytes;
}

// ---- Timing ----

std::vector<Outcome> runAll(Call call, const Module* m, const Ref& r,
                            const std::vector<InputRecord>& states) {
    std::vector<Outcome> out(states.size());
    for (size_t k = 0; k < states.size(); ++k)
        out[k] = call(m, r, states[k]);
    return out;
}

// CPU ns per call of one pass over the stream; the results feed a sink so
// that no call can be dropped.
double timePass(Call call, const Module* m, const Ref& r, const std::vector<InputRecord>& states,
                double& sink) {
    double acc = 0.0;
    const double start = threadCpuNs();
    for (const InputRecord& in : states) {
        const Outcome o = call(m, r, in);
        acc += o.a + o.result;
    }
    const double ns = threadCpuNs() - start;
    sink += acc;
    return ns / static_cast<double>(states.size());
}

bool sameBits(const Outcome& x, const Outcome& y) {
    return x.result == y.result && std::memcmp(&x.a, &y.a, 8) == 0 &&
           std::memcmp(&x.b, &y.b, 8) == 0;
}

}  // namespace

int main(int argc, char** argv) {
    size_t count = 1000000;
    int rounds = 1;
    bool twoThreads = true;
    std::string demoPath = MX_DEMO_DATA;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--states" && i + 1 < argc) {
            count = std::strtoul(argv[++i], nullptr, 10);
        } else if (arg == "--rounds" && i + 1 < argc) {
            rounds = std::atoi(argv[++i]);
        } else if (arg == "--demo" && i + 1 < argc) {
            demoPath = argv[++i];
        } else if (arg == "--quick") {
            count = 100000;
            rounds = 1;
            twoThreads = false;
        } else {
            std::fprintf(stderr, "usage: %s [--states N] [--rounds R] [--demo PATH] [--quick]\n",
                         argv[0]);
            return 2;
        }
    }
    std::vector<Bench> benches;
    MorvexModule* loaded = nullptr;
    if (Morvex_LoadFile(demoPath.c_str(), &loaded) != 1) {
        std::fprintf(stderr, "cannot load %s\n", demoPath.c_str());
        return 2;
    }
    benches.push_back({"demo", solverModule(loaded)});
    Morvex_FreeModule(loaded);
    {
        const double start = threadCpuNs();
        benches.push_back({"large", largeModule()});
        std::printf("large module built and prepared in %.2f s CPU\n",
                    (threadCpuNs() - start) * 1e-9);
    }
    std::printf("%zu states a stream, best of %d rounds, CPU time of the calling thread\n\n", count,
                rounds);
    bool identical = true;
    double sink = 0.0;
    for (const Bench& b : benches) {
        const Module& m = *b.module;
        const Ref r = buildRef(m);
        int differing = 0;
        for (bool d : r.gridDiffers)
            differing += d;
        std::printf(
            "module %s: %zu x %zu x %zu x %zu cells a data set, %.1f MB of grids, "
            "direction dependency %d, %d of 12 transverse grids differ\n",
            b.name.c_str(), m.sheetRoughnessValues.size(), m.lubricationAmountValues.size(),
            m.toolRoughnessValues.size(), m.stateAxis.size(), gridBytes(m) / 1e6,
            r.directional ? 1 : 0, differing);
        std::printf("%-10s %-24s %9s %9s %7s %9s %7s %8s\n", "stream", "query", "kernel ns",
                    "lib ns", "ratio", "2T lib ns", "scaling", "allocs");
        for (const Stream& s : makeStreams(m, count)) {
            for (const Query& q : kQueries) {
                // Identity over the whole stream before any timing.
                const std::vector<Outcome> lib = runAll(q.library, &m, r, s.states);
                const std::vector<Outcome> ref = runAll(q.kernel, &m, r, s.states);
                size_t bad = 0;
                for (size_t k = 0; k < lib.size(); ++k)
                    bad += !sameBits(lib[k], ref[k]);
                if (bad != 0) {
                    identical = false;
                    std::printf("%-10s %-24s DIFFERS in %zu of %zu calls\n", s.name, q.name, bad,
                                lib.size());
                    continue;
                }
                double kernelNs = 1e300, libNs = 1e300;
                uint64_t allocations = 0;
                for (int round = 0; round < rounds; ++round) {
                    kernelNs = std::min(kernelNs, timePass(q.kernel, &m, r, s.states, sink));
                    const uint64_t before = gAllocations.load();
                    libNs = std::min(libNs, timePass(q.library, &m, r, s.states, sink));
                    allocations += gAllocations.load() - before;
                }
                double twoNs = 0.0;
                if (twoThreads) {
                    double perThread[2], sinks[2] = {0, 0};
                    std::thread t(
                        [&] { perThread[1] = timePass(q.library, &m, r, s.states, sinks[1]); });
                    perThread[0] = timePass(q.library, &m, r, s.states, sinks[0]);
                    t.join();
                    sink += sinks[0] + sinks[1];
                    twoNs = 0.5 * (perThread[0] + perThread[1]);
                }
                std::printf("%-10s %-24s %9.1f %9.1f %7.2f %9.1f %7.2f %8.3f\n", s.name, q.name,
                            kernelNs, libNs, libNs / kernelNs, twoNs,
                            twoThreads ? 2.0 * libNs / twoNs : 0.0,
                            static_cast<double>(allocations) /
                                (static_cast<double>(rounds) * static_cast<double>(count)));
                std::fflush(stdout);
            }
        }
        std::printf("\n");
    }
    for (Bench& b : benches)
        Morvex_FreeModule(b.module);
    std::printf("%s (checksum %g)\n",
                identical ? "every result identical to the kernel" : "RESULTS DIFFER", sink);
    return identical ? 0 : 1;
}
