// Hostile sizes in every count of the three record kinds: counts near 2^64,
// 2^63, 2^60, 2^32 and 2^31, counts one above what the stream holds, strings
// of 1000 and 1001 characters. Streams are built here field by field, with the
// offset of every count noted, independently of the library's writers.
//
// Faults guarded against: a count trusted before the bytes behind it are
// checked (a huge allocation, or a multiplication that wraps to a small one);
// a count above what the stream holds that is not a clean failure; a string
// count of 1001 accepted or one of 1000 refused; a data-file chunk length
// near 2 GiB that is allocated before it is checked; any case that takes long.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <string>

#include "counting_allocator.h"
#include "mxplugin/mxplugin.h"
#include "support/sample_modules.h"
#include "support/samples.h"

namespace {

using Bytes = std::vector<uint8_t>;

// A record stream under construction that remembers where its counts are.
struct Stream {
    struct Count {
        size_t offset;
        std::string what;
        bool isString;
        bool optional;  // an absent value is no failure (the solver id)
    };
    Bytes bytes;
    std::vector<Count> counts;

    void raw(const void* p, size_t n) {
        const auto* b = static_cast<const uint8_t*>(p);
        bytes.insert(bytes.end(), b, b + n);
    }
    void u16(uint16_t v) {
        for (int i = 0; i < 2; ++i)
            bytes.push_back(static_cast<uint8_t>(v >> (8 * i)));
    }
    void u64(uint64_t v) {
        for (int i = 0; i < 8; ++i)
            bytes.push_back(static_cast<uint8_t>(v >> (8 * i)));
    }
    void f64(double v) {
        uint64_t b;
        std::memcpy(&b, &v, 8);
        u64(b);
    }
    void count(uint64_t n, const std::string& what) {
        counts.push_back({bytes.size(), what, false, false});
        u64(n);
    }
    void str(const std::string& s, const std::string& what, bool optional = false) {
        counts.push_back({bytes.size(), what, true, optional});
        u64(s.size());
        raw(s.data(), s.size());
    }
    void f64s(const std::vector<double>& v, const std::string& what) {
        count(v.size(), what);
        for (double x : v)
            f64(x);
    }
    void propertyList(const std::string& what) {
        count(2, what + " property count");
        for (int i = 0; i < 2; ++i) {
            str("SheetKey" + std::to_string(i), what + " key");
            str("value", what + " value");
        }
    }
    void packageData(const std::string& what) {
        f64s({1.0, 1.0, 1.0, 1.0}, what + " scale count");
        f64s({0.5, 0.25, 0.125}, what + " weight count");
        f64(0.5);
        f64(0.1);
        u64(1);
        u64(3);
        count(2, what + " grid value count");
        f64(7.0);
        f64(8.0);
    }
    void entry(double sheet, const std::string& what) {
        count(2, what + " package data count");
        packageData(what + " package data 0");
        packageData(what + " package data 1");
        count(1, what + " curve count");
        f64s({2.0, 3.0}, what + " divisor count");
        f64s({1.0, 1.0}, what + " numerator count");
        f64s({0.0, 0.5}, what + " offset count");
        for (double v : {0.0, sheet, 1.0, 0.4})
            f64(v);
    }
    void ranges() {
        for (double v : {1.0, 100.0, 0.0, 0.5, 20.0, 200.0, 0.0, 500.0})
            f64(v);
    }
    void versionBlock(uint16_t kind) {
        const uint8_t identifier[16] = {};
        raw(identifier, 16);
        str("VersionBlk", "version block name");
        u16(kind);
    }
};

// The module record (kind 3) and the Lubricant record (kind 2) share their
// layout; the module record adds the solver id and the three value lists.
Stream tableRecord(uint16_t kind, const std::string& text) {
    const bool module = kind == 3;
    Stream s;
    s.versionBlock(kind);
    s.str(text, "first text");
    s.str(text, "second text");
    if (module) s.str("2", "solver id", true);
    s.ranges();
    s.count(2, "primary entry count");
    s.entry(0.5, "primary 0");
    s.entry(1.5, "primary 1");
    s.count(1, "secondary entry count");
    s.entry(0.5, "secondary 0");
    for (int i = 0; i < 3; ++i)
        s.f64(1.0);
    if (module) {
        s.f64s({0.0}, "strain roughening count");
        s.f64s({0.0}, "static friction count");
        s.f64s({0.0}, "tool wear count");
    }
    s.f64s({0.0}, "state axis count");
    s.f64s({1.5, 0.5}, "sheet roughness axis count");
    s.f64s({1.0}, "lubrication amount axis count");
    s.f64s({0.4}, "tool roughness axis count");
    s.u64(module ? 1 : 0);
    s.u64(0);
    s.propertyList("workpiece");
    s.propertyList("lubricant");
    s.propertyList("tooling");
    return s;
}

Stream moduleRecord(const std::string& text = "text") {
    return tableRecord(3, text);
}
Stream lubricantRecord(const std::string& text = "text") {
    return tableRecord(2, text);
}

// A Sheet record with flags[3] set: twelve items per lubrication amount.
Stream sheetRecord(const std::string& text = "text") {
    Stream s;
    const uint8_t identifier[16] = {1};  // not a version block
    s.raw(identifier, 16);
    s.str(text, "first text");
    s.str(text, "second text");
    s.count(4, "flag count");
    for (uint64_t f : {0, 0, 0, 1})
        s.u64(f);
    s.f64s({0.5}, "auxiliary value count");
    for (int i = 0; i < 4; ++i) {
        s.f64(0.0);
        s.f64(1.0);
        s.u64(5);
    }
    s.f64s({1.0, 2.0}, "lubrication amount count");
    for (int item = 0; item < 24; ++item) {
        s.f64(0.1);
        s.f64(0.5);
        s.f64s({1.0, 1.0, 1.0, 1.0}, "item " + std::to_string(item) + " scale count");
        s.f64s({0.5}, "item " + std::to_string(item) + " weight count");
    }
    s.count(1, "property count");
    s.str("SheetRa", "property key");
    s.str("1.0", "property value");
    return s;
}

struct Outcome {
    uint32_t result;
    size_t largest;
    double seconds;
};

Outcome deserialize(const Bytes& b) {
    mxalloc::resetLargestRequest();
    const auto start = std::chrono::steady_clock::now();
    MorvexModule* m = nullptr;
    const uint32_t result = Morvex_DeserializeModule(b.data(), static_cast<int32_t>(b.size()), &m);
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    Outcome o{result, mxalloc::largestRequest(), seconds};
    Morvex_FreeModule(m);
    return o;
}

// What a stream of n bytes may ask for at once: a few times its size for the
// in-memory records, plus the fixed 2^16-cell table every module may have.
size_t allowance(size_t streamBytes) {
    return 16 * streamBytes + (size_t{1} << 20);
}

void putU64(Bytes& b, size_t at, uint64_t v) {
    for (int i = 0; i < 8; ++i)
        b[at + i] = static_cast<uint8_t>(v >> (8 * i));
}

const Stream kinds[] = {moduleRecord(), lubricantRecord(), sheetRecord()};
const char* const kindNames[] = {"module record", "lubricant record", "sheet record"};

}  // namespace

TEST(HostileSizes, TheUnchangedStreamsRead) {
    for (int k = 0; k < 3; ++k) {
        EXPECT_EQ(deserialize(kinds[k].bytes).result, 1u) << kindNames[k];
    }
}

TEST(HostileSizes, HugeCountsFailCleanlyWithoutLargeAllocations) {
    for (int kind = 0; kind < 3; ++kind) {
        const Stream& s = kinds[kind];
        for (const Stream::Count& c : s.counts) {
            const uint64_t bytesAfter = s.bytes.size() - c.offset - 8;
            for (uint64_t hostile :
                 {~uint64_t{0}, uint64_t{1} << 63, (uint64_t{1} << 63) - 1, uint64_t{1} << 62,
                  uint64_t{1} << 61, uint64_t{1} << 60, (uint64_t{1} << 60) + 1, uint64_t{1} << 32,
                  (uint64_t{1} << 32) + 1, uint64_t{1} << 31, (uint64_t{1} << 31) - 1,
                  bytesAfter + 1, bytesAfter / 8 + 1}) {
                Bytes b = s.bytes;
                putU64(b, c.offset, hostile);
                const Outcome o = deserialize(b);
                SCOPED_TRACE(std::string(kindNames[kind]) + ", " + c.what + " = " +
                             std::to_string(hostile));
                EXPECT_LE(o.largest, allowance(b.size()));
                EXPECT_LT(o.seconds, 2.0);
                // A positive count whose elements cannot fit in what follows
                // must fail (a negative one reads as an empty list; an absent
                // solver id is no failure).
                const bool cannotFit =
                    static_cast<int64_t>(hostile) > 0 &&
                    (hostile > bytesAfter || (!c.isString && hostile > bytesAfter / 8));
                if (cannotFit && !c.optional) {
                    EXPECT_EQ(o.result, 0u);
                }
            }
        }
    }
}

TEST(HostileSizes, StringsOfAThousandCharactersReadAndLongerOnesFail) {
    const std::string thousand(1000, 'x');
    const Stream longTexts[] = {moduleRecord(thousand), lubricantRecord(thousand),
                                sheetRecord(thousand)};
    for (int kind = 0; kind < 3; ++kind) {
        EXPECT_EQ(deserialize(longTexts[kind].bytes).result, 1u) << kindNames[kind];
        // 1001 in each string count: the characters are there, the count is not allowed.
        const Stream& s = kinds[kind];
        for (const Stream::Count& c : s.counts) {
            if (!c.isString || c.optional) continue;
            Bytes b = s.bytes;
            putU64(b, c.offset, 1001);
            b.insert(b.begin() + static_cast<ptrdiff_t>(c.offset + 8), 1001, 'y');
            // The version block name of a Lubricant record decides the kind:
            // a longer name makes the stream a Sheet record, which fails too.
            EXPECT_EQ(deserialize(b).result, 0u) << kindNames[kind] << ", " << c.what;
        }
    }
}

TEST(HostileSizes, StreamLengthsNearTheirLimitsAreRefused) {
    const Bytes& b = kinds[0].bytes;
    MorvexModule* m = reinterpret_cast<MorvexModule*>(uintptr_t{0xDEAD0});
    // Negative lengths and a zero length are empty streams.
    for (int32_t length : {-1, INT32_MIN, 0, 15}) {
        EXPECT_EQ(Morvex_DeserializeModule(b.data(), length, &m), 0u) << length;
    }
    EXPECT_EQ(m, reinterpret_cast<MorvexModule*>(uintptr_t{0xDEAD0}));
}

namespace {

// A data file whose first chunk has `type` and `length` in its header and is
// followed by a valid record chunk and an end marker.
Bytes fileWithChunkLength(int16_t type, int32_t length) {
    Bytes body = {'h', 0x03};
    mx::test::putHeader(body, type, 3, length);
    const Bytes record =
        mx::test::sealRecord(mxtest::serializedModule(mxtest::moduleWithoutEntries()));
    mx::test::putHeader(body, 2, 3, static_cast<int32_t>(record.size()));
    body.insert(body.end(), record.begin(), record.end());
    mx::test::putHeader(body, 3, 0, 0);
    return mx::test::signFile(body);
}

}  // namespace

TEST(HostileSizes, ChunkLengthsNearTwoGiBFailWithoutLargeAllocations) {
    mx::test::ScratchDir dir;
    for (int16_t type : {int16_t{2}, int16_t{5}, int16_t{-1}}) {
        for (int64_t length : {int64_t{INT32_MAX}, int64_t{INT32_MAX} - 15, int64_t{INT32_MAX} - 16,
                               int64_t{1} << 30, int64_t{1} << 20, int64_t{INT32_MIN},
                               int64_t{INT32_MIN} + 16, int64_t{-16}, int64_t{-1}}) {
            const Bytes file = fileWithChunkLength(type, static_cast<int32_t>(length));
            const std::string path = dir.write("hostile.mxd", file);
            SCOPED_TRACE("type " + std::to_string(type) + ", length " + std::to_string(length));
            mxalloc::resetLargestRequest();
            const auto start = std::chrono::steady_clock::now();
            MorvexModule* m = nullptr;
            const uint32_t result = Morvex_LoadFile(path.c_str(), &m);
            const double seconds =
                std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
            Morvex_FreeModule(m);
            EXPECT_LE(mxalloc::largestRequest(), allowance(file.size()));
            EXPECT_LT(seconds, 2.0);
            // A positive length beyond the file cannot be read; a negative one
            // fails a record chunk. A skipped chunk with a negative length
            // skips nothing, and its payload is then read as chunk headers.
            if (length > 0 || type == 2) {
                EXPECT_EQ(result, 0u);
            }
        }
    }
}

TEST(HostileSizes, GridPointCountsBeyondEvaluationGridsStayCheap) {
    // Grids are sampled at gridPointCount^4 points: a count from a few bytes
    // of a blob must not turn into gigabytes or hours.
    for (uint64_t hostile : {uint64_t{33}, uint64_t{215}, uint64_t{216}, uint64_t{1} << 16,
                             (uint64_t{1} << 32) + 3, uint64_t{1} << 63, ~uint64_t{0}}) {
        mx::Module source = mxtest::otherCentresModule();
        source.primaryEntries[0].packageData[0].gridPointCount = hostile;
        const Bytes blob = mxtest::serializedModule(source);
        MorvexModule* m = nullptr;
        ASSERT_EQ(Morvex_DeserializeModule(blob.data(), static_cast<int32_t>(blob.size()), &m), 1u);
        mxalloc::resetLargestRequest();
        const auto start = std::chrono::steady_clock::now();
        Morvex_PrepareSolverData(&m);
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        EXPECT_LE(mxalloc::largestRequest(), allowance(blob.size())) << hostile;
        EXPECT_LT(seconds, 2.0) << hostile;
        Morvex_FreeModule(m);
    }
}
