#include "solver/grid_kernels.h"

#include <atomic>
#include <bit>
#include <memory>
#include <vector>

#include "solver/grid_kernel_args.h"
#include "solver/multiquadric.h"

namespace mx {

namespace {

constexpr bool kX86_64 =
#if defined(__x86_64__) || defined(_M_X64)
    true;
#else
    false;
#endif

// The widest kernel the CPU offers. libgcc's feature detection reports AVX2
// and AVX-512F only when the OS also saves their register state (XGETBV), so
// a kernel chosen here never faults on a system that disabled it.
GridKernel detectGridKernel() {
#if defined(__x86_64__) || defined(_M_X64)
    __builtin_cpu_init();
    if (__builtin_cpu_supports("avx512f")) return GridKernel::Avx512;
    if (__builtin_cpu_supports("avx2")) return GridKernel::Avx2;
#endif
    return GridKernel::Baseline;
}

GridKernel detectedGridKernel() {
    static const GridKernel detected = detectGridKernel();
    return detected;
}

constexpr int kNotForced = -1;
std::atomic<int> forcedKernel{kNotForced};

// The centre grid's values per axis, taken from the centres themselves, when
// the centres are exactly the grid of `dims` (first axis fastest); the kernels
// rely on centre i having the axis values of its grid indexes, bit for bit.
bool takeCentreAxes(const double* centres, const std::array<int32_t, 4>& dims, size_t centreCount,
                    std::array<std::vector<double>, 4>& axes) {
    size_t total = 1;
    for (int32_t d : dims) {
        if (d < 0) return false;
        total *= static_cast<size_t>(d);
    }
    // Without centres the model is its offset; the loop handles that.
    if (total != centreCount || total == 0) return false;
    size_t stride = 1;
    for (int k = 0; k < 4; ++k) {
        axes[k].resize(static_cast<size_t>(dims[k]));
        for (size_t j = 0; j < axes[k].size(); ++j)
            axes[k][j] = centres[4 * (j * stride) + k];
        stride *= static_cast<size_t>(dims[k]);
    }
    const auto same = [](double a, double b) {
        return std::bit_cast<uint64_t>(a) == std::bit_cast<uint64_t>(b);
    };
    const double* z = centres;
    for (double x3 : axes[3]) {
        for (double x2 : axes[2]) {
            for (double x1 : axes[1]) {
                for (double x0 : axes[0]) {
                    if (!same(z[0], x0) || !same(z[1], x1) || !same(z[2], x2) || !same(z[3], x3)) {
                        return false;
                    }
                    z += 4;
                }
            }
        }
    }
    return true;
}

void runKernel(GridKernel kernel, const kernels::SampleArgs& args) {
    switch (kernel) {
        case GridKernel::Reference:
        case GridKernel::Baseline:
            kernels::SampleBaseline(args);
            return;
#if defined(__x86_64__) || defined(_M_X64)
        case GridKernel::Avx2:
            kernels::SampleAvx2(args);
            return;
        case GridKernel::Avx512:
            kernels::SampleAvx512(args);
            return;
#else
        default:
            kernels::SampleBaseline(args);
            return;
#endif
    }
}

}  // namespace

const char* GridKernelName(GridKernel kernel) {
    switch (kernel) {
        case GridKernel::Reference:
            return "reference";
        case GridKernel::Baseline:
            return "baseline";
        case GridKernel::Avx2:
            return "avx2";
        case GridKernel::Avx512:
            return "avx512";
    }
    return "unknown";
}

bool GridKernelSupported(GridKernel kernel) {
    switch (kernel) {
        case GridKernel::Reference:
        case GridKernel::Baseline:
            return true;
        case GridKernel::Avx2:
            return kX86_64 && detectedGridKernel() >= GridKernel::Avx2;
        case GridKernel::Avx512:
            return kX86_64 && detectedGridKernel() >= GridKernel::Avx512;
    }
    return false;
}

GridKernel ActiveGridKernel() {
    const int forced = forcedKernel.load(std::memory_order_relaxed);
    return forced == kNotForced ? detectedGridKernel() : static_cast<GridKernel>(forced);
}

bool ForceGridKernel(std::optional<GridKernel> kernel) {
    if (kernel && !GridKernelSupported(*kernel)) return false;
    forcedKernel.store(kernel ? static_cast<int>(*kernel) : kNotForced, std::memory_order_relaxed);
    return true;
}

void SampleModelOnGrid(const PackageData& model, const double* centres,
                       std::array<int32_t, 4> centreDims, const double* points, int32_t pointCount,
                       double factor, double* out) {
    SampleModelOnGridWith(ActiveGridKernel(), model, centres, centreDims, points, pointCount,
                          factor, out);
}

void SampleModelOnGridWith(GridKernel kernel, const PackageData& model, const double* centres,
                           std::array<int32_t, 4> centreDims, const double* points,
                           int32_t pointCount, double factor, double* out) {
    std::array<std::vector<double>, 4> axes;
    if (!GridKernelSupported(kernel)) kernel = GridKernel::Baseline;
    if (kernel == GridKernel::Reference || pointCount < 1 ||
        !takeCentreAxes(centres, centreDims, model.weights.size(), axes)) {
        EvaluateModelOnGrid(model, centres, points, pointCount, factor, out);
        return;
    }
    kernels::SampleArgs args{};
    for (int k = 0; k < 4; ++k) {
        args.centreAxes[k] = axes[k].data();
        args.centreDims[k] = centreDims[k];
        args.scales[k] = model.scales[k];
    }
    args.weights = model.weights.data();
    args.points = points;
    args.pointCount = pointCount;
    args.shape = model.shape;
    args.offset = model.offset;
    args.factor = factor;
    args.out = out;

    // Scratch aligned for the widest registers.
    constexpr size_t kAlignDoubles = 8;
    const size_t scratchDoubles = kernels::ScratchDoubles(args.centreDims);
    std::vector<double> scratch(scratchDoubles + kAlignDoubles);
    void* aligned = scratch.data();
    size_t space = scratch.size() * sizeof(double);
    args.scratch = static_cast<double*>(std::align(
        kAlignDoubles * sizeof(double), scratchDoubles * sizeof(double), aligned, space));
    runKernel(kernel, args);
}

}  // namespace mx
