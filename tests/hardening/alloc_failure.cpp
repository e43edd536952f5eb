// Allocation failure at every allocation of deserialization, serialization,
// preparation and loading (OpenSSL's own allocations included): the k-th allocation fails, for k =
// 1, 2, ... until a run completes without reaching k.
//
// Faults guarded against: a bad_alloc or null result that escapes as a crash;
// a failed call that writes its out-parameters or reports success with a
// wrong result; libcrypto errors left on the caller's error queue (found by
// this sweep: each failed load left two blocks of error data behind); blocks (module parts, blob
// buffers, OpenSSL objects) leaked on a failure path; a module left unusable or unreleasable by a
// failed preparation.
#include <gtest/gtest.h>
#include <openssl/err.h>

#include <cstdio>
#include <string>

#include "counting_allocator.h"
#include "mxplugin/mxplugin.h"
#include "support/query_sweep.h"
#include "support/samples.h"

using namespace mx;
using namespace mx::test;

namespace {

MorvexModule* const kUntouched = reinterpret_cast<MorvexModule*>(uintptr_t{0xDEAD0});

int32_t sizeOf(const Bytes& b) {
    return static_cast<int32_t>(b.size());
}

std::vector<Answer> answersOf(const MorvexModule* m) {
    std::vector<Answer> all;
    for (const MorvexInputRecord& in : spreadStates(m, 12)) {
        const std::vector<Answer> one = answerEverything(m, in);
        all.insert(all.end(), one.begin(), one.end());
    }
    return all;
}

int failedPartsSoFar() {
    return testing::UnitTest::GetInstance()->current_test_info()->result()->total_part_count();
}

struct SweepSize {
    uint64_t allocations;  // of a complete run
    uint64_t failedCalls;  // the rest were absorbed by the call
};

// Runs `attempt(k)` for k = 1, 2, ... with the k-th allocation failing, until
// a run makes fewer than k allocations. `attempt` makes the call between
// arm() and disarm() and checks its outcome itself; the sweep checks that a
// run without an injected failure succeeded and that nothing stayed allocated.
template <typename Attempt>
SweepSize sweep(const std::string& what, Attempt attempt) {
    const int failedBefore = failedPartsSoFar();
    uint64_t failedCalls = 0;
    for (uint64_t k = 1;; ++k) {
        const int64_t before = mxalloc::liveBlocks();
        const bool succeeded = attempt(k);
        const bool injected = mxalloc::failureInjected();
        EXPECT_EQ(mxalloc::liveBlocks(), before)
            << what << ": blocks leaked when allocation " << k << " failed";
        if (!injected) {
            EXPECT_TRUE(succeeded) << what << ": fails without an allocation failure";
            std::printf("[   sweep  ] %s: %llu allocations, %llu failed calls\n", what.c_str(),
                        static_cast<unsigned long long>(k - 1),
                        static_cast<unsigned long long>(failedCalls));
            return {k - 1, failedCalls};
        }
        if (!succeeded) ++failedCalls;
        if (failedPartsSoFar() != failedBefore) {
            ADD_FAILURE() << what << ": stopped at allocation " << k;
            return {k, failedCalls};
        }
    }
}

// Sweeps a call that reads a module into its out-parameter. A failed call
// leaves the handle as it was and no OpenSSL error behind; a successful one
// reads the module whose blob is `reference`.
template <typename Read>
SweepSize sweepRead(const std::string& what, const Bytes& reference, Read read) {
    ERR_peek_error();  // OpenSSL allocates its error state on first use: no leak
    return sweep(what, [&](uint64_t k) {
        MorvexModule* module = kUntouched;
        mxalloc::arm(k);
        const uint32_t result = read(&module);
        mxalloc::disarm();
        if (result == 0) {
            EXPECT_EQ(module, kUntouched) << what << ": failed call wrote the handle, k=" << k;
            EXPECT_EQ(ERR_peek_error(), 0u) << what << ": OpenSSL errors left, k=" << k;
            return false;
        }
        EXPECT_EQ(WriteBlob(*module), reference) << what << ": wrong module, k=" << k;
        Morvex_FreeModule(module);
        return true;
    });
}

}  // namespace

TEST(AllocationFailure, DeserializationFailsCleanlyAtEveryAllocation) {
    for (const SampleStream& s : SampleStreams()) {
        const ModulePtr clean = ReadBlob(s.bytes);
        ASSERT_NE(clean, nullptr) << s.name;
        const SweepSize size =
            sweepRead("read " + s.name, WriteBlob(*clean), [&](MorvexModule** m) {
                return Morvex_DeserializeModule(s.bytes.data(), sizeOf(s.bytes), m);
            });
        // Reading allocates for every string, array and entry: each of those
        // failures must fail the call.
        EXPECT_GT(size.allocations, 10u) << s.name;
        EXPECT_EQ(size.failedCalls, size.allocations) << s.name;
    }
}

TEST(AllocationFailure, SerializationFailsCleanlyAtEveryAllocation) {
    std::vector<SampleStream> all = SampleStreams();
    // Past the writer's first 1,000,000 bytes: the buffer grows once.
    Module large = SampleModule(0);
    large.strainRougheningValues.assign(150000, 0.25);
    all.push_back({"larger than a writer step", kModuleRecord, WriteBlob(large), false});
    for (const SampleStream& s : all) {
        const ModulePtr module = ReadBlob(s.bytes);
        ASSERT_NE(module, nullptr) << s.name;
        const Bytes reference = WriteBlob(*module);
        sweep("serialize " + s.name, [&](uint64_t k) {
            uint8_t* blob = reinterpret_cast<uint8_t*>(uintptr_t{0xB10B});
            uint64_t length = 12345;
            mxalloc::arm(k);
            const uint32_t result = Morvex_SerializeModule(module.get(), &blob, &length);
            mxalloc::disarm();
            if (result == 0) {
                // A failed serialization hands out no blob.
                EXPECT_EQ(blob, nullptr) << s.name << ", k=" << k;
                EXPECT_EQ(length, 0u) << s.name << ", k=" << k;
                return false;
            }
            // Only the final shrink may fail without failing the call: the
            // larger block still holds every byte.
            EXPECT_EQ(Bytes(blob, blob + length), reference) << s.name << ", k=" << k;
            Morvex_FreeBlob(&blob);
            return true;
        });
    }
}

TEST(AllocationFailure, FailedPreparationLeavesAModuleThatPreparesLater) {
    for (const SampleStream& s : SampleStreams()) {
        if (!s.prepares) continue;
        ModulePtr reference = ReadBlob(s.bytes);
        MorvexModule* handle = reference.get();
        ASSERT_EQ(Morvex_PrepareSolverData(&handle), 1u) << s.name;
        const std::vector<Answer> expected = answersOf(reference.get());

        sweep("prepare " + s.name, [&](uint64_t k) {
            const ModulePtr module = ReadBlob(s.bytes);
            MorvexModule* prepared = module.get();
            mxalloc::arm(k);
            const uint32_t result = Morvex_PrepareSolverData(&prepared);
            mxalloc::disarm();
            EXPECT_EQ(prepared, module.get())
                << s.name << ": preparation replaced the handle, k=" << k;
            // Failed or not, the module prepares (again) and then answers
            // exactly like one prepared in one go.
            EXPECT_EQ(Morvex_PrepareSolverData(&prepared), 1u) << s.name << ", k=" << k;
            EXPECT_TRUE(answersOf(module.get()) == expected)
                << s.name << ": answers differ, k=" << k;
            return result == 1;
        });
    }
}

TEST(AllocationFailure, DeserializeAndPrepareFailsCleanly) {
    const Bytes bytes = SampleStreamBytes("directional");
    sweep("read and prepare directional", [&](uint64_t k) {
        MorvexModule* module = kUntouched;
        mxalloc::arm(k);
        const uint32_t result =
            Morvex_DeserializeAndPrepareSolverData(bytes.data(), sizeOf(bytes), &module);
        mxalloc::disarm();
        // After a failed preparation the caller owns the module it got.
        if (module != kUntouched) Morvex_FreeModule(module);
        return result == 1;
    });
}

TEST(AllocationFailure, LoadingFailsCleanlyAtEveryAllocation) {
    const std::pair<const char*, std::vector<std::pair<RecordKind, Bytes>>> files[] = {
        {"module record", {{kModuleRecord, SampleStreamBytes("table")}}},
        {"sheet record", {{kSheetRecord, SampleStreamBytes("sheet-6")}}},
        {"lubricant record", {{kLubricantRecord, SampleStreamBytes("lubricant")}}},
        {"two records",
         {{kModuleRecord, SampleStreamBytes("without-entries")},
          {kSheetRecord, SampleStreamBytes("sheet-12")}}}};
    ScratchDir dir;
    for (const auto& [name, records] : files) {
        const std::string path = dir.write("sample.mxd", DataFileOf(records));
        MorvexModule* clean = nullptr;
        // The first load also fills OpenSSL's process-wide caches, which
        // later loads reuse and which are no leak.
        ASSERT_EQ(Morvex_LoadFile(path.c_str(), &clean), 1u) << name;
        ASSERT_NE(clean, nullptr) << name;
        const Bytes reference = WriteBlob(*clean);
        Morvex_FreeModule(clean);
        const SweepSize size =
            sweepRead(std::string("load ") + name, reference,
                      [&](MorvexModule** m) { return Morvex_LoadFile(path.c_str(), m); });
        // Loading allocates in OpenSSL and in the record parsers; most of
        // those failures must fail the load.
        EXPECT_GT(size.allocations, 20u) << name;
        EXPECT_GT(size.failedCalls, size.allocations / 2) << name;
    }
}
