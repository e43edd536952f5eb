// Allocation failure at every allocation of deserialization, serialization
// (through the export and through the tools' byte vectors), preparation,
// loading and writing data files (OpenSSL's own allocations included): the
// k-th allocation fails, for k = 1, 2, ... until a run completes without
// reaching k.
//
// Faults guarded against: a bad_alloc or null result that escapes as a crash;
// a failed call that writes its out-parameters or reports success with a
// wrong result; libcrypto errors left on the caller's error queue (found by
// this sweep: each failed load left two blocks of error data behind); blocks (module parts, blob
// buffers, OpenSSL objects) leaked on a failure path; a module left unusable or unreleasable by a
// failed preparation.
#include <gtest/gtest.h>
#include <openssl/err.h>

#include <functional>
#include <new>
#include <string>

#include "counting_allocator.h"
#include "io/data_file_writer.h"
#include "mxplugin/mxplugin.h"
#include "records/record_bytes.h"
#include "serialize/module_record.h"
#include "support/query_sweep.h"
#include "support/samples.h"

using namespace mx;
using namespace mx::test;

namespace {

MorvexModule* const kUntouched = reinterpret_cast<MorvexModule*>(uintptr_t{0xDEAD0});

std::vector<Answer> answersOf(const MorvexModule* m) {
    std::vector<Answer> all;
    for (const MorvexInputRecord& in : spreadStates(m, 12)) {
        const std::vector<Answer> one = answerEverything(m, in);
        all.insert(all.end(), one.begin(), one.end());
    }
    return all;
}

// One operation under the sweep: `call` makes it and checks its outcome,
// returning whether it succeeded; it is called between arm() and disarm()
// through `armed`, which it wraps around the library call alone.
using Armed = std::function<uint32_t(const std::function<uint32_t()>&)>;
using Call = std::function<bool(const Armed&, const std::string& at)>;

struct Sweep {
    uint64_t allocations;  // of a complete run
    uint64_t failedCalls;  // the rest were absorbed by the call
};

// Runs `call` with allocation k = 1, 2, ... failing until a run makes fewer
// than k allocations. Checks that a run without an injected failure succeeded
// and that nothing stayed allocated; stops at the first failed check.
Sweep sweep(const std::string& what, const Call& call) {
    uint64_t failedCalls = 0;
    for (uint64_t k = 1;; ++k) {
        const int64_t before = mxalloc::counters.live;
        const bool succeeded = call(
            [k](const std::function<uint32_t()>& f) {
                mxalloc::counters.arm(k);
                const uint32_t result = f();
                mxalloc::counters.armed = false;
                return result;
            },
            what + ", allocation " + std::to_string(k));
        EXPECT_EQ(mxalloc::counters.live.load(), before)
            << what << ": leaked when allocation " << k << " failed";
        if (!mxalloc::counters.injected) {
            EXPECT_TRUE(succeeded) << what << ": fails without an allocation failure";
            return {k - 1, failedCalls};
        }
        if (!succeeded) ++failedCalls;
        if (testing::Test::HasFailure()) return {k, failedCalls};
    }
}

// A call that reads a module into its out-parameter. A failed call leaves the
// handle as it was and no OpenSSL error behind; a successful one reads the
// module whose blob is `reference`.
Call reading(const Bytes& reference, std::function<uint32_t(MorvexModule**)> read) {
    ERR_peek_error();  // OpenSSL allocates its error state on first use: no leak
    return [reference, read](const Armed& armed, const std::string& at) {
        MorvexModule* module = kUntouched;
        if (armed([&] { return read(&module); }) == 0) {
            EXPECT_EQ(module, kUntouched) << at << ": failed call wrote the handle";
            EXPECT_EQ(ERR_peek_error(), 0u) << at << ": OpenSSL errors left";
            return false;
        }
        EXPECT_EQ(WriteBlob(*module), reference) << at << ": wrong module";
        Morvex_FreeModule(module);
        return true;
    };
}

}  // namespace

TEST(AllocationFailure, ReadingWritingAndLoadingFailCleanlyAtEveryAllocation) {
    std::vector<SampleStream> all = SampleStreams();
    // Past the writer's first 1,000,000 bytes: the buffer grows once.
    Module large = SampleModule(0);
    large.strainRougheningValues.assign(150000, 0.25);
    all.push_back({"larger than a writer step", kModuleRecord, WriteBlob(large), false});
    for (const SampleStream& s : all) {
        const ModulePtr module = ReadBlob(s.bytes);
        ASSERT_NE(module, nullptr) << s.name;
        const Bytes reference = WriteBlob(*module);
        const Sweep size = sweep("read " + s.name, reading(reference, [&](auto m) {
                                     return Morvex_DeserializeModule(
                                         s.bytes.data(), static_cast<int32_t>(s.bytes.size()), m);
                                 }));
        // Reading allocates for every string, array and entry: each of those
        // failures must fail the call.
        EXPECT_GT(size.allocations, 10u) << s.name;
        EXPECT_EQ(size.failedCalls, size.allocations) << s.name;
        sweep("serialize " + s.name, [&](const Armed& armed, const std::string& at) {
            uint8_t* blob = reinterpret_cast<uint8_t*>(uintptr_t{0xB10B});
            uint64_t length = 12345;
            if (armed([&] { return Morvex_SerializeModule(module.get(), &blob, &length); }) == 0) {
                // A failed serialization hands out no blob.
                EXPECT_EQ(blob, nullptr) << at;
                EXPECT_EQ(length, 0u) << at;
                return false;
            }
            // Only the final shrink may fail without failing the call: the
            // larger block still holds every byte.
            EXPECT_EQ(Bytes(blob, blob + length), reference) << at;
            Morvex_FreeBlob(&blob);
            return true;
        });
    }
    // The byte vectors tools take: a buffer that cannot grow is out of
    // memory, never a refused record.
    const Bytes largeBlob = WriteBlob(large);
    sweep("record bytes", [&](const Armed& armed, const std::string& at) {
        Bytes out;
        bool threw = false;
        armed([&] {
            try {
                out = recordBytes(large, WriteModuleRecord);
            } catch (const std::bad_alloc&) {
                threw = true;
            }
            return 0u;
        });
        EXPECT_TRUE(threw || out == largeBlob) << at;
        return !threw;
    });
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
        const Bytes reference = WriteBlob(*clean);
        Morvex_FreeModule(clean);
        const Sweep size =
            sweep(std::string("load ") + name,
                  reading(reference, [&](auto m) { return Morvex_LoadFile(path.c_str(), m); }));
        // Loading allocates in OpenSSL and in the record parsers; most of
        // those failures must fail the load.
        EXPECT_GT(size.allocations, 20u) << name;
        EXPECT_GT(size.failedCalls, size.allocations / 2) << name;
        // Writing the file: a failure, thrown or returned, leaves the output
        // as it was; a success writes the whole file.
        DataFileContent content;
        for (const auto& [kind, stream] : records) {
            content.chunks.emplace_back();
            ASSERT_TRUE(MakeRecordChunk(static_cast<uint16_t>(kind), stream.data(), stream.size(),
                                        content.chunks.back()));
        }
        Bytes file;
        ASSERT_TRUE(WriteDataFile(content, file));
        sweep(std::string("write ") + name, [&](const Armed& armed, const std::string& at) {
            Bytes out{0x77};
            const uint32_t written = armed([&]() -> uint32_t {
                try {
                    return WriteDataFile(content, out);
                } catch (const std::bad_alloc&) {
                    return 0;
                }
            });
            EXPECT_EQ(out, written == 1 ? file : Bytes{0x77}) << at;
            return written == 1;
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
        sweep("prepare " + s.name, [&](const Armed& armed, const std::string& at) {
            const ModulePtr module = ReadBlob(s.bytes);
            MorvexModule* prepared = module.get();
            const uint32_t result = armed([&] { return Morvex_PrepareSolverData(&prepared); });
            EXPECT_EQ(prepared, module.get()) << at << ": preparation replaced the handle";
            // Failed or not, the module prepares (again) and then answers
            // exactly like one prepared in one go.
            EXPECT_EQ(Morvex_PrepareSolverData(&prepared), 1u) << at;
            EXPECT_TRUE(answersOf(module.get()) == expected) << at << ": answers differ";
            return result == 1;
        });
    }
    // Reading and preparing in one call: after a failed preparation the
    // caller owns the module it got.
    const Bytes bytes = SampleStreamBytes("directional");
    sweep("read and prepare directional", [&](const Armed& armed, const std::string&) {
        MorvexModule* module = kUntouched;
        const uint32_t result = armed([&] {
            return Morvex_DeserializeAndPrepareSolverData(
                bytes.data(), static_cast<int32_t>(bytes.size()), &module);
        });
        if (module != kUntouched) Morvex_FreeModule(module);
        return result == 1;
    });
}
