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
#include <cstring>
#include <string>

#include "counting_allocator.h"
#include "io/data_file_writer.h"
#include "mxplugin/mxplugin.h"
#include "query_sweep.h"
#include "support/sample_modules.h"
#include "support/samples.h"

using namespace mxtest;

namespace {

struct Sample {
    std::string name;
    Bytes bytes;
};

// Streams of all three record kinds that Morvex_DeserializeModule accepts.
std::vector<Sample> samples() {
    return {{"single point", serializedModule(singlePointModule())},
            {"table", serializedModule(tableModule())},
            {"directional", serializedModule(directionalModule())},
            {"other centres", serializedModule(otherCentresModule())},
            {"without entries", serializedModule(moduleWithoutEntries())},
            {"without solver id", moduleRecordWithoutSolverId()},
            {"sheet record", sheetRecord(12, {0.5, 2.0})},
            {"lubricant record", lubricantRecord(tableModule())}};
}

MorvexModule* const kUntouched = reinterpret_cast<MorvexModule*>(uintptr_t{0xDEAD0});

int32_t sizeOf(const Bytes& b) {
    return static_cast<int32_t>(b.size());
}

MorvexModule* deserialize(const Bytes& b) {
    MorvexModule* m = nullptr;
    if (!Morvex_DeserializeModule(b.data(), sizeOf(b), &m)) return nullptr;
    return m;
}

Bytes blobOf(const MorvexModule* m) {
    uint8_t* blob = nullptr;
    uint64_t length = 0;
    if (!Morvex_SerializeModule(m, &blob, &length)) return {};
    Bytes out(blob, blob + length);
    Morvex_FreeBlob(&blob);
    return out;
}

std::vector<uint64_t> answersOf(const MorvexModule* m) {
    std::vector<uint64_t> all;
    for (const MorvexInputRecord& in : spreadStates(m, 12)) {
        const std::vector<uint64_t> one = answerEverything(m, in);
        all.insert(all.end(), one.begin(), one.end());
    }
    return all;
}

// Runs `attempt(k)` for k = 1, 2, ... with the k-th allocation failing, until
// a run makes fewer than k allocations. `attempt` makes the call between
// arm() and disarm() and checks its outcome itself; the sweep checks that a
// run without an injected failure succeeded and that nothing stayed allocated.
// Returns the number of allocations of a complete run.
int failedPartsSoFar() {
    return testing::UnitTest::GetInstance()->current_test_info()->result()->total_part_count();
}

template <typename Attempt>
uint64_t sweep(const std::string& what, Attempt attempt) {
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
            // The sweep's size, for the log: how many allocations a call
            // makes and how many of their failures the call absorbed.
            std::printf("[   sweep  ] %s: %llu allocations, %llu failed calls, %llu absorbed\n",
                        what.c_str(), static_cast<unsigned long long>(k - 1),
                        static_cast<unsigned long long>(failedCalls),
                        static_cast<unsigned long long>(k - 1 - failedCalls));
            return k - 1;
        }
        if (!succeeded) ++failedCalls;
        if (failedPartsSoFar() != failedBefore) {
            ADD_FAILURE() << what << ": stopped at allocation " << k;
            return k;
        }
    }
}

}  // namespace

TEST(AllocationFailure, DeserializationFailsCleanlyAtEveryAllocation) {
    for (const Sample& s : samples()) {
        MorvexModule* clean = deserialize(s.bytes);
        ASSERT_NE(clean, nullptr) << s.name;
        const Bytes reference = blobOf(clean);
        Morvex_FreeModule(clean);
        uint64_t failures = 0;
        const uint64_t allocations = sweep("read " + s.name, [&](uint64_t k) {
            MorvexModule* module = kUntouched;
            mxalloc::arm(k);
            const uint32_t result =
                Morvex_DeserializeModule(s.bytes.data(), sizeOf(s.bytes), &module);
            mxalloc::disarm();
            if (result == 0) {
                ++failures;
                EXPECT_EQ(module, kUntouched)
                    << s.name << ": failed read wrote the handle, k=" << k;
                return false;
            }
            EXPECT_EQ(blobOf(module), reference) << s.name << ": wrong module, k=" << k;
            Morvex_FreeModule(module);
            return true;
        });
        // Reading allocates for every string, array and entry: each of those
        // failures must fail the call.
        EXPECT_GT(allocations, 10u) << s.name;
        EXPECT_EQ(failures, allocations) << s.name;
    }
}

TEST(AllocationFailure, SerializationFailsCleanlyAtEveryAllocation) {
    std::vector<Sample> all = samples();
    // Past the writer's first 1,000,000 bytes: the buffer grows once.
    mx::Module large = moduleWithoutEntries();
    large.strainRougheningValues.assign(150000, 0.25);
    all.push_back({"larger than a writer step", serializedModule(large)});
    for (const Sample& s : all) {
        MorvexModule* module = deserialize(s.bytes);
        ASSERT_NE(module, nullptr) << s.name;
        const Bytes reference = blobOf(module);
        sweep("serialize " + s.name, [&](uint64_t k) {
            uint8_t* blob = reinterpret_cast<uint8_t*>(uintptr_t{0xB10B});
            uint64_t length = 12345;
            mxalloc::arm(k);
            const uint32_t result = Morvex_SerializeModule(module, &blob, &length);
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
        Morvex_FreeModule(module);
    }
}

TEST(AllocationFailure, FailedPreparationLeavesAModuleThatPreparesLater) {
    for (const Sample& s : samples()) {
        if (s.name == "sheet record") continue;  // its models without centres do not prepare
        MorvexModule* reference = deserialize(s.bytes);
        ASSERT_NE(reference, nullptr) << s.name;
        ASSERT_EQ(Morvex_PrepareSolverData(&reference), 1u) << s.name;
        const std::vector<uint64_t> expected = answersOf(reference);
        Morvex_FreeModule(reference);

        sweep("prepare " + s.name, [&](uint64_t k) {
            MorvexModule* module = deserialize(s.bytes);
            MorvexModule* handle = module;
            mxalloc::arm(k);
            const uint32_t result = Morvex_PrepareSolverData(&handle);
            mxalloc::disarm();
            EXPECT_EQ(handle, module) << s.name << ": preparation replaced the handle, k=" << k;
            // Failed or not, the module prepares (again) and then answers
            // exactly like one prepared in one go.
            EXPECT_EQ(Morvex_PrepareSolverData(&handle), 1u) << s.name << ", k=" << k;
            EXPECT_TRUE(answersOf(module) == expected) << s.name << ": answers differ, k=" << k;
            Morvex_FreeModule(module);
            return result == 1;
        });
    }
}

TEST(AllocationFailure, DeserializeAndPrepareFailsCleanly) {
    const Bytes bytes = serializedModule(directionalModule());
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

namespace {

// Data files of every record kind, written with the library's writer.
std::vector<Sample> dataFiles() {
    auto file = [](std::vector<std::pair<uint16_t, Bytes>> records) {
        mx::DataFileContent content;
        content.preamble = {'m', 'x'};
        content.chunks.push_back(mx::MakeSkipChunk(5, Bytes(100, 0x03)));
        for (const auto& [kind, stream] : records) {
            mx::DataFileChunk chunk;
            EXPECT_TRUE(mx::MakeRecordChunk(kind, stream.data(), stream.size(), chunk));
            content.chunks.push_back(std::move(chunk));
        }
        Bytes bytes;
        EXPECT_TRUE(mx::WriteDataFile(content, bytes));
        return bytes;
    };
    return {{"module record", file({{3, serializedModule(tableModule())}})},
            {"sheet record", file({{1, sheetRecord(6, {1.0, 2.0})}})},
            {"lubricant record", file({{2, lubricantRecord(directionalModule())}})},
            {"two records",
             file({{3, serializedModule(moduleWithoutEntries())}, {1, sheetRecord(12, {0.5})}})}};
}

}  // namespace

TEST(AllocationFailure, LoadingFailsCleanlyAtEveryAllocation) {
    mx::test::ScratchDir dir;
    for (const Sample& s : dataFiles()) {
        const std::string path = dir.write("sample.mxd", s.bytes);
        MorvexModule* clean = nullptr;
        // The first load also fills OpenSSL's process-wide caches, which
        // later loads reuse and which are no leak.
        ASSERT_EQ(Morvex_LoadFile(path.c_str(), &clean), 1u) << s.name;
        ASSERT_NE(clean, nullptr) << s.name;
        const Bytes reference = blobOf(clean);
        Morvex_FreeModule(clean);
        uint64_t failures = 0;
        const uint64_t allocations = sweep("load " + s.name, [&](uint64_t k) {
            MorvexModule* module = kUntouched;
            mxalloc::arm(k);
            const uint32_t result = Morvex_LoadFile(path.c_str(), &module);
            mxalloc::disarm();
            if (result == 0) {
                ++failures;
                EXPECT_EQ(module, kUntouched)
                    << s.name << ": failed load wrote the handle, k=" << k;
                // The host's view of libcrypto stays clean.
                EXPECT_EQ(ERR_peek_error(), 0u) << s.name << ": OpenSSL errors left, k=" << k;
                return false;
            }
            EXPECT_EQ(blobOf(module), reference) << s.name << ": wrong module, k=" << k;
            Morvex_FreeModule(module);
            return true;
        });
        // Loading allocates in OpenSSL and in the record parsers; most of
        // those failures must fail the load.
        EXPECT_GT(allocations, 20u) << s.name;
        EXPECT_GT(failures, allocations / 2) << s.name;
    }
}
