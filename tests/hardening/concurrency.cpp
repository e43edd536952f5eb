// Many threads on one prepared module, every query at once, and loads of
// different files on many threads at once; run under ThreadSanitizer by
// scripts/test.sh.
//
// Faults guarded against: evaluation that writes into the module (caches,
// scratch space) or into shared static state, which races between threads and
// makes answers depend on what another thread asked; loads that share digest
// or cipher state, so one file's bytes reach another file's digest or module.
// The property and solver id getters only read a const module.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "mxplugin/mxplugin.h"
#include "support/query_sweep.h"
#include "support/samples.h"

using namespace mx;
using namespace mx::test;

namespace {

constexpr int kThreads = 8;
constexpr int kRounds = 3;

// Runs body(t) on kThreads threads that start together, so they really overlap.
template <typename Body>
void onManyThreads(Body body) {
    std::atomic<int> ready{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            ++ready;
            while (ready.load() < kThreads) {
            }
            body(t);
        });
    }
    for (std::thread& th : threads)
        th.join();
}

}  // namespace

TEST(Concurrency, ManyThreadsEvaluateEveryQueryOnOnePreparedModule) {
    for (const char* sample : {"single-point", "table", "directional"}) {
        const Bytes blob = SampleStreamBytes(sample);
        MorvexModule* m = nullptr;
        ASSERT_EQ(Morvex_DeserializeAndPrepareSolverData(blob.data(),
                                                         static_cast<int32_t>(blob.size()), &m),
                  1u)
            << sample;
        const std::vector<MorvexInputRecord> states = spreadStates(m, 24);
        std::vector<std::vector<Answer>> expected;
        for (const MorvexInputRecord& in : states)
            expected.push_back(answerEverything(m, in));

        std::atomic<int> mismatches{0};
        onManyThreads([&](int t) {
            for (int round = 0; round < kRounds; ++round) {
                for (size_t i = 0; i < states.size(); ++i) {
                    const size_t s = (i + static_cast<size_t>(t) * 5) % states.size();
                    if (answerEverything(m, states[s]) != expected[s]) ++mismatches;
                }
            }
        });
        EXPECT_EQ(mismatches.load(), 0) << sample;
        Morvex_FreeModule(m);
    }
}

TEST(Concurrency, LoadsOfDifferentFilesRunAtOnce) {
    ScratchDir dir;
    std::vector<std::string> paths;
    std::vector<Bytes> expected;
    for (const char* sample : {"table", "directional", "single-point", "without-entries"}) {
        const Bytes stream = SampleStreamBytes(sample);
        paths.push_back(
            dir.write(std::string(sample) + ".mxd", DataFileOf({{kModuleRecord, stream}})));
        expected.push_back(WriteBlob(*ReadBlob(stream)));
    }

    std::atomic<int> mismatches{0};
    onManyThreads([&](int t) {
        for (int round = 0; round < kRounds; ++round) {
            const size_t f = static_cast<size_t>(t + round) % paths.size();
            MorvexModule* m = nullptr;
            if (Morvex_LoadFile(paths[f].c_str(), &m) != 1 || WriteBlob(*m) != expected[f]) {
                ++mismatches;
            }
            Morvex_FreeModule(m);
        }
    });
    EXPECT_EQ(mismatches.load(), 0);
}
