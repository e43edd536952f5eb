// Faults guarded against: check missing or misnaming why the plug-in rejects
// a broken copy of the demo data file (MD5 trailer, a chunk length that is not
// a multiple of 16, a string count above 1000, with their offsets), missing a
// data fault of an accepted file, or reporting a clean file as faulty (the
// command line tests check the demo file clean and a flipped byte rejected).
#include <gtest/gtest.h>

#include <algorithm>

#include "io/data_file_writer.h"
#include "mxtool/check.h"
#include "mxtool/data_file_view.h"
#include "mxtool/description.h"
#include "mxtool/io.h"
#include "mxtool/pack.h"
#include "support/samples.h"

using namespace mx;
using namespace mx::tool;

namespace {

// What check reports of `bytes` as a file: a line per rejection, then a line
// per data fault.
std::string checked(const std::vector<uint8_t>& bytes) {
    const test::ScratchDir dir;
    const CheckReport r = checkMaterial(loadMaterial(dir.write("checked.mxd", bytes)));
    std::string text;
    for (const std::string& s : r.rejections)
        text += "rejected: " + s + "\n";
    for (const DataFault& f : r.dataFaults)
        text += std::string(DataFaultKindName(f.kind)) + ": " + f.message + "\n";
    return text;
}

}  // namespace

// Which data faults exist and how they read is the diagnosis tests' business;
// here they must reach the report of a file that loads, and a file that does
// not load reports its rejection and nothing else.
TEST(Check, NamesTheFaultOfEachBrokenCopy) {
    const std::vector<uint8_t> good = readFileBytes(MX_TEST_DATA_DIR "/demo.mxd");
    const DataFileView view = viewDataFile(good);
    ASSERT_EQ(view.chunks.size(), 2u);
    const size_t header = static_cast<size_t>(view.chunks[0].offset);
    const Json demo = Json::parse(readFileText(MX_TEST_DATA_DIR "/demo.json"));

    // Chunk length 16 bytes short of the payload, so not a multiple of 16
    // after -8; the trailer recomputed.
    std::vector<uint8_t> odd(good.begin(), good.end() - 16);
    const uint32_t length = static_cast<uint32_t>(view.chunks[0].length) - 8;
    for (int i = 0; i < 4; ++i)
        odd[header + 4 + i] = static_cast<uint8_t>(length >> (8 * i));
    ASSERT_TRUE(appendDigestTrailer(odd));
    // text1's count in the Lubricant record: identifier 16, name 8 + 10, kind 2.
    std::vector<uint8_t> stream = recordStreamOf(demo);
    stream[36] = 0x88;
    stream[37] = 0x13;  // 5000
    Json unmatched = demo, nan = demo;
    unmatched["primaryEntries"].erase(1);
    nan["primaryEntries"][1]["packages"][6]["weights"][3] = "NaN";

    const struct {
        std::vector<uint8_t> bytes;
        std::string kind, fragment;
    } cases[] = {
        {odd, "rejected",
         "the record chunk at byte offset " + std::to_string(header) +
             " has a length that is not a multiple of 16"},
        {buildDataFile(kDefaultPreamble, 2, stream), "rejected",
         "record offset 36: string count 5000 above 1000"},
        {std::vector<uint8_t>(good.begin(), good.begin() + 10), "rejected", ""},
        {packDescription(unmatched, PackForm::DataFile), "unmatched-cell",
         "1 cell of the primary table"},
        {packDescription(nan, PackForm::DataFile), "non-finite-value", "1 of 625 weights"},
    };
    for (const auto& c : cases) {
        const std::string report = checked(c.bytes);
        const size_t line = report.find(c.kind + ": ");
        EXPECT_LT(report.find(c.fragment, line), report.find('\n', line)) << report;
        // Rejected files report nothing else; loaded ones no rejection.
        EXPECT_EQ(report.rfind("rejected: ", 0) == 0, c.kind == "rejected") << report;
        if (c.kind == "rejected") {
            EXPECT_EQ(std::count(report.begin(), report.end(), '\n'), 1) << report;
        }
    }
}
