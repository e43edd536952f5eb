// Faults guarded against: a description that does not pack back into the
// bytes it was unpacked from (lost fields, reordered keys, rounded numbers,
// NaN, signed factors, Latin-1 text, identifiers), pack accepting what the
// record formats cannot hold (characters above U+00FF, strings over 1000,
// item groups of the wrong size, typos in keys), and the committed demo
// description drifting from the committed data file.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "mxtool/description.h"
#include "mxtool/io.h"
#include "mxtool/json_layout.h"
#include "mxtool/pack.h"
#include "records/sheet_record.h"
#include "serialize/module_record.h"
#include "support/module_builder.h"
#include "support/samples.h"

using namespace mx;
using namespace mx::tool;

namespace {

// A module whose every persisted field holds something a careless
// description would lose.
Module awkwardModule() {
    Module m;
    m.identifier = {1, 2, 3, 250, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 255};
    m.name = kVersionBlockName;
    m.formatVersion = 3;
    m.text1 = u"Stahl gr\u00FCn \u00E9";  // Latin-1 characters
    m.text2 = Text(u"nul") + char16_t(0) + u"inside";
    m.solverId = u"77";
    m.pressureMin = 0.1, m.pressureMax = 1e300;
    m.strainMin = -0.0, m.strainMax = 5e-324;  // signed zero, subnormal
    m.temperatureMin = 20, m.temperatureMax = 200;
    m.velocityMin = 0, m.velocityMax = 0.1 + 0.2;
    TableEntry e;
    e.sheetRoughness = 1.0 / 3.0;
    e.lubricationAmount = 2;
    e.toolRoughness = 0.3;
    e.stateValue = -1;
    PackageData pd;
    pd.scales = {1, 2, 3, 4, 5};
    pd.weights = {0.1, std::numeric_limits<double>::quiet_NaN(), -7.25e-12};
    pd.shape = 0.25;
    pd.offset = -1.5;
    pd.factor = static_cast<uint64_t>(-1000);  // taken as signed
    pd.gridPointCount = 5;
    e.packageData = {pd, PackageData{}};
    e.curves = {HeatTransferCurve{{1, 2}, {3}, {}}};
    m.primaryEntries = {e, e};
    m.secondaryEntries = {e};
    m.nominalSheetRoughness = 1.0 / 3.0;
    m.nominalLubricationAmount = 2;
    m.nominalToolRoughness = 0.3;
    m.strainRougheningValues = {3, 1, 2};
    m.staticFrictionValues = {};
    m.toolWearValues = {0.5};
    m.stateAxis = {-1};
    m.sheetRoughnessValues = {1.0 / 3.0, 0.1};  // not sorted: described as stored
    m.lubricationAmountValues = {2};
    m.toolRoughnessValues = {0.3};
    m.directionDependency = 7;
    m.heatTransferStatus = 0xFFFFFFFFFFull;
    m.workpieceProperties.keys = {u"Sheet grade", u""};
    m.workpieceProperties.values = {u"DX54D", u"empty key"};
    refreshView(m.workpieceProperties);
    return m;
}

}  // namespace

TEST(Description, ModuleRecordSurvivesTextRoundTripByteForByte) {
    const Module m = awkwardModule();
    const std::vector<uint8_t> blob = test::WriteBlob(m);
    const std::string text = layoutJson(describeModule(m));
    const Json reparsed = Json::parse(text);
    EXPECT_EQ(recordStreamOf(reparsed), blob);
    // Unpacking the blob describes the same module in the same words, but the
    // text that holds a zero packed only up to it.
    Module written = m;
    written.text2 = u"nul";
    EXPECT_EQ(layoutJson(unpackBytes(blob)), layoutJson(describeModule(written)));
    // The signed factor and the NaN are shown readably.
    const Json& package = reparsed["primaryEntries"][0]["packages"][0];
    EXPECT_EQ(package["factor"].get<int64_t>(), -1000);
    EXPECT_EQ(package["weights"][1], "NaN");
}

TEST(Description, SheetRecordOfTwelveItemGroupsRoundTrips) {
    SheetRecord r = test::sheetRecordWithItems(12, {2.0, 0.5});  // flags[3] set: groups of twelve
    r.identifier[0] = 9;
    r.flags.push_back(42);
    r.auxiliaryValues = {1.5};
    r.pressureCount = 7, r.velocityCount = 3;
    for (size_t i = 0; i < r.sheetItems.size(); ++i)
        r.sheetItems[i].weights.assign(i % 3, 0.25 * double(i));
    r.properties = test::propertyList(
        {{u"a", u"1"}, {u"b", u"2"}, {u"c", u"3"}, {u"Sheet roughness", u"0.125"}});
    const std::vector<uint8_t> stream = SheetRecordBytes(r);
    ASSERT_FALSE(stream.empty());
    const Json d = unpackBytes(stream, /*sheetStream=*/true);
    ASSERT_EQ(d["lubricationAmounts"].size(), 2u);
    EXPECT_EQ(d["lubricationAmounts"][1]["items"].size(), 12u);
    // Item 7 of a twelve: the second position of the transverse six, package id 2.
    EXPECT_EQ(d["lubricationAmounts"][0]["items"][7]["quantity"],
              "package 2 (average only) (id 2), transverse");
    EXPECT_EQ(recordStreamOf(Json::parse(layoutJson(d))), stream);
}

TEST(Description, PackRefusesWhatRecordsCannotHold) {
    const Json sheet = {
        {"format", kDescriptionFormat},
        {"kind", "sheet"},
        {"ranges",
         {{"pressure", {0, 1}}, {"strain", {0, 1}}, {"temperature", {0, 1}}, {"velocity", {0, 1}}}},
        {"lubricationAmounts", {{{"lubricationAmount", 1.0}, {"items", Json::array()}}}}};
    const auto edited = [](const char* pointer, Json value) {
        Json d = describeModule(awkwardModule());
        d[Json::json_pointer(pointer)] = std::move(value);
        return d;
    };
    const std::pair<Json, std::string> cases[] = {
        {edited("/primaryEntries/1/packages/0/wieghts", Json::array()),
         "primaryEntries[1].packages[0]: unknown key \"wieghts\""},
        {edited("/text1", "price \u20AC"), "text1: characters above U+00FF"},
        {edited("/solverId", std::string(1001, 'x')), "solverId: 1001 characters"},
        {edited("/secondaryEntries/0/state", "one"),
         "secondaryEntries[0].state: expected a number"},
        {edited("/format", "something else"), "not a material description"},
        {sheet, "lubricationAmounts[0].items: 0 items; the flags make groups of 6"}};
    for (const auto& [bad, fragment] : cases) {
        try {
            recordStreamOf(bad);
            ADD_FAILURE() << "accepted; expected an error naming " << fragment;
        } catch (const DescriptionError& e) {
            EXPECT_NE(std::string(e.what()).find(fragment), std::string::npos) << e.what();
        }
    }
}

TEST(Description, HandWrittenDescriptionGetsDefaultsAndAxesFromItsEntries) {
    const Json d = Json::parse(R"({
      "format": "mxplugin-material", "kind": "module",
      "ranges": {"pressure": [0, 100], "strain": [0, 1], "temperature": [20, 200],
                 "velocity": [0, 500]},
      "nominal": {"sheetRoughness": 1, "lubricationAmount": 1, "toolRoughness": 0.3},
      "primaryEntries": [
        {"sheetRoughness": 1, "lubricationAmount": 2, "toolRoughness": 0.3, "packages": []},
        {"sheetRoughness": 1, "lubricationAmount": 0.5, "toolRoughness": 0.3, "packages": []},
        {"sheetRoughness": 1, "lubricationAmount": 2, "toolRoughness": 0.3, "packages": []}]})");
    const Module m = moduleFromDescription(d);
    using Axis = std::vector<double>;
    EXPECT_EQ(m.lubricationAmountValues, (Axis{0.5, 2.0}));
    EXPECT_EQ(m.sheetRoughnessValues, (Axis{1.0}));
    EXPECT_EQ(m.stateAxis, (Axis{0.0}));
    EXPECT_EQ(m.toolWearValues, (Axis{0.0}));
    EXPECT_TRUE(m.name == kVersionBlockName && m.formatVersion == 3);
    EXPECT_EQ(m.solverId, kDefaultSolverId);
}

TEST(Description, CommittedDemoDescriptionAndDataFileAgree) {
    const std::vector<uint8_t> file = readFileBytes(MX_TEST_DATA_DIR "/demo.mxd");
    ASSERT_FALSE(file.empty());
    const std::string described = layoutJson(unpackBytes(file));
    EXPECT_EQ(described, readFileText(MX_TEST_DATA_DIR "/demo.json"));
    EXPECT_EQ(packDescription(Json::parse(described), PackForm::DataFile), file);
    EXPECT_LT(file.size(), 220u * 1024u);
}
