// Preparation throughput of every grid sampling kernel this machine runs,
// against the machine's own peak rate of vector square roots.
//
// One binary measures both: the peak with a kernel of independent square
// roots of the widest vector width the CPU offers, and the preparation of a
// large module (about 1.1e9 terms: 40 models, centre counts cycled over all
// seven centre grids, 10 grid points per axis, every fourth model 5) with
// each kernel forced in turn. Times are process CPU time, best of the
// repeats, so that other load on a shared machine inflates them less; peak
// and kernels alternate so that they see the same conditions. Prints terms
// per second, percent of peak and speed-up over the straightforward loop,
// and checks that every kernel gives the reference grids bit for bit.
//
//   mx_prepare_throughput [--repeats N] [--models N]
#include <immintrin.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <random>
#include <string>
#include <vector>

#include "model/module.h"
#include "solver/grid_kernels.h"
#include "solver/prepare.h"

using namespace mx;

namespace {

double cpuSeconds() {
    return static_cast<double>(std::clock()) / CLOCKS_PER_SEC;
}

// ---- peak square-root rate ----------------------------------------------

// Eight independent registers of square roots per round; the empty asm
// statements keep every result alive and every input opaque, without adding
// instructions, so nothing but the square roots limits the loop.
#define MX_EIGHT(M) M(0) M(1) M(2) M(3) M(4) M(5) M(6) M(7)

__attribute__((target("avx512f"))) void sqrtRoundsAvx512(long rounds) {
#define MX_INIT(k) \
    __m512d x##k = \
        _mm512_set_pd(0.3 + k, 1.7 + k, 2.9 + k, 4.1 + k, 5.3 + k, 6.7 + k, 8.2 + k, 9.9 + k);
    MX_EIGHT(MX_INIT)
#undef MX_INIT
    for (long r = 0; r < rounds; ++r) {
#define MX_SQRT(k)                                         \
    {                                                      \
        __m512d y = _mm512_mask_sqrt_pd(x##k, 0xFF, x##k); \
        __asm__ volatile("" ::"v"(y));                     \
        __asm__ volatile("" : "+v"(x##k));                 \
    }
        MX_EIGHT(MX_SQRT)
#undef MX_SQRT
    }
}

__attribute__((target("avx2"))) void sqrtRoundsAvx2(long rounds) {
#define MX_INIT(k) __m256d x##k = _mm256_set_pd(0.3 + k, 1.7 + k, 2.9 + k, 4.1 + k);
    MX_EIGHT(MX_INIT)
#undef MX_INIT
    for (long r = 0; r < rounds; ++r) {
#define MX_SQRT(k)                         \
    {                                      \
        __m256d y = _mm256_sqrt_pd(x##k);  \
        __asm__ volatile("" ::"x"(y));     \
        __asm__ volatile("" : "+x"(x##k)); \
    }
        MX_EIGHT(MX_SQRT)
#undef MX_SQRT
    }
}

void sqrtRoundsSse2(long rounds) {
#define MX_INIT(k) __m128d x##k = _mm_set_pd(0.3 + k, 1.7 + k);
    MX_EIGHT(MX_INIT)
#undef MX_INIT
    for (long r = 0; r < rounds; ++r) {
#define MX_SQRT(k)                         \
    {                                      \
        __m128d y = _mm_sqrt_pd(x##k);     \
        __asm__ volatile("" ::"x"(y));     \
        __asm__ volatile("" : "+x"(x##k)); \
    }
        MX_EIGHT(MX_SQRT)
#undef MX_SQRT
    }
}

struct PeakKernel {
    const char* name;
    int lanes;
    void (*run)(long);
};

PeakKernel widestPeakKernel() {
    if (GridKernelSupported(GridKernel::Avx512)) return {"512-bit", 8, sqrtRoundsAvx512};
    if (GridKernelSupported(GridKernel::Avx2)) return {"256-bit", 4, sqrtRoundsAvx2};
    return {"128-bit", 2, sqrtRoundsSse2};
}

// Square roots per second, one timed run of about `seconds`.
double peakRate(const PeakKernel& kernel, double seconds) {
    long rounds = 1 << 16;
    for (;;) {
        const double start = cpuSeconds();
        kernel.run(rounds);
        const double elapsed = cpuSeconds() - start;
        if (elapsed >= seconds) return 8.0 * kernel.lanes * static_cast<double>(rounds) / elapsed;
        rounds *= elapsed > seconds / 8 ? 2 : 8;
    }
}

// ---- the module -------------------------------------------------------------

constexpr size_t kPackagesPerEntry = 12;
constexpr size_t kCentreCounts[] = {625, 1000, 1296, 2401, 4096, 6561, 10000};

// `models` sampled models, 10 per entry (package indexes 2 and 4 get none),
// reproducible pseudo-random weights and scales.
Module largeModule(int models, double& terms) {
    Module m;
    std::mt19937_64 rng(2024);
    std::uniform_real_distribution<double> unit(-1.0, 1.0);
    terms = 0;
    int made = 0;
    while (made < models) {
        TableEntry& entry = m.primaryEntries.emplace_back();
        entry.packageData.resize(kPackagesPerEntry);
        for (size_t index = 0; index < kPackagesPerEntry && made < models; ++index) {
            if (index == 2 || index == 4) continue;
            PackageData& model = entry.packageData[index];
            const size_t centres = kCentreCounts[made % std::size(kCentreCounts)];
            model.gridPointCount = made % 4 == 3 ? 5 : 10;
            model.scales = {0.8 + 0.2 * unit(rng), 1.1 + 0.2 * unit(rng), 0.9 + 0.2 * unit(rng),
                            1.3 + 0.2 * unit(rng)};
            model.shape = 0.05 + 0.04 * unit(rng);
            model.offset = unit(rng);
            model.factor = static_cast<uint64_t>(made % 5 == 4 ? -1 : 1);
            model.weights.resize(centres);
            for (double& w : model.weights)
                w = unit(rng);
            const double n = static_cast<double>(model.gridPointCount);
            terms += n * n * n * n * static_cast<double>(centres);
            ++made;
        }
    }
    return m;
}

void clearGrids(Module& m) {
    for (TableEntry& entry : m.primaryEntries) {
        for (PackageData& model : entry.packageData)
            model.gridValues.clear();
    }
}

// CPU seconds of one preparation of every model with `kernel`.
double prepareSeconds(Module& m, GridKernel kernel) {
    clearGrids(m);
    if (!ForceGridKernel(kernel)) return -1;
    GridCache cache;
    const double start = cpuSeconds();
    const bool ok = PrecomputePackageGrids(m.primaryEntries, cache);
    const double elapsed = cpuSeconds() - start;
    ForceGridKernel(std::nullopt);
    if (!ok) {
        std::fprintf(stderr, "preparation failed\n");
        std::exit(1);
    }
    return elapsed;
}

std::vector<std::vector<double>> allGrids(const Module& m) {
    std::vector<std::vector<double>> out;
    for (const TableEntry& entry : m.primaryEntries) {
        for (const PackageData& model : entry.packageData)
            out.push_back(model.gridValues);
    }
    return out;
}

bool sameBits(const std::vector<std::vector<double>>& a,
              const std::vector<std::vector<double>>& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (a[i].size() != b[i].size() ||
            (!a[i].empty() &&
             std::memcmp(a[i].data(), b[i].data(), a[i].size() * sizeof(double)) != 0)) {
            return false;
        }
    }
    return true;
}

int intArgument(int argc, char** argv, const char* name, int fallback) {
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::strcmp(argv[i], name) == 0) return std::max(1, std::atoi(argv[i + 1]));
    }
    return fallback;
}

}  // namespace

int main(int argc, char** argv) {
    const int repeats = intArgument(argc, argv, "--repeats", 3);
    const int models = intArgument(argc, argv, "--models", 40);

    double terms = 0;
    Module m = largeModule(models, terms);
    const PeakKernel peakKernel = widestPeakKernel();
    std::printf("module: %d models, %.3g square-root terms; CPU kernel choice: %s\n", models, terms,
                GridKernelName(ActiveGridKernel()));

    std::vector<GridKernel> kernels;
    for (GridKernel k : kAllGridKernels) {
        if (GridKernelSupported(k)) kernels.push_back(k);
    }

    // The reference once (it is the slow one), the others `repeats` times,
    // each run preceded by a peak measurement.
    std::vector<double> best(kernels.size(), 1e300);
    double peak = 0;
    std::vector<std::vector<double>> reference;
    std::vector<bool> identical(kernels.size(), true);
    for (int r = 0; r < repeats; ++r) {
        for (size_t k = 0; k < kernels.size(); ++k) {
            if (kernels[k] == GridKernel::Reference && r > 0) continue;
            peak = std::max(peak, peakRate(peakKernel, 0.2));
            best[k] = std::min(best[k], prepareSeconds(m, kernels[k]));
            if (kernels[k] == GridKernel::Reference) {
                reference = allGrids(m);
            } else {
                identical[k] = identical[k] && sameBits(allGrids(m), reference);
            }
        }
    }

    std::printf("peak: %.3g square roots/s (%s vectors, independent)\n\n", peak, peakKernel.name);
    std::printf("%-10s %10s %14s %10s %10s %10s\n", "kernel", "seconds", "terms/s", "% of peak",
                "speed-up", "grids");
    const double referenceSeconds = best[0];
    bool allIdentical = true;
    for (size_t k = 0; k < kernels.size(); ++k) {
        const double rate = terms / best[k];
        allIdentical = allIdentical && identical[k];
        std::printf("%-10s %10.3f %14.4g %9.1f%% %9.2fx %10s\n", GridKernelName(kernels[k]),
                    best[k], rate, 100.0 * rate / peak, referenceSeconds / best[k],
                    kernels[k] == GridKernel::Reference ? "reference"
                    : identical[k]                      ? "identical"
                                                        : "DIFFERENT");
    }
    return allIdentical ? 0 : 1;
}
