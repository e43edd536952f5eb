// Hostile sizes in every count of the three record kinds: counts near 2^64,
// 2^63, 2^60, 2^32 and 2^31, counts one above what the stream holds, strings
// of 1000 and 1001 characters; record chunk lengths near 2 GiB; grid sizes
// preparation cannot take. The streams come from the library's writers; where
// a count sits is found without knowing the layout, as the first byte at which
// the stream changes when that list or string grows by one.
//
// Faults guarded against: a count trusted before the bytes behind it are
// checked (a huge allocation, or a multiplication that wraps to a small one);
// a count above what the stream holds that is not a clean failure; a string
// count of 1001 accepted or one of 1000 refused in any string of any record;
// a stream length that is negative or too short for a record and still read;
// a data-file chunk length near 2 GiB that is allocated before it is checked;
// grid sizes beyond what preparation supports that cost memory or time; any
// case that takes long.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <functional>
#include <string>

#include "counting_allocator.h"
#include "mxplugin/mxplugin.h"
#include "support/samples.h"

using namespace mx;
using namespace mx::test;

namespace {

enum class Field { count, string, optionalString, kindName };

// A count, how to grow what it counts, and where it was found in the stream.
template <typename R>
struct Grower {
    std::string what;
    Field field;
    std::function<void(R&)> grow;
    size_t after = 0;  // bytes from the first changed byte to the count
};

template <typename T>
void growByOne(std::vector<T>& v) {
    v.push_back(v.empty() ? T{} : v.front());
}
void growByOne(Text& s) {
    s += u'x';
}
void growByOne(PropertyList& p) {
    p.keys.push_back(u"k");
    p.values.push_back(u"v");
}

// Grows what `get` returns a pointer to.
template <typename R, typename Get>
std::function<void(R&)> at(Get get) {
    return [get](R& r) { growByOne(*get(r)); };
}
template <typename R, typename T>
std::function<void(R&)> at(T R::*member) {
    return [member](R& r) { growByOne(r.*member); };
}

// Counts are little-endian, as is every host the library is built for.
uint64_t u64At(const Bytes& b, size_t at) {
    uint64_t v;
    std::memcpy(&v, b.data() + at, 8);
    return v;
}
void putU64(Bytes& b, size_t at, uint64_t v) {
    std::memcpy(b.data() + at, &v, 8);
}

struct Count {
    std::string what;
    Field field;
    size_t offset;  // SIZE_MAX: not found
};

// A record stream and the place of each of its counts.
struct Layout {
    std::string kind;
    Bytes bytes;
    std::vector<Count> counts;
};

// The first byte at which the grown record's stream differs; the count there
// must have grown by exactly one, or the count is reported as not found.
template <typename R, typename Write>
Layout layoutOf(std::string kind, const R& record, Write write,
                const std::vector<Grower<R>>& growers) {
    Layout layout{std::move(kind), write(record), {}};
    const Bytes& b = layout.bytes;
    for (const Grower<R>& g : growers) {
        R grown = record;
        g.grow(grown);
        const Bytes changed = write(grown);
        const size_t at = static_cast<size_t>(
            std::mismatch(b.begin(), b.end(), changed.begin(), changed.end()).first - b.begin());
        const bool found =
            at + 8 <= std::min(b.size(), changed.size()) && u64At(changed, at) == u64At(b, at) + 1;
        layout.counts.push_back({g.what, g.field, found ? at + g.after : SIZE_MAX});
    }
    return layout;
}

// The lists and strings a module record and a Lubricant record share. The
// counts inside an entry are those of the first primary entry, its first
// package model and curve: every entry is read by the same code.
template <typename R>
std::vector<Grower<R>> tableGrowers() {
    const auto entry = [](R& r) -> TableEntry& { return r.primaryEntries[0]; };
    const auto package = [=](R& r) -> PackageData& { return entry(r).packageData[0]; };
    const auto curve = [=](R& r) -> HeatTransferCurve& { return entry(r).curves[0]; };
    const Field count = Field::count, string = Field::string;
    return {{"version block name", Field::kindName, at(&R::name)},
            {"first text", string, at(&R::text1)},
            {"second text", string, at(&R::text2)},
            {"primary entry count", count, at(&R::primaryEntries)},
            {"secondary entry count", count, at(&R::secondaryEntries)},
            {"package data count", count, at<R>([=](R& r) { return &entry(r).packageData; })},
            {"curve count", count, at<R>([=](R& r) { return &entry(r).curves; })},
            {"scale count", count, at<R>([=](R& r) { return &package(r).scales; })},
            {"weight count", count, at<R>([=](R& r) { return &package(r).weights; })},
            // The writer stores no grid values: their count follows the grid
            // point count.
            {"grid value count", count, [=](R& r) { ++package(r).gridPointCount; }, 8},
            {"divisor count", count, at<R>([=](R& r) { return &curve(r).divisors; })},
            {"numerator count", count, at<R>([=](R& r) { return &curve(r).numerators; })},
            {"offset count", count, at<R>([=](R& r) { return &curve(r).offsets; })},
            {"state axis count", count, at(&R::stateAxis)},
            {"sheet roughness axis count", count, at(&R::sheetRoughnessValues)},
            {"lubrication amount axis count", count, at(&R::lubricationAmountValues)},
            {"tool roughness axis count", count, at(&R::toolRoughnessValues)},
            {"workpiece property count", count, at(&R::workpieceProperties)},
            {"lubricant property count", count, at(&R::lubricantProperties)},
            {"tooling property count", count, at(&R::toolingProperties)},
            {"property key", string, at<R>([](R& r) { return &r.workpieceProperties.keys[0]; })},
            {"property value", string, at<R>([](R& r) { return &r.toolingProperties.values[0]; })}};
}

// The sample records, with a property in every list.
const std::vector<Layout>& layouts() {
    static const std::vector<Layout> all = [] {
        Module m = SampleModule(0);
        m.toolingProperties = propertyList({{u"ToolingCoating", u"none"}});
        std::vector<Grower<Module>> module = tableGrowers<Module>();
        module.insert(
            module.end(),
            {{"solver id", Field::optionalString, at(&Module::solverId)},
             {"strain roughening count", Field::count, at(&Module::strainRougheningValues)},
             {"static friction count", Field::count, at(&Module::staticFrictionValues)},
             {"tool wear count", Field::count, at(&Module::toolWearValues)}});
        using S = SheetRecord;
        SheetRecord sheet = sheetRecordWithItems(12, {1.0, 2.0});
        sheet.properties = propertyList({{u"SheetRa", u"1.0"}});
        const std::vector<Grower<S>> sheetGrowers = {
            {"first text", Field::string, at(&S::text1)},
            {"second text", Field::string, at(&S::text2)},
            {"flag count", Field::count, at(&S::flags)},
            {"auxiliary value count", Field::count, at(&S::auxiliaryValues)},
            {"lubrication amount count", Field::count,
             [](S& r) {
                 growByOne(r.lubricationAmounts);
                 r.sheetItems.resize(r.sheetItems.size() + 12);
             }},
            {"item scale count", Field::count, at<S>([](S& r) { return &r.sheetItems[0].scales; })},
            {"item weight count", Field::count,
             at<S>([](S& r) { return &r.sheetItems[0].weights; })},
            {"property count", Field::count, at(&S::properties)},
            {"property key", Field::string, at<S>([](S& r) { return &r.properties.keys[0]; })},
            {"property value", Field::string, at<S>([](S& r) { return &r.properties.values[0]; })}};
        return std::vector<Layout>{layoutOf("module record", m, WriteBlob, module),
                                   layoutOf("lubricant record", sampleLubricantRecord(),
                                            LubricantRecordBytes, tableGrowers<LubricantRecord>()),
                                   layoutOf("sheet record", sheet, SheetRecordBytes, sheetGrowers)};
    }();
    return all;
}

// Runs `call` and expects it to be quick and to ask for no more at once than
// a stream of `streamBytes` may: a few times its size for the in-memory
// records, plus the fixed 2^16-cell table every module may have.
template <typename Call>
uint32_t cheaply(size_t streamBytes, Call call) {
    mxalloc::counters.largest = 0;
    const auto start = std::chrono::steady_clock::now();
    const uint32_t result = call();
    EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(), 2.0);
    EXPECT_LE(mxalloc::counters.largest, 16 * streamBytes + (size_t{1} << 20));
    return result;
}

// 1 when the stream reads as a module.
uint32_t readStream(const Bytes& b) {
    MorvexModule* m = nullptr;
    const uint32_t result = Morvex_DeserializeModule(b.data(), static_cast<int32_t>(b.size()), &m);
    Morvex_FreeModule(m);
    return result;
}

// The stream with the string whose count is at `at` replaced by `chars`.
Bytes withString(const Bytes& b, size_t at, const Bytes& chars) {
    Bytes out(b.begin(), b.begin() + static_cast<ptrdiff_t>(at + 8));
    out.insert(out.end(), chars.begin(), chars.end());
    out.insert(out.end(), b.begin() + static_cast<ptrdiff_t>(at + 8 + u64At(b, at)), b.end());
    putU64(out, at, chars.size());
    return out;
}

}  // namespace

TEST(HostileSizes, HugeCountsLongStringsAndShortStreamsFailCleanlyWithoutLargeAllocations) {
    for (const Layout& s : layouts()) {
        EXPECT_EQ(readStream(s.bytes), 1u) << s.kind;
        for (const Count& c : s.counts) {
            ASSERT_NE(c.offset, SIZE_MAX) << s.kind << ", " << c.what << " not found";
            const uint64_t bytesAfter = s.bytes.size() - c.offset - 8;
            for (uint64_t hostile :
                 {~uint64_t{0}, uint64_t{1} << 63, (uint64_t{1} << 63) - 1, uint64_t{1} << 62,
                  uint64_t{1} << 61, uint64_t{1} << 60, (uint64_t{1} << 60) + 1, uint64_t{1} << 32,
                  (uint64_t{1} << 32) + 1, uint64_t{1} << 31, (uint64_t{1} << 31) - 1,
                  bytesAfter + 1, bytesAfter / 8 + 1}) {
                Bytes b = s.bytes;
                putU64(b, c.offset, hostile);
                SCOPED_TRACE(s.kind + ", " + c.what + " = " + std::to_string(hostile));
                const uint32_t result = cheaply(b.size(), [&] { return readStream(b); });
                // A positive count whose elements cannot fit in what follows
                // must fail (a negative one reads as an empty list; an absent
                // solver id is no failure).
                const bool cannotFit =
                    static_cast<int64_t>(hostile) > 0 &&
                    (hostile > bytesAfter || (c.field == Field::count && hostile > bytesAfter / 8));
                if (cannotFit && c.field != Field::optionalString) {
                    EXPECT_EQ(result, 0u);
                }
            }
            // Strings take 1000 characters, not 1001. A longer version block
            // name makes the stream a Sheet record; an absent solver id is no
            // failure: its 1001 characters are then read as what follows.
            if (c.field == Field::count) continue;
            SCOPED_TRACE(s.kind + ", " + c.what);
            if (c.field != Field::kindName) {
                EXPECT_EQ(readStream(withString(s.bytes, c.offset, Bytes(1000, 'y'))), 1u);
            }
            if (c.field != Field::optionalString) {
                EXPECT_EQ(readStream(withString(s.bytes, c.offset, Bytes(1001, 'y'))), 0u);
            }
        }
    }
    // Negative lengths and a zero length are empty streams; 15 bytes hold no record.
    const Bytes& b = layouts()[0].bytes;
    MorvexModule* m = reinterpret_cast<MorvexModule*>(uintptr_t{0xDEAD0});
    for (int32_t length : {-1, INT32_MIN, 0, 15})
        EXPECT_EQ(Morvex_DeserializeModule(b.data(), length, &m), 0u) << length;
    EXPECT_EQ(m, reinterpret_cast<MorvexModule*>(uintptr_t{0xDEAD0}));
}

TEST(HostileSizes, RecordChunkLengthsNearTwoGiBFailWithoutLargeAllocations) {
    // Skipped chunks are read in small pieces whatever their length; a record
    // chunk's buffer must be allocated only after its length is checked.
    ScratchDir dir;
    const Bytes sealed = sealRecord(SampleStreamBytes("without-entries"));
    for (int32_t length : {INT32_MAX, INT32_MAX - 15, int32_t{1} << 30, INT32_MIN}) {
        Bytes body = {'m', 'x', 0x03};
        putHeader(body, 2, kModuleRecord, length);
        body.insert(body.end(), sealed.begin(), sealed.end());
        putHeader(body, 3, 0, 0);
        const std::string path = dir.write("hostile.mxd", signFile(body));
        MorvexModule* m = nullptr;
        EXPECT_EQ(cheaply(body.size(), [&] { return Morvex_LoadFile(path.c_str(), &m); }), 0u)
            << length;
    }
}

TEST(HostileSizes, GridPointCountsBeyondWhatPreparationTakesAreRefusedCheaply) {
    // A grid holds gridPointCount^4 values; counts whose fourth power no signed
    // 32-bit count holds must fail before anything is allocated, also those
    // whose low 32 bits are small.
    Module changed = *ReadBlob(SampleStreamBytes("other-centres"));
    for (uint64_t hostile : {uint64_t{216}, uint64_t{1} << 16, (uint64_t{1} << 32) + 3,
                             uint64_t{1} << 63, ~uint64_t{0}}) {
        changed.primaryEntries[0].packageData[0].gridPointCount = hostile;
        const Bytes blob = WriteBlob(changed);
        const ModulePtr module = ReadBlob(blob);
        MorvexModule* m = module.get();
        EXPECT_EQ(cheaply(blob.size(), [&] { return Morvex_PrepareSolverData(&m); }), 0u)
            << hostile;
    }
}
