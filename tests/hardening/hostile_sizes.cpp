// Hostile sizes in every count of the three record kinds: counts near 2^64,
// 2^63, 2^60, 2^32 and 2^31, counts one above what the stream holds, strings
// of 1000 and 1001 characters. The streams come from the library's writers;
// where a count sits is found without knowing the layout, as the first byte
// at which the stream changes when that list or string grows by one.
//
// Faults guarded against: a count trusted before the bytes behind it are
// checked (a huge allocation, or a multiplication that wraps to a small one);
// a count above what the stream holds that is not a clean failure; a string
// count of 1001 accepted or one of 1000 refused; a data-file chunk length
// near 2 GiB that is allocated before it is checked; any case that takes long.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <string>

#include "counting_allocator.h"
#include "mxplugin/mxplugin.h"
#include "support/samples.h"

using namespace mx;
using namespace mx::test;

namespace {

enum class Field { count, string, optionalString, kindName };

struct Count {
    std::string what;
    Field field;
    size_t after = 0;  // bytes from the grown field to the count
    size_t offset = 0;
};

// A record stream and the place of each of its counts.
struct Layout {
    std::string kind;
    Bytes bytes;
    std::vector<Count> counts;
};

template <typename R>
using Growers = std::vector<std::pair<Count, std::function<void(R&)>>>;

uint64_t u64At(const Bytes& b, size_t at) {
    uint64_t v = 0;
    for (int i = 7; i >= 0; --i)
        v = (v << 8) | b[at + static_cast<size_t>(i)];
    return v;
}

void putU64(Bytes& b, size_t at, uint64_t v) {
    for (int i = 0; i < 8; ++i)
        b[at + static_cast<size_t>(i)] = static_cast<uint8_t>(v >> (8 * i));
}

// The first byte at which the grown record's stream differs; the count there
// must have grown by exactly one, or the count is reported as not found.
template <typename R>
Layout layoutOf(std::string kind, const R& record, Bytes (*write)(const R&), Growers<R> growers) {
    Layout layout{std::move(kind), write(record), {}};
    for (auto& [count, grow] : growers) {
        R grown = record;
        grow(grown);
        const Bytes changed = write(grown);
        const size_t at = static_cast<size_t>(
            std::mismatch(layout.bytes.begin(), layout.bytes.end(), changed.begin(), changed.end())
                .first -
            layout.bytes.begin());
        const bool found = at + 8 <= layout.bytes.size() && at + 8 <= changed.size() &&
                           u64At(changed, at) == u64At(layout.bytes, at) + 1;
        count.offset = found ? at + count.after : SIZE_MAX;
        layout.counts.push_back(count);
    }
    return layout;
}

template <typename T>
void growByOne(std::vector<T>& v) {
    v.push_back(v.empty() ? T{} : v.front());
}

// The lists and strings a module record and a Lubricant record share.
template <typename R>
Growers<R> tableGrowers() {
    Growers<R> g = {{{"version block name", Field::kindName}, [](R& r) { r.name += u'x'; }},
                    {{"first text", Field::string}, [](R& r) { r.text1 += u'x'; }},
                    {{"second text", Field::string}, [](R& r) { r.text2 += u'x'; }},
                    {{"state axis count", Field::count}, [](R& r) { growByOne(r.stateAxis); }},
                    {{"sheet roughness axis count", Field::count},
                     [](R& r) { growByOne(r.sheetRoughnessValues); }},
                    {{"lubrication amount axis count", Field::count},
                     [](R& r) { growByOne(r.lubricationAmountValues); }},
                    {{"tool roughness axis count", Field::count},
                     [](R& r) { growByOne(r.toolRoughnessValues); }}};
    // Every list holds a property already.
    for (auto list : {&R::workpieceProperties, &R::lubricantProperties, &R::toolingProperties}) {
        g.push_back({{"property count", Field::count}, [list](R& r) {
                         (r.*list).keys.push_back(u"k");
                         (r.*list).values.push_back(u"v");
                     }});
        g.push_back({{"property key", Field::string}, [list](R& r) { (r.*list).keys[0] += u'x'; }});
        g.push_back(
            {{"property value", Field::string}, [list](R& r) { (r.*list).values[0] += u'x'; }});
    }
    for (auto side : {&R::primaryEntries, &R::secondaryEntries}) {
        const auto entry = [side](R& r) -> TableEntry& { return (r.*side).front(); };
        g.push_back({{"entry count", Field::count}, [side](R& r) { growByOne(r.*side); }});
        g.push_back({{"package data count", Field::count},
                     [entry](R& r) { growByOne(entry(r).packageData); }});
        g.push_back({{"curve count", Field::count}, [entry](R& r) { growByOne(entry(r).curves); }});
        g.push_back({{"scale count", Field::count},
                     [entry](R& r) { growByOne(entry(r).packageData[0].scales); }});
        g.push_back({{"weight count", Field::count},
                     [entry](R& r) { growByOne(entry(r).packageData[0].weights); }});
        // The writer stores no grid values; their count follows the grid
        // point count.
        g.push_back({{"grid value count", Field::count, 8},
                     [entry](R& r) { ++entry(r).packageData[0].gridPointCount; }});
        g.push_back({{"divisor count", Field::count},
                     [entry](R& r) { growByOne(entry(r).curves[0].divisors); }});
        g.push_back({{"numerator count", Field::count},
                     [entry](R& r) { growByOne(entry(r).curves[0].numerators); }});
        g.push_back({{"offset count", Field::count},
                     [entry](R& r) { growByOne(entry(r).curves[0].offsets); }});
    }
    return g;
}

Growers<Module> moduleGrowers() {
    Growers<Module> g = tableGrowers<Module>();
    g.push_back({{"solver id", Field::optionalString}, [](Module& m) { m.solverId += u'x'; }});
    g.push_back({{"strain roughening count", Field::count},
                 [](Module& m) { growByOne(m.strainRougheningValues); }});
    g.push_back({{"static friction count", Field::count},
                 [](Module& m) { growByOne(m.staticFrictionValues); }});
    g.push_back(
        {{"tool wear count", Field::count}, [](Module& m) { growByOne(m.toolWearValues); }});
    return g;
}

Growers<SheetRecord> sheetGrowers() {
    using R = SheetRecord;
    Growers<R> g = {
        {{"first text", Field::string}, [](R& r) { r.text1 += u'x'; }},
        {{"second text", Field::string}, [](R& r) { r.text2 += u'x'; }},
        {{"flag count", Field::count}, [](R& r) { r.flags.push_back(0); }},
        {{"auxiliary value count", Field::count}, [](R& r) { growByOne(r.auxiliaryValues); }},
        {{"lubrication amount count", Field::count},
         [](R& r) {
             growByOne(r.lubricationAmounts);
             r.sheetItems.resize(r.sheetItems.size() + 12);
         }},
        {{"property count", Field::count},
         [](R& r) {
             r.properties.keys.push_back(u"k");
             r.properties.values.push_back(u"v");
         }},
        {{"property key", Field::string}, [](R& r) { r.properties.keys[0] += u'x'; }},
        {{"property value", Field::string}, [](R& r) { r.properties.values[0] += u'x'; }}};
    for (size_t item : {size_t{0}, size_t{23}}) {
        g.push_back({{"item scale count", Field::count},
                     [item](R& r) { growByOne(r.sheetItems[item].scales); }});
        g.push_back({{"item weight count", Field::count},
                     [item](R& r) { growByOne(r.sheetItems[item].weights); }});
    }
    return g;
}

Bytes sheetBytes(const SheetRecord& r) {
    return SheetRecordBytes(r);
}
Bytes lubricantBytes(const LubricantRecord& r) {
    return LubricantRecordBytes(r);
}
Bytes moduleBytes(const Module& m) {
    return WriteBlob(m);
}

// The sample records, with a property in every list.
const Layout& layout(int kind) {
    static const Layout layouts[] = {
        [] {
            Module m = SampleModule(0);
            m.toolingProperties = propertyList({{u"ToolingCoating", u"none"}});
            return layoutOf("module record", m, moduleBytes, moduleGrowers());
        }(),
        layoutOf("lubricant record", sampleLubricantRecord(), lubricantBytes,
                 tableGrowers<LubricantRecord>()),
        [] {
            SheetRecord r = sheetRecordWithItems(12, {1.0, 2.0});
            r.properties = propertyList({{u"SheetRa", u"1.0"}});
            return layoutOf("sheet record", r, sheetBytes, sheetGrowers());
        }()};
    return layouts[kind];
}

struct Outcome {
    uint32_t result;
    size_t largest;
    double seconds;
};

// Runs `call`, noting the largest allocation it asked for and its time.
template <typename Call>
Outcome measure(Call call) {
    mxalloc::resetLargestRequest();
    const auto start = std::chrono::steady_clock::now();
    const uint32_t result = call();
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return {result, mxalloc::largestRequest(), seconds};
}

Outcome deserializeMeasured(const Bytes& b) {
    MorvexModule* m = nullptr;
    const Outcome o = measure(
        [&] { return Morvex_DeserializeModule(b.data(), static_cast<int32_t>(b.size()), &m); });
    Morvex_FreeModule(m);
    return o;
}

// What a stream of n bytes may ask for at once: a few times its size for the
// in-memory records, plus the fixed 2^16-cell table every module may have.
size_t allowance(size_t streamBytes) {
    return 16 * streamBytes + (size_t{1} << 20);
}

// The stream with the string whose count is at `at` replaced by n characters.
Bytes withStringOf(const Bytes& b, size_t at, size_t n) {
    Bytes out(b.begin(), b.begin() + static_cast<ptrdiff_t>(at + 8));
    out.insert(out.end(), n, 'y');
    out.insert(out.end(), b.begin() + static_cast<ptrdiff_t>(at + 8 + u64At(b, at)), b.end());
    putU64(out, at, n);
    return out;
}

}  // namespace

TEST(HostileSizes, TheUnchangedStreamsReadAndEveryCountIsFound) {
    for (int k = 0; k < 3; ++k) {
        EXPECT_EQ(deserializeMeasured(layout(k).bytes).result, 1u) << layout(k).kind;
        for (const Count& c : layout(k).counts)
            EXPECT_NE(c.offset, SIZE_MAX) << layout(k).kind << ", " << c.what;
    }
}

TEST(HostileSizes, HugeCountsFailCleanlyWithoutLargeAllocations) {
    for (int kind = 0; kind < 3; ++kind) {
        const Layout& s = layout(kind);
        for (const Count& c : s.counts) {
            if (c.offset == SIZE_MAX) continue;  // reported by the test above
            const uint64_t bytesAfter = s.bytes.size() - c.offset - 8;
            for (uint64_t hostile :
                 {~uint64_t{0}, uint64_t{1} << 63, (uint64_t{1} << 63) - 1, uint64_t{1} << 62,
                  uint64_t{1} << 61, uint64_t{1} << 60, (uint64_t{1} << 60) + 1, uint64_t{1} << 32,
                  (uint64_t{1} << 32) + 1, uint64_t{1} << 31, (uint64_t{1} << 31) - 1,
                  bytesAfter + 1, bytesAfter / 8 + 1}) {
                Bytes b = s.bytes;
                putU64(b, c.offset, hostile);
                const Outcome o = deserializeMeasured(b);
                SCOPED_TRACE(s.kind + ", " + c.what + " = " + std::to_string(hostile));
                EXPECT_LE(o.largest, allowance(b.size()));
                EXPECT_LT(o.seconds, 2.0);
                // A positive count whose elements cannot fit in what follows
                // must fail (a negative one reads as an empty list; an absent
                // solver id is no failure).
                const bool cannotFit =
                    static_cast<int64_t>(hostile) > 0 &&
                    (hostile > bytesAfter || (c.field == Field::count && hostile > bytesAfter / 8));
                if (cannotFit && c.field != Field::optionalString) {
                    EXPECT_EQ(o.result, 0u);
                }
            }
        }
    }
}

TEST(HostileSizes, StringsOfAThousandCharactersReadAndLongerOnesFail) {
    for (int kind = 0; kind < 3; ++kind) {
        const Layout& s = layout(kind);
        for (const Count& c : s.counts) {
            if (c.field == Field::count || c.offset == SIZE_MAX) continue;
            SCOPED_TRACE(s.kind + ", " + c.what);
            // A longer version block name makes the stream a Sheet record.
            if (c.field != Field::kindName) {
                EXPECT_EQ(deserializeMeasured(withStringOf(s.bytes, c.offset, 1000)).result, 1u);
            }
            // An absent solver id is no failure: its 1001 characters are then
            // read as what follows.
            if (c.field != Field::optionalString) {
                EXPECT_EQ(deserializeMeasured(withStringOf(s.bytes, c.offset, 1001)).result, 0u);
            }
        }
    }
}

TEST(HostileSizes, StreamLengthsNearTheirLimitsAreRefused) {
    const Bytes& b = layout(0).bytes;
    MorvexModule* m = reinterpret_cast<MorvexModule*>(uintptr_t{0xDEAD0});
    // Negative lengths and a zero length are empty streams.
    for (int32_t length : {-1, INT32_MIN, 0, 15}) {
        EXPECT_EQ(Morvex_DeserializeModule(b.data(), length, &m), 0u) << length;
    }
    EXPECT_EQ(m, reinterpret_cast<MorvexModule*>(uintptr_t{0xDEAD0}));
}

TEST(HostileSizes, ChunkLengthsNearTwoGiBFailWithoutLargeAllocations) {
    ScratchDir dir;
    const Bytes valid = DataFileOf({{kModuleRecord, SampleStreamBytes("without-entries")}});
    const auto afterPreamble = std::find(valid.begin(), valid.end(), 0x03) + 1;
    for (int16_t type : {int16_t{2}, int16_t{5}, int16_t{-1}}) {
        for (int64_t length : {int64_t{INT32_MAX}, int64_t{INT32_MAX} - 15, int64_t{INT32_MAX} - 16,
                               int64_t{1} << 30, int64_t{1} << 20, int64_t{INT32_MIN},
                               int64_t{INT32_MIN} + 16, int64_t{-16}, int64_t{-1}}) {
            // The hostile header first, then the valid file's chunks, end
            // marker and a new trailer.
            Bytes body(valid.begin(), afterPreamble);
            putHeader(body, type, 3, static_cast<int32_t>(length));
            body.insert(body.end(), afterPreamble, valid.end() - 16);
            const Bytes file = signFile(body);
            const std::string path = dir.write("hostile.mxd", file);
            SCOPED_TRACE("type " + std::to_string(type) + ", length " + std::to_string(length));
            MorvexModule* m = nullptr;
            const Outcome o = measure([&] { return Morvex_LoadFile(path.c_str(), &m); });
            Morvex_FreeModule(m);
            EXPECT_LE(o.largest, allowance(file.size()));
            EXPECT_LT(o.seconds, 2.0);
            // A positive length beyond the file cannot be read; a negative one
            // fails a record chunk. A skipped chunk with a negative length
            // skips nothing, and its payload is then read as chunk headers.
            if (length > 0 || type == 2) {
                EXPECT_EQ(o.result, 0u);
            }
        }
    }
}

TEST(HostileSizes, GridPointCountsBeyondEvaluationGridsStayCheap) {
    // Grids are sampled at gridPointCount^4 points: a count from a few bytes
    // of a blob must not turn into gigabytes or hours.
    const ModulePtr source = ReadBlob(SampleStreamBytes("other-centres"));
    ASSERT_NE(source, nullptr);
    for (uint64_t hostile : {uint64_t{33}, uint64_t{215}, uint64_t{216}, uint64_t{1} << 16,
                             (uint64_t{1} << 32) + 3, uint64_t{1} << 63, ~uint64_t{0}}) {
        Module changed = *source;
        changed.primaryEntries[0].packageData[0].gridPointCount = hostile;
        const Bytes blob = WriteBlob(changed);
        MorvexModule* m = nullptr;
        ASSERT_EQ(Morvex_DeserializeModule(blob.data(), static_cast<int32_t>(blob.size()), &m), 1u);
        const Outcome o = measure([&] { return Morvex_PrepareSolverData(&m); });
        EXPECT_LE(o.largest, allowance(blob.size())) << hostile;
        EXPECT_LT(o.seconds, 2.0) << hostile;
        Morvex_FreeModule(m);
    }
}
