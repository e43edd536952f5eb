// Many threads on one prepared module, every query at once, and loads of
// different files on many threads at once; run under ThreadSanitizer by
// scripts/test.sh.
//
// Faults guarded against: evaluation that writes into the module (caches,
// scratch space) or into shared static state, which races between threads and
// makes answers depend on what another thread asked; getters that do the same;
// loads that share digest or cipher state, so one file's bytes reach another
// file's digest or module.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "mxplugin/mxplugin.h"
#include "query_sweep.h"
#include "support/sample_modules.h"
#include "support/samples.h"

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

Bytes blobOf(const MorvexModule* m) {
    uint8_t* blob = nullptr;
    uint64_t length = 0;
    if (m == nullptr || !Morvex_SerializeModule(m, &blob, &length)) return {};
    Bytes out(blob, blob + length);
    Morvex_FreeBlob(&blob);
    return out;
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

TEST(Concurrency, LoadsOfDifferentFilesRunAtOnce) {
    mx::test::ScratchDir dir;
    const mx::Module sources[] = {tableModule(), directionalModule(), singlePointModule(),
                                  moduleWithoutEntries()};
    std::vector<std::string> paths;
    std::vector<Bytes> expected;
    for (const mx::Module& m : sources) {
        const Bytes stream = serializedModule(m);
        Bytes body = {'c', 0x03};
        const Bytes sealed = mx::test::sealRecord(stream);
        mx::test::putHeader(body, 2, 3, static_cast<int32_t>(sealed.size()));
        body.insert(body.end(), sealed.begin(), sealed.end());
        mx::test::putHeader(body, 3, 0, 0);
        paths.push_back(
            dir.write("file" + std::to_string(paths.size()) + ".mxd", mx::test::signFile(body)));
        MorvexModule* loaded = nullptr;
        ASSERT_EQ(Morvex_LoadFile(paths.back().c_str(), &loaded), 1u);
        expected.push_back(blobOf(loaded));
        Morvex_FreeModule(loaded);
    }

    std::atomic<int> mismatches{0};
    std::atomic<int> ready{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            ++ready;
            while (ready.load() < kThreads) {
            }
            for (int round = 0; round < kRounds; ++round) {
                const size_t f = static_cast<size_t>(t + round) % paths.size();
                MorvexModule* m = nullptr;
                if (Morvex_LoadFile(paths[f].c_str(), &m) != 1 || blobOf(m) != expected[f]) {
                    ++mismatches;
                }
                Morvex_FreeModule(m);
            }
        });
    }
    for (std::thread& th : threads)
        th.join();
    EXPECT_EQ(mismatches.load(), 0);
}
