// Faults guarded against: reads past the end of a stream, range checks that
// let infinities through or reject NaN, string counts over 1000 accepted, a
// failed optional read that moves the cursor, and writer output the reader
// does not read back.
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstring>
#include <limits>

#include "stream/record_reader.h"
#include "stream/record_writer.h"

using namespace mx;

namespace {

std::vector<uint8_t> bytesOfU64(uint64_t v) {
    std::vector<uint8_t> b(8);
    for (int i = 0; i < 8; ++i)
        b[i] = static_cast<uint8_t>(v >> (8 * i));
    return b;
}

std::vector<uint8_t> bytesOfF64(double v) {
    uint64_t bits;
    std::memcpy(&bits, &v, 8);
    return bytesOfU64(bits);
}

RecordReader readerOver(const std::vector<uint8_t>& b) {
    RecordReader r;
    recordReaderInit(r, b.data(), static_cast<int32_t>(b.size()));
    return r;
}

}  // namespace

TEST(RecordReader, RawReadsStopAtTheEndWithoutMoving) {
    std::vector<uint8_t> seven(7, 0xAB), eight(8, 0xCD);
    uint8_t dest[8];
    RecordReader r = readerOver(seven);
    EXPECT_FALSE(readRaw(r, 8, dest));
    EXPECT_EQ(r.cursor, seven.data());
    r = readerOver(eight);
    EXPECT_TRUE(peekRaw(r, 8, dest));
    EXPECT_EQ(r.cursor, eight.data());
    EXPECT_TRUE(readRaw(r, 8, dest));
    EXPECT_EQ(r.cursor, r.end);
    uint16_t u16;
    EXPECT_FALSE(readU16(r, u16));
}

TEST(RecordReader, IntegersAreLittleEndian) {
    std::vector<uint8_t> b = {0x34, 0x12, 0x08, 0x07, 0x06, 0x05, 0x04, 0x03, 0x02, 0x01};
    RecordReader r = readerOver(b);
    uint16_t u16;
    uint64_t u64;
    ASSERT_TRUE(readU16(r, u16));
    ASSERT_TRUE(readU64(r, u64));
    EXPECT_EQ(u16, 0x1234);
    EXPECT_EQ(u64, 0x0102030405060708u);
}

TEST(RecordReader, F64RejectsInfinitiesAndTheLargestFiniteValues) {
    const double inf = std::numeric_limits<double>::infinity();
    for (double bad : {inf, -inf, DBL_MAX, -DBL_MAX}) {
        auto b = bytesOfF64(bad);
        RecordReader r = readerOver(b);
        double v = 42.0;
        EXPECT_FALSE(readF64(r, v)) << bad;
        EXPECT_EQ(v, 42.0);
        EXPECT_EQ(r.cursor, r.end) << "a rejected value stays consumed";
    }
    for (double good : {1.7976931348623155e308, -1.7976931348623155e308, 0.0, -0.0}) {
        auto b = bytesOfF64(good);
        RecordReader r = readerOver(b);
        double v;
        ASSERT_TRUE(readF64(r, v));
        EXPECT_EQ(std::memcmp(&v, &good, 8), 0);
    }
    auto b = bytesOfF64(std::nan(""));
    RecordReader r = readerOver(b);
    double v = 0;
    EXPECT_TRUE(readF64(r, v));
    EXPECT_TRUE(std::isnan(v));
}

TEST(RecordReader, StringsAreCountedBytesWidenedToUtf16) {
    std::vector<uint8_t> b = bytesOfU64(4);
    for (int c : {int{'a'}, 0xE9, 0x00, int{'z'}})
        b.push_back(static_cast<uint8_t>(c));
    RecordReader r = readerOver(b);
    Text s;
    ASSERT_TRUE(readString(r, s));
    ASSERT_EQ(s.size(), 4u);
    EXPECT_EQ(s[1], u'\u00E9');
    EXPECT_EQ(s[2], 0);
    EXPECT_EQ(std::char_traits<char16_t>::length(s.c_str()), 2u) << "an inner 0 ends the C view";

    auto empty = bytesOfU64(0);
    r = readerOver(empty);
    ASSERT_TRUE(readString(r, s));
    EXPECT_TRUE(s.empty());
}

TEST(RecordReader, StringCountLimitIsAThousandUnsigned) {
    for (uint64_t count : {uint64_t{1000}, uint64_t{1001}, uint64_t{1} << 63}) {
        std::vector<uint8_t> b = bytesOfU64(count);
        b.resize(8 + 1001, 'x');
        RecordReader r = readerOver(b);
        Text s;
        ReadFault fault;
        r.fault = &fault;
        EXPECT_EQ(readString(r, s), count == 1000) << count;
        if (count != 1000) {
            EXPECT_EQ(fault.offset, 0);
            EXPECT_NE(fault.what.find("above 1000"), std::string::npos);
        }
    }
}

TEST(RecordReader, TryReadStringConsumesNothingOnFailure) {
    std::vector<uint8_t> shortCount = {1, 0, 0};
    RecordReader r = readerOver(shortCount);
    Text s;
    EXPECT_FALSE(tryReadString(r, s));
    EXPECT_EQ(r.cursor, shortCount.data());

    auto overLong = bytesOfU64(5000);
    r = readerOver(overLong);
    EXPECT_FALSE(tryReadString(r, s));
    EXPECT_EQ(r.cursor, overLong.data());

    RecordReader atEnd = readerOver(overLong);
    atEnd.cursor = atEnd.end;
    EXPECT_FALSE(tryReadString(atEnd, s));
    EXPECT_EQ(atEnd.cursor, atEnd.end);
}

TEST(RecordReader, ArraysWithNonPositiveCountsAreEmpty) {
    for (uint64_t count : {uint64_t{0}, ~uint64_t{0}, uint64_t{1} << 63}) {
        auto b = bytesOfU64(count);
        RecordReader r = readerOver(b);
        std::vector<double> v = {1.0};
        ASSERT_TRUE(readF64Array(r, v));
        EXPECT_TRUE(v.empty());
    }
}

TEST(RecordReader, ArraysFailWhenShortOrHugeWithoutAllocating) {
    std::vector<uint8_t> b = bytesOfU64(3);
    for (double x : {1.0, 2.0}) {
        auto e = bytesOfF64(x);
        b.insert(b.end(), e.begin(), e.end());
    }
    RecordReader r = readerOver(b);
    std::vector<double> v;
    EXPECT_FALSE(readF64Array(r, v));
    EXPECT_TRUE(v.empty());

    // 2^60 elements would be 8 EiB: refused from the count alone.
    auto huge = bytesOfU64(uint64_t{1} << 60);
    r = readerOver(huge);
    std::vector<uint64_t> u;
    EXPECT_FALSE(readU64Array(r, u));
}

TEST(RecordWriter, WritesWhatTheReaderReads) {
    RecordWriter w;
    ASSERT_TRUE(recordWriterInit(w));
    const double nan = std::nan("7");
    ASSERT_TRUE(writeU16(w, 0xBEEF) && writeU64(w, 0x1122334455667788u) && writeF64(w, -0.0) &&
                writeF64(w, nan) && writeString(w, u"VersionBlk") && writeString(w, u"") &&
                writeF64Array(w, {1.5, -2.5}) && writeU64Array(w, {7, 8, 9}));
    uint64_t length = 0;
    MallocBuffer blob = recordWriterFinish(w, length);
    ASSERT_TRUE(blob);
    // The string's count is the u64 10, then the ten characters.
    EXPECT_EQ(blob.get()[2 + 8 + 16], 10);
    EXPECT_EQ(std::memcmp(blob.get() + 2 + 8 + 16 + 8, "VersionBlk", 10), 0);

    RecordReader r;
    recordReaderInit(r, blob.get(), static_cast<int32_t>(length));
    uint16_t a;
    uint64_t b;
    double c, d;
    Text s1, s2;
    std::vector<double> f;
    std::vector<uint64_t> u;
    ASSERT_TRUE(readU16(r, a) && readU64(r, b) && readF64(r, c) && readF64(r, d) &&
                readString(r, s1) && readString(r, s2) && readF64Array(r, f) && readU64Array(r, u));
    EXPECT_EQ(a, 0xBEEF);
    EXPECT_EQ(b, 0x1122334455667788u);
    EXPECT_TRUE(std::signbit(c));
    EXPECT_EQ(std::memcmp(&d, &nan, 8), 0) << "NaN payload survives";
    EXPECT_EQ(s1, u"VersionBlk");
    EXPECT_TRUE(s2.empty());
    EXPECT_EQ(f, (std::vector<double>{1.5, -2.5}));
    EXPECT_EQ(u, (std::vector<uint64_t>{7, 8, 9}));
    EXPECT_EQ(r.cursor, r.end);
}

TEST(RecordWriter, StringsKeepTheLowByteOfEachUnit) {
    RecordWriter w;
    ASSERT_TRUE(recordWriterInit(w));
    ASSERT_TRUE(writeString(w, u"\u0141x"));
    uint64_t length;
    MallocBuffer blob = recordWriterFinish(w, length);
    ASSERT_EQ(length, 10u);
    EXPECT_EQ(blob.get()[8], 0x41);
    EXPECT_EQ(blob.get()[9], 'x');
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
