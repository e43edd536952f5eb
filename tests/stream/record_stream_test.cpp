// Faults guarded against: reads past the end of a stream, range checks that
// let infinities through or reject NaN, string counts over 1000 accepted, a
// failed optional read that moves the cursor, non-positive array counts
// not read as empty, wide characters written whole, units after a zero
// unit written, and writer output that differs from the byte layout the
// reader expects.
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstring>
#include <limits>

#include "stream/record_reader.h"
#include "stream/record_writer.h"
#include "support/samples.h"

using namespace mx;
using test::StreamBytes;

namespace {

RecordReader readerOver(const std::vector<uint8_t>& b) {
    RecordReader r;
    recordReaderInit(r, b.data(), static_cast<int32_t>(b.size()));
    return r;
}

}  // namespace

TEST(RecordReader, RawReadsStopAtTheEndWithoutMoving) {
    // Integers are read little-endian: the spelled-out records show it.
    std::vector<uint8_t> seven(7, 0xAB);
    uint8_t dest[8];
    RecordReader r = readerOver(seven);
    EXPECT_FALSE(readRaw(r, 8, dest));
    EXPECT_EQ(r.cursor, seven.data());
    EXPECT_TRUE(peekRaw(r, 7, dest));
    EXPECT_EQ(r.cursor, seven.data());
    uint64_t u64;
    EXPECT_FALSE(readU64(r, u64));
}

TEST(RecordReader, F64RejectsInfinitiesAndTheLargestFiniteValues) {
    const double inf = std::numeric_limits<double>::infinity();
    for (double value : {inf, -inf, DBL_MAX, -DBL_MAX, 1.7976931348623155e308,
                         -1.7976931348623155e308, 0.0, -0.0, std::nan("7")}) {
        const bool good = !(std::fabs(value) >= DBL_MAX);
        auto b = StreamBytes().f64(value).b;
        RecordReader r = readerOver(b);
        const double untouched = 42.0;
        double v = untouched;
        EXPECT_EQ(readF64(r, v), good) << value;
        EXPECT_EQ(r.cursor, r.end) << "a rejected value stays consumed";
        EXPECT_EQ(std::memcmp(&v, good ? &value : &untouched, 8), 0) << value;
    }
}

TEST(RecordReader, StringsAreCountedBytesWidenedToUtf16UpToAThousand) {
    auto b = StreamBytes().u64(4).b;
    b.insert(b.end(), {'a', 0xE9, 0x00, 'z'});
    RecordReader r = readerOver(b);
    Text s;
    ASSERT_TRUE(readString(r, s));
    EXPECT_EQ(s, (Text{u'a', u'\u00E9', 0, u'z'}));
    EXPECT_EQ(std::char_traits<char16_t>::length(s.c_str()), 2u) << "an inner 0 ends the C view";

    for (uint64_t count : {uint64_t{0}, uint64_t{1000}, uint64_t{1001}, uint64_t{1} << 63}) {
        b = StreamBytes().u64(count).b;
        b.resize(8 + 1001, 'x');
        r = readerOver(b);
        ReadFault fault;
        r.fault = &fault;
        const bool fits = count <= 1000;
        EXPECT_EQ(readString(r, s), fits) << count;
        EXPECT_EQ(fits ? s.size() : 0, fits ? count : 0);
        EXPECT_EQ(fault.what.find("above 1000") != std::string::npos, !fits) << count;
        r.cursor = b.data();
        EXPECT_EQ(tryReadString(r, s), fits);
        EXPECT_EQ(r.cursor, fits ? b.data() + 8 + count : b.data()) << "nothing consumed";
    }
    // Nor with a count cut short.
    b.resize(3);
    r = readerOver(b);
    EXPECT_FALSE(tryReadString(r, s));
    EXPECT_EQ(r.cursor, b.data());
}

TEST(RecordReader, NonPositiveArrayCountsGiveEmptyArrays) {
    // Counts are signed; counts beyond the stream are the hardening tests'.
    for (uint64_t count : {uint64_t{0}, ~uint64_t{0}, uint64_t{1} << 63}) {
        auto b = StreamBytes().u64(count).b;
        RecordReader r = readerOver(b);
        std::vector<double> v = {1.0};
        ASSERT_TRUE(readF64Array(r, v));
        EXPECT_TRUE(v.empty());
    }
}

TEST(RecordWriter, WritesTheLayoutKeepingTheLowByteOfWideUnits) {
    RecordWriter w;
    ASSERT_TRUE(recordWriterInit(w));
    const double nan = std::nan("7");
    ASSERT_TRUE(writeU16(w, 0xBEEF) && writeU64(w, 0x1122334455667788u) && writeF64(w, -0.0) &&
                writeF64(w, nan) && writeString(w, u"\u0141x") && writeString(w, u"") &&
                writeString(w, Text(u"y\0z", 3)) && writeF64Array(w, {1.5, -2.5}) &&
                writeU64Array(w, {7, 8, 9}));
    uint64_t length = 0;
    MallocBuffer blob = recordWriterFinish(w, length);
    ASSERT_TRUE(blob);
    StreamBytes expected;
    expected.u16(0xBEEF).u64(0x1122334455667788u).f64(-0.0).f64(nan).str("Ax").u64(0).str("y");
    expected.u64(2).f64(1.5).f64(-2.5).u64(3).u64(7).u64(8).u64(9);
    EXPECT_EQ(std::vector<uint8_t>(blob.get(), blob.get() + length), expected.b);
}

TEST(RecordWriter, GrowsInMillionByteStepsAndFinishesExact) {
    RecordWriter w;
    ASSERT_TRUE(recordWriterInit(w));
    EXPECT_EQ(w.capacity, 1000000u);
    for (int i = 0; i < 1000001; ++i)
        ASSERT_TRUE(writeU8(w, static_cast<uint8_t>(i)));
    EXPECT_EQ(w.capacity, 2000000u);
    uint64_t length;
    MallocBuffer blob = recordWriterFinish(w, length);
    EXPECT_EQ(length, 1000001u);
    EXPECT_EQ(blob.get()[1000000], static_cast<uint8_t>(1000000));
}
