// Solver data preparation of representative modules, and package value
// evaluation on a prepared module: the state coordinate on a node (8 cell
// evaluations) or between nodes (16), with and without the direction blend.
#include <benchmark/benchmark.h>

#include "mxplugin/mxplugin.h"
#include "support/module_builder.h"

using namespace mx;
using namespace mx::test;

namespace {

// 12 packages per entry (10 sampled), centre counts cycled over the seven
// centre grids, 5 grid points per axis.
std::vector<uint8_t> preparationBlob(std::vector<size_t> centreCounts, int entriesPerAxis) {
    RepresentativeOptions options;
    options.centreCounts = std::move(centreCounts);
    options.sheetRoughnessCount = entriesPerAxis;
    options.lubricationAmountCount = entriesPerAxis;
    options.stateCount = 1;
    options.directionDependent = false;
    return WriteBlob(*RepresentativeModule(options));
}

void prepare(benchmark::State& state, const std::vector<uint8_t>& blob, double modelPoints) {
    for (auto _ : state) {
        MorvexModule* m = nullptr;
        if (Morvex_DeserializeAndPrepareSolverData(blob.data(), static_cast<int32_t>(blob.size()),
                                                   &m) != 1) {
            state.SkipWithError("preparation failed");
        }
        Morvex_FreeModule(m);
    }
    // One square root per centre and grid point.
    state.counters["sqrt/s"] =
        benchmark::Counter(modelPoints, benchmark::Counter::kIsIterationInvariantRate);
}

void BM_PrepareMixedModule(benchmark::State& state) {
    const std::vector<size_t> counts = {625, 1000, 1296, 2401, 4096, 6561, 10000};
    static const std::vector<uint8_t> blob = preparationBlob(counts, 2);
    // 4 entries x 10 sampled models, centre counts cycled, 625 points each.
    double centres = 0;
    for (size_t model = 0; model < 4 * 12; ++model) {
        const size_t index = model % 12;
        if (index != 2 && index != 4) centres += static_cast<double>(counts[model % counts.size()]);
    }
    prepare(state, blob, centres * 625);
}
BENCHMARK(BM_PrepareMixedModule)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_PrepareOneCentreCount(benchmark::State& state) {
    const auto centres = static_cast<size_t>(state.range(0));
    const std::vector<uint8_t> blob = preparationBlob({centres}, 1);
    prepare(state, blob, 10.0 * static_cast<double>(centres) * 625);
}
BENCHMARK(BM_PrepareOneCentreCount)
    ->Arg(625)
    ->Arg(10000)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);

// A prepared direction-dependent module with two state values (0 and 1).
const MorvexModule& evaluationModule() {
    static const ModulePtr m = [] {
        RepresentativeOptions options;
        options.centreCounts = {625};
        options.gridPointCount = 8;
        options.sheetRoughnessCount = 3;
        options.lubricationAmountCount = 3;
        options.toolRoughnessCount = 2;
        options.stateCount = 2;
        ModulePtr module = RepresentativeModule(options);
        MorvexModule* handle = module.get();
        Morvex_PrepareSolverData(&handle);
        return module;
    }();
    return *m;
}

// args: state value between nodes (0/1), direction blend (0/1).
void BM_GetPackageValue(benchmark::State& state) {
    const MorvexModule& m = evaluationModule();
    const bool between = state.range(0) != 0, blend = state.range(1) != 0;
    MorvexInputRecord in{};
    Morvex_SetNodalInput(&in, 37.5, 0.21, 95.0, 110.0, 240.0, 0.6, between ? 0.4 : 1.0);
    Morvex_SetSystemInput(&in, blend ? 1 : 0, 0.8, 1.7, 0.25, 0);
    double v = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(Morvex_GetPackageValue(&m, in, 0, &v));
        benchmark::DoNotOptimize(v);
    }
}
BENCHMARK(BM_GetPackageValue)
    ->ArgNames({"between", "blend"})
    ->Args({0, 0})
    ->Args({1, 0})
    ->Args({0, 1})
    ->Args({1, 1});

}  // namespace

BENCHMARK_MAIN();
