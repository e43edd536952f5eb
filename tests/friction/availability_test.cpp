// Faults guarded against: a wrong id-to-index map (ids 0..5 are permuted,
// ids above 11 read index 1), indices past the package table read, the
// transverse table ignored or consulted without direction dependency, and a
// production rule that pairs the wrong packages.
#include <gtest/gtest.h>

#include "friction/evaluate.h"
#include "support/module_builder.h"

using namespace mx;
using namespace mx::test;

namespace {

// A module whose first primary entry defines exactly the package indices in
// `defined`, out of `count` records.
ModulePtr moduleDefining(std::vector<size_t> defined, size_t count = 12,
                         std::optional<std::vector<size_t>> transverse = std::nullopt,
                         size_t transverseCount = 12) {
    const auto packages = [](const std::vector<size_t>& on, size_t n) {
        auto result = Packages(n, ConstantModel(1.0));
        for (auto& pd : result)
            pd.gridPointCount = 0;
        for (size_t i : on)
            result[i].gridPointCount = 5;
        return result;
    };
    ModuleRecipe recipe;
    recipe.primary.push_back(Entry({}, packages(defined, count)));
    if (transverse) {
        recipe.secondary.push_back(Entry({}, packages(*transverse, transverseCount)));
        recipe.directionDependency = 1;
    }
    return BuildModule(std::move(recipe));
}

std::vector<uint32_t> availableIds(const Module& m) {
    std::vector<uint32_t> ids;
    for (uint32_t id = 0; id < 12; ++id) {
        uint32_t available = 7;
        EXPECT_EQ(Morvex_CheckPackageAvailability(&m, id, &available), 1u);
        if (available == 1) ids.push_back(id);
        EXPECT_LE(available, 1u);
    }
    return ids;
}

uint32_t productionAvailable(const Module& m) {
    uint32_t available = 7;
    EXPECT_EQ(Morvex_CheckProductionPackageAvailability(&m, &available), 1u);
    return available;
}

}  // namespace

TEST(Availability, IdsMapToTheirIndices) {
    const uint32_t idOfIndex[12] = {4, 3, 2, 5, 1, 0, 6, 7, 8, 9, 10, 11};
    for (size_t index = 0; index < 12; ++index) {
        ModulePtr m = moduleDefining({index});
        EXPECT_EQ(availableIds(*m), std::vector<uint32_t>{idOfIndex[index]}) << index;
    }
    ModulePtr m = moduleDefining({1});
    for (uint32_t id : {12u, 100u, 0xFFFFFFFFu})
        EXPECT_EQ(isPackageAvailable(*m, id), 1u) << id;
    m = moduleDefining({0, 2, 3, 4, 5});
    EXPECT_EQ(isPackageAvailable(*m, 12), 0u);
}

TEST(Availability, MissingRecordsAndModulesWithoutEntries) {
    ModulePtr m = moduleDefining({0, 1, 2, 3, 4, 5}, 6);
    EXPECT_EQ(availableIds(*m), (std::vector<uint32_t>{0, 1, 2, 3, 4, 5}));
    m = BuildModule({});
    EXPECT_TRUE(availableIds(*m).empty());
    EXPECT_EQ(productionAvailable(*m), 0u);
}

TEST(Availability, DirectionDependencyNeedsTheTransverseDataToo) {
    ModulePtr m = moduleDefining({6, 7, 8}, 12, std::vector<size_t>{6, 8}, 12);
    EXPECT_EQ(availableIds(*m), (std::vector<uint32_t>{6, 8}));
    m = moduleDefining({6, 7, 8}, 12, std::vector<size_t>{6, 7}, 8);
    EXPECT_EQ(availableIds(*m), (std::vector<uint32_t>{6, 7})) << "index 8 beyond the table";
    m->directionDependency = 0;
    EXPECT_EQ(availableIds(*m), (std::vector<uint32_t>{6, 7, 8})) << "transverse table ignored";
}

TEST(Availability, ProductionRulePairsEightWithTenAndNineWithEleven) {
    EXPECT_EQ(productionAvailable(*moduleDefining({8, 10})), 1u);
    EXPECT_EQ(productionAvailable(*moduleDefining({9, 11})), 1u);
    EXPECT_EQ(productionAvailable(*moduleDefining({8, 11})), 0u);
    EXPECT_EQ(productionAvailable(*moduleDefining({9, 10})), 0u);
    EXPECT_EQ(productionAvailable(*moduleDefining({8, 9, 10, 11}, 12, std::vector<size_t>{9, 11})),
              1u);
}
