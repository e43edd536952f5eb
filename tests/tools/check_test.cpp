// Faults guarded against: check missing or misnaming why the plug-in rejects
// a broken copy of the demo data file (MD5 trailer, a chunk length that is not
// a multiple of 16, a string count above 1000, with their offsets), missing a
// data fault of an accepted file, or reporting a clean file as faulty.
#include <gtest/gtest.h>

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

std::vector<uint8_t> demoFile() {
    return readFileBytes(MX_TEST_DATA_DIR "/demo.mxd");
}

Json demoDescription() {
    return Json::parse(readFileText(MX_TEST_DATA_DIR "/demo.json"));
}

// Checks `bytes` as a file, the way the command does.
CheckReport checkBytes(const std::vector<uint8_t>& bytes) {
    const test::ScratchDir dir;
    return checkMaterial(loadMaterial(dir.write("checked.mxd", bytes)));
}

// The rejections and data faults of a report, for failure messages.
std::string rejections(const CheckReport& r) {
    std::string text;
    for (const std::string& s : r.rejections)
        text += s + "\n";
    for (const DataFault& f : r.dataFaults)
        text += std::string(DataFaultKindName(f.kind)) + ": " + f.message + "\n";
    return text;
}

bool hasFault(const CheckReport& r, DataFaultKind kind, const std::string& fragment) {
    for (const DataFault& f : r.dataFaults) {
        if (f.kind == kind && f.message.find(fragment) != std::string::npos) return true;
    }
    return false;
}

// The demo file with its MD5 trailer recomputed after an edit.
std::vector<uint8_t> resealed(std::vector<uint8_t> file) {
    file.resize(file.size() - 16);
    EXPECT_TRUE(appendDigestTrailer(file));
    return file;
}

}  // namespace

TEST(Check, DemoMaterialIsClean) {
    const CheckReport r = checkBytes(demoFile());
    EXPECT_TRUE(r.clean()) << rejections(r);
}

TEST(Check, NamesTheContainerFaultOfEachBrokenCopy) {
    const auto expectRejected = [](const std::vector<uint8_t>& bytes, const std::string& why) {
        const CheckReport r = checkBytes(bytes);
        ASSERT_FALSE(r.rejections.empty()) << why;
        EXPECT_NE(r.rejections[0].find(why), std::string::npos) << rejections(r);
        EXPECT_TRUE(r.dataFaults.empty()) << rejections(r);
    };
    const std::vector<uint8_t> good = demoFile();
    const DataFileView view = viewDataFile(good);
    ASSERT_EQ(view.chunks.size(), 2u);
    const size_t header = static_cast<size_t>(view.chunks[0].offset);

    std::vector<uint8_t> flipped = good;
    flipped[header + 100] ^= 0x01;
    expectRejected(flipped, "MD5 trailer mismatch");

    // Chunk length 16 bytes short of the payload, so not a multiple of 16 after -8.
    std::vector<uint8_t> odd = good;
    const uint32_t length = static_cast<uint32_t>(view.chunks[0].length) - 8;
    for (int i = 0; i < 4; ++i)
        odd[header + 4 + i] = static_cast<uint8_t>(length >> (8 * i));
    expectRejected(resealed(odd), "the record chunk at byte offset " + std::to_string(header) +
                                      " has a length that is not a multiple of 16");

    // text1's count in the Lubricant record: identifier 16, name 8 + 10, kind 2.
    std::vector<uint8_t> stream = recordStreamOf(demoDescription());
    stream[36] = 0x88;
    stream[37] = 0x13;  // 5000
    expectRejected(buildDataFile(kDefaultPreamble, 2, stream),
                   "record offset 36: string count 5000 above 1000");
    EXPECT_FALSE(checkBytes(std::vector<uint8_t>(good.begin(), good.begin() + 10)).clean());
}

// Which data faults exist and how they read is the diagnosis tests' business;
// here they must reach the report of a file that loads.
TEST(Check, NamesTheDataFaultOfEachBrokenDescription) {
    using Edit = void (*)(Json&);
    const struct {
        Edit edit;
        DataFaultKind kind;
        const char* fragment;
    } cases[] = {
        {[](Json& d) { d["primaryEntries"].erase(1); }, DataFaultKind::UnmatchedCell,
         "1 cell of the primary table"},
        {[](Json& d) { d["primaryEntries"][1]["packages"][6]["weights"][3] = "NaN"; },
         DataFaultKind::NonFiniteValue, "1 of 625 weights"},
    };
    for (const auto& c : cases) {
        Json d = demoDescription();
        c.edit(d);
        const CheckReport r = checkBytes(packDescription(d, PackForm::DataFile));
        EXPECT_TRUE(hasFault(r, c.kind, c.fragment)) << rejections(r);
        EXPECT_TRUE(r.rejections.empty()) << rejections(r);
    }
}
