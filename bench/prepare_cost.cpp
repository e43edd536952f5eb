// What a solver process (an MPI rank) pays to get a module ready: wall and
// CPU time of Morvex_DeserializeAndPrepareSolverData (CPU time is what stays
// honest on a shared machine), the heap the module holds before
// and after preparation, and the process's peak resident set. For the data
// file given, or for a large module from the test suite's builder.
//
//   mx_prepare_cost FILE.mxd [--repeats N]
//   mx_prepare_cost --large [--repeats N]
//
// Heap figures come from glibc's allocator statistics (bytes in use), so
// they count exactly what the module allocates; the resident set includes
// the program and the blob. Then the CPU time of one evaluation (package 3
// with the direction blend, over a sweep of pressure and temperature).
#include <malloc.h>
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <vector>

#include "mxplugin/mxplugin.h"
#include "support/module_builder.h"

namespace {

size_t heapInUse() {
    const struct mallinfo2 info = mallinfo2();
    return info.uordblks + info.hblkhd;
}

double peakResidentMiB() {
    struct rusage usage;
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_maxrss) / 1024.0;
}

double mib(size_t bytes) {
    return static_cast<double>(bytes) / (1024.0 * 1024.0);
}

// The large module: 2 x 2 x 2 x 1 conditions, direction dependent (16
// entries), 10 sampled packages each with centre counts cycled over all
// seven centre grids, 10 grid points per axis.
std::vector<uint8_t> largeBlob() {
    mx::test::RepresentativeOptions o;
    o.gridPointCount = 10;
    o.toolRoughnessCount = 2;
    o.stateCount = 1;
    return mx::test::WriteBlob(*mx::test::RepresentativeModule(o));
}

std::vector<uint8_t> fileBlob(const char* path) {
    MorvexModule* m = nullptr;
    if (!Morvex_LoadFile(path, &m) || !m) return {};
    uint8_t* bytes = nullptr;
    uint64_t length = 0;
    std::vector<uint8_t> blob;
    if (Morvex_SerializeModule(m, &bytes, &length)) blob.assign(bytes, bytes + length);
    Morvex_FreeBlob(&bytes);
    Morvex_FreeModule(m);
    return blob;
}

// CPU nanoseconds per Morvex_GetPackageValue of package 3 on a prepared module.
double evaluationNanoseconds(const MorvexModule* m) {
    double p[2], t[2], v[2], sum = 0;
    Morvex_GetPressureRange(m, &p[0], &p[1]);
    Morvex_GetTemperatureRange(m, &t[0], &t[1]);
    Morvex_GetVelocityRange(m, &v[0], &v[1]);
    double sheet = 0, lube = 0, tool = 0;
    Morvex_GetNominalSheetRoughness(m, &sheet);
    Morvex_GetNominalLubricationAmount(m, &lube);
    Morvex_GetNominalToolRoughness(m, &tool);
    MorvexInputRecord in{};
    Morvex_SetSystemInput(&in, 1, sheet, lube, tool, 0);
    constexpr int kCalls = 200000;
    const std::clock_t start = std::clock();
    for (int i = 0; i < kCalls; ++i) {
        const double f = static_cast<double>(i % 1000) / 999.0;
        Morvex_SetNodalInput(&in, p[0] + f * (p[1] - p[0]), 0.0, t[1] - f * (t[1] - t[0]), t[0],
                             0.5 * (v[0] + v[1]), 0.8, 0.0);
        double value = 0;
        if (!Morvex_GetPackageValue(m, in, 3, &value)) return -1;
        sum += value;
    }
    const double seconds = static_cast<double>(std::clock() - start) / CLOCKS_PER_SEC;
    if (sum != sum) return -1;  // a NaN value: no figure (and the results stay used)
    return seconds * 1e9 / kCalls;
}

}  // namespace

int main(int argc, char** argv) {
    const char* input = nullptr;
    int repeats = 3;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--repeats") == 0 && i + 1 < argc)
            repeats = std::max(1, std::atoi(argv[++i]));
        else
            input = argv[i];
    }
    if (!input) {
        std::fprintf(stderr, "usage: mx_prepare_cost (FILE.mxd | --large) [--repeats N]\n");
        return 2;
    }
    const std::vector<uint8_t> blob =
        std::strcmp(input, "--large") == 0 ? largeBlob() : fileBlob(input);
    if (blob.empty()) {
        std::fprintf(stderr, "mx_prepare_cost: cannot load %s\n", input);
        return 1;
    }
    const auto length = static_cast<int32_t>(blob.size());

    // The module as read, before preparation.
    size_t before = heapInUse();
    MorvexModule* m = nullptr;
    if (!Morvex_DeserializeModule(blob.data(), length, &m)) return 1;
    const size_t deserialized = heapInUse() - before;
    Morvex_FreeModule(m);

    double best = 1e300, worst = 0, bestCpu = 1e300;
    size_t prepared = 0;
    for (int r = 0; r < repeats; ++r) {
        before = heapInUse();
        m = nullptr;
        const auto start = std::chrono::steady_clock::now();
        const std::clock_t cpuStart = std::clock();
        const uint32_t ok = Morvex_DeserializeAndPrepareSolverData(blob.data(), length, &m);
        const double cpu = static_cast<double>(std::clock() - cpuStart) / CLOCKS_PER_SEC;
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        prepared = heapInUse() - before;
        Morvex_FreeModule(m);
        if (!ok) {
            std::fprintf(stderr, "mx_prepare_cost: preparation failed\n");
            return 1;
        }
        best = std::min(best, seconds);
        bestCpu = std::min(bestCpu, cpu);
        worst = std::max(worst, seconds);
    }
    std::printf(
        "blob %.3f MiB; module %.3f MiB as read, %.3f MiB prepared; "
        "deserialize and prepare %.4f s CPU, %.4f s wall (best of %d, worst %.4f s); "
        "peak RSS %.1f MiB\n",
        mib(blob.size()), mib(deserialized), mib(prepared), bestCpu, best, repeats, worst,
        peakResidentMiB());

    m = nullptr;
    if (!Morvex_DeserializeAndPrepareSolverData(blob.data(), length, &m)) return 1;
    std::printf("one evaluation (package 3, direction blend) %.0f ns CPU\n",
                evaluationNanoseconds(m));
    Morvex_FreeModule(m);
    return 0;
}
