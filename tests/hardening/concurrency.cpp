// Many threads on one prepared module, every query at once; run under
// ThreadSanitizer by scripts/test.sh.
//
// Faults guarded against: evaluation that writes into the module (caches,
// scratch space) or into shared static state, which races between threads and
// makes answers depend on what another thread asked; getters that do the same.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "mxplugin/mxplugin.h"
#include "query_sweep.h"
#include "support/sample_modules.h"

using namespace mxtest;

namespace {

constexpr int kThreads = 8;
constexpr int kRounds = 3;

MorvexModule* preparedFrom(const Bytes& blob) {
    MorvexModule* m = nullptr;
    if (!Morvex_DeserializeAndPrepareSolverData(blob.data(), static_cast<int32_t>(blob.size()),
                                                &m)) {
        Morvex_FreeModule(m);
        return nullptr;
    }
    return m;
}

// The getters' answers, as bit patterns where they are numbers.
std::vector<uint64_t> readProperties(const MorvexModule* m) {
    std::vector<uint64_t> out;
    double lo, hi;
    for (auto get : {Morvex_GetPressureRange, Morvex_GetTemperatureRange,
                     Morvex_GetSheetRoughnessRange, Morvex_GetToolRoughnessRange}) {
        out.push_back(get(m, &lo, &hi));
        out.push_back(static_cast<uint64_t>(lo * 1e6));
        out.push_back(static_cast<uint64_t>(hi * 1e6));
    }
    const MorvexProperty* properties;
    uint32_t count;
    Morvex_GetWorkpieceProperties(m, &properties, &count);
    out.push_back(count);
    const uint16_t* solverId;
    Morvex_GetSolverID(m, &solverId);
    out.push_back(solverId[0]);
    return out;
}

}  // namespace

TEST(Concurrency, ManyThreadsEvaluateEveryQueryOnOnePreparedModule) {
    for (const mx::Module& sample : {singlePointModule(), tableModule(), directionalModule()}) {
        MorvexModule* m = preparedFrom(serializedModule(sample));
        ASSERT_NE(m, nullptr);
        const std::vector<MorvexInputRecord> states = spreadStates(m, 24);
        std::vector<std::vector<uint64_t>> expected;
        for (const MorvexInputRecord& in : states)
            expected.push_back(answerEverything(m, in));
        const std::vector<uint64_t> expectedProperties = readProperties(m);

        std::atomic<int> mismatches{0};
        std::atomic<int> ready{0};
        std::vector<std::thread> threads;
        for (int t = 0; t < kThreads; ++t) {
            threads.emplace_back([&, t] {
                // Start together, so the threads really overlap.
                ++ready;
                while (ready.load() < kThreads) {
                }
                for (int round = 0; round < kRounds; ++round) {
                    for (size_t i = 0; i < states.size(); ++i) {
                        const size_t s = (i + static_cast<size_t>(t) * 5) % states.size();
                        if (answerEverything(m, states[s]) != expected[s]) ++mismatches;
                    }
                    if (readProperties(m) != expectedProperties) ++mismatches;
                }
            });
        }
        for (std::thread& th : threads)
            th.join();
        EXPECT_EQ(mismatches.load(), 0);
        Morvex_FreeModule(m);
    }
}
