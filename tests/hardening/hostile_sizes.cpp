// Hostile sizes in every count of the three record kinds: counts near 2^64,
// 2^63, 2^60, 2^32 and 2^31, counts one above what the stream holds, strings
// of 1000 and 1001 characters and strings with a zero byte inside. The
// streams come from the library's writers; where a count sits is found
// without knowing the layout, as the first byte at which the stream changes
// when that list or string grows by one.
//
// Faults guarded against: a count trusted before the bytes behind it are
// checked (a huge allocation, or a multiplication that wraps to a small one);
// a count above what the stream holds that is not a clean failure; a string
// count of 1001 accepted or one of 1000 refused; the characters after a zero
// byte kept and written back into a blob (read whole, or carried by the
// property copies of modules built from Sheet and Lubricant records); a
// data-file chunk length near 2 GiB that is allocated before it is checked;
// grid sizes beyond what preparation supports that cost memory or time; any
// case that takes long.
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
    size_t after = 0;  // bytes from the grown item to the count
    size_t offset = 0;
};

// A record stream and the place of each of its counts.
struct Layout {
    std::string kind;
    Bytes bytes;
    std::vector<Count> counts;
};

// Grows a list by a copy of its first element, a string by one character.
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

// A count and how to grow what it counts: a member of the record, or what a
// function returns a pointer to.
template <typename R>
struct Grower {
    Count count;
    std::function<void(R&)> grow;
    template <typename T>
    Grower(std::string what, T R::*member, Field field = Field::count)
        : count{std::move(what), field}, grow([member](R& r) { growByOne(r.*member); }) {}
    template <typename Get>
    Grower(std::string what, Get get, Field field = Field::count)
        : count{std::move(what), field}, grow([get](R& r) { growByOne(*get(r)); }) {}
    Grower(Count c, std::function<void(R&)> g) : count(std::move(c)), grow(std::move(g)) {}
};

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
template <typename R, typename Write>
Layout layoutOf(std::string kind, const R& record, Write write,
                const std::vector<Grower<R>>& growers) {
    Layout layout{std::move(kind), write(record), {}};
    for (const Grower<R>& g : growers) {
        R grown = record;
        g.grow(grown);
        const Bytes changed = write(grown);
        const auto at = static_cast<size_t>(
            std::mismatch(layout.bytes.begin(), layout.bytes.end(), changed.begin(), changed.end())
                .first -
            layout.bytes.begin());
        const bool found = at + 8 <= layout.bytes.size() && at + 8 <= changed.size() &&
                           u64At(changed, at) == u64At(layout.bytes, at) + 1;
        layout.counts.push_back(g.count);
        layout.counts.back().offset = found ? at + g.count.after : SIZE_MAX;
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
    return {{"version block name", &R::name, Field::kindName},
            {"first text", &R::text1, Field::string},
            {"second text", &R::text2, Field::string},
            {"primary entry count", &R::primaryEntries},
            {"secondary entry count", &R::secondaryEntries},
            {"package data count", [=](R& r) { return &entry(r).packageData; }},
            {"curve count", [=](R& r) { return &entry(r).curves; }},
            {"scale count", [=](R& r) { return &package(r).scales; }},
            {"weight count", [=](R& r) { return &package(r).weights; }},
            // The writer stores no grid values: their count follows the grid
            // point count.
            {{"grid value count", Field::count, 8}, [=](R& r) { ++package(r).gridPointCount; }},
            {"divisor count", [=](R& r) { return &curve(r).divisors; }},
            {"numerator count", [=](R& r) { return &curve(r).numerators; }},
            {"offset count", [=](R& r) { return &curve(r).offsets; }},
            {"state axis count", &R::stateAxis},
            {"sheet roughness axis count", &R::sheetRoughnessValues},
            {"lubrication amount axis count", &R::lubricationAmountValues},
            {"tool roughness axis count", &R::toolRoughnessValues},
            {"workpiece property count", &R::workpieceProperties},
            {"lubricant property count", &R::lubricantProperties},
            {"tooling property count", &R::toolingProperties},
            {"property key", [](R& r) { return &r.workpieceProperties.keys[0]; }, Field::string},
            {"property value", [](R& r) { return &r.toolingProperties.values[0]; }, Field::string}};
}

std::vector<Grower<Module>> moduleGrowers() {
    std::vector<Grower<Module>> g = tableGrowers<Module>();
    g.insert(g.end(), {{"solver id", &Module::solverId, Field::optionalString},
                       {"strain roughening count", &Module::strainRougheningValues},
                       {"static friction count", &Module::staticFrictionValues},
                       {"tool wear count", &Module::toolWearValues}});
    return g;
}

std::vector<Grower<SheetRecord>> sheetGrowers() {
    using R = SheetRecord;
    return {{"first text", &R::text1, Field::string},
            {"second text", &R::text2, Field::string},
            {"flag count", &R::flags},
            {"auxiliary value count", &R::auxiliaryValues},
            {{"lubrication amount count", Field::count},
             [](R& r) {
                 growByOne(r.lubricationAmounts);
                 r.sheetItems.resize(r.sheetItems.size() + 12);
             }},
            {"item scale count", [](R& r) { return &r.sheetItems[0].scales; }},
            {"item weight count", [](R& r) { return &r.sheetItems[0].weights; }},
            {"property count", &R::properties},
            {"property key", [](R& r) { return &r.properties.keys[0]; }, Field::string},
            {"property value", [](R& r) { return &r.properties.values[0]; }, Field::string}};
}

// The sample records, with a property in every list.
const Layout& layout(int kind) {
    static const Layout layouts[] = {
        [] {
            Module m = SampleModule(0);
            m.toolingProperties = propertyList({{u"ToolingCoating", u"none"}});
            return layoutOf("module record", m, WriteBlob, moduleGrowers());
        }(),
        layoutOf("lubricant record", sampleLubricantRecord(), LubricantRecordBytes,
                 tableGrowers<LubricantRecord>()),
        [] {
            SheetRecord r = sheetRecordWithItems(12, {1.0, 2.0});
            r.properties = propertyList({{u"SheetRa", u"1.0"}});
            return layoutOf("sheet record", r, SheetRecordBytes, sheetGrowers());
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

// The stream with a zero byte inserted before character k of the string whose
// count is at `at`, and the stream in which that string is only its first k
// characters.
std::pair<Bytes, Bytes> zeroInString(const Bytes& b, size_t at, size_t k) {
    const size_t length = u64At(b, at);
    const auto chars = b.begin() + static_cast<ptrdiff_t>(at + 8);
    const auto cut = chars + static_cast<ptrdiff_t>(k);
    Bytes withZero(b.begin(), cut), prefix(b.begin(), cut);
    withZero.push_back(0);
    withZero.insert(withZero.end(), cut, b.end());
    prefix.insert(prefix.end(), chars + static_cast<ptrdiff_t>(length), b.end());
    putU64(withZero, at, length + 1);
    putU64(prefix, at, k);
    return {withZero, prefix};
}

// What a host serializes from the module `read` leaves in its slot (nothing
// when the read fails); releases the module.
template <typename Read>
Bytes blobAfter(Read read) {
    MorvexModule* m = nullptr;
    Bytes out;
    uint8_t* blob = nullptr;
    uint64_t length = 0;
    if (read(&m) == 1 && m != nullptr && Morvex_SerializeModule(m, &blob, &length) == 1) {
        out.assign(blob, blob + length);
        Morvex_FreeBlob(&blob);
    }
    Morvex_FreeModule(m);
    return out;
}

Bytes blobOfStream(const Bytes& stream) {
    return blobAfter([&](MorvexModule** m) {
        return Morvex_DeserializeModule(stream.data(), static_cast<int32_t>(stream.size()), m);
    });
}

Bytes blobOfDataFile(const ScratchDir& dir, RecordKind kind, const Bytes& stream) {
    const std::string path = dir.write("zero.mxd", DataFileOf({{kind, stream}}));
    return blobAfter([&](MorvexModule** m) { return Morvex_LoadFile(path.c_str(), m); });
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

TEST(HostileSizes, AStringEndsAtItsFirstZeroByteInEveryRecordKind) {
    // Zero at the start, in the middle and at the end of every string: blobs,
    // read as a stream or from a data file, are those of the stream holding
    // only the characters before the zero, and read back they give the same
    // bytes again.
    ScratchDir dir;
    const RecordKind kinds[] = {kModuleRecord, kLubricantRecord, kSheetRecord};
    for (int kind = 0; kind < 3; ++kind) {
        const Layout& s = layout(kind);
        for (const Count& c : s.counts) {
            if (c.field == Field::count || c.offset == SIZE_MAX) continue;
            const size_t length = u64At(s.bytes, c.offset);
            for (size_t k : {size_t{0}, length / 2, length}) {
                SCOPED_TRACE(s.kind + ", " + c.what + ", zero at " + std::to_string(k));
                const auto [withZero, prefix] = zeroInString(s.bytes, c.offset, k);
                const Bytes want = blobOfStream(prefix);
                EXPECT_EQ(blobOfStream(withZero), want);
                EXPECT_EQ(blobOfDataFile(dir, kinds[kind], withZero),
                          blobOfDataFile(dir, kinds[kind], prefix));
                if (want.empty()) continue;  // no record without the version block name
                EXPECT_EQ(blobOfStream(want), want);
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

TEST(HostileSizes, GridPointCountsBeyondWhatPreparationTakesStayCheap) {
    // A grid holds gridPointCount^4 values. Counts whose fourth power no signed
    // 32-bit count holds (above 215) are refused before anything is allocated;
    // 215 asks for its tens of gigabytes, which fail here and leave the module
    // releasable with nothing kept.
    const ModulePtr source = ReadBlob(SampleStreamBytes("other-centres"));
    ASSERT_NE(source, nullptr);
    for (uint64_t hostile : {uint64_t{215}, uint64_t{216}, uint64_t{1} << 16,
                             (uint64_t{1} << 32) + 3, uint64_t{1} << 63, ~uint64_t{0}}) {
        Module changed = *source;
        changed.primaryEntries[0].packageData[0].gridPointCount = hostile;
        const Bytes blob = WriteBlob(changed);
        MorvexModule* m = nullptr;
        ASSERT_EQ(Morvex_DeserializeModule(blob.data(), static_cast<int32_t>(blob.size()), &m), 1u);
        const int64_t blocks = mxalloc::liveBlocks();
        const Outcome o = measure([&] { return Morvex_PrepareSolverData(&m); });
        EXPECT_EQ(o.result, 0u) << hostile;
        EXPECT_EQ(mxalloc::liveBlocks(), blocks) << hostile;
        if (hostile > kMaxGridPointCount) {
            EXPECT_LE(o.largest, allowance(blob.size())) << hostile;
        }
        EXPECT_LT(o.seconds, 2.0) << hostile;
        Morvex_FreeModule(m);
    }
}
