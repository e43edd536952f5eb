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
// `defined`, out of `count` records; with `transverse`, direction dependent.
ModulePtr moduleDefining(std::vector<size_t> defined, size_t count = 12,
                         std::optional<std::vector<size_t>> transverse = std::nullopt,
                         size_t transverseCount = 12) {
    const auto packages = [](const std::vector<size_t>& on, size_t n) {
        auto result = Packages(n, ConstantModel(1.0, 0));
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

// The ids 0..11 the C function reports available, and the production rule.
std::vector<uint32_t> availableIds(const Module& m) {
    std::vector<uint32_t> ids;
    for (uint32_t id = 0; id < 13; ++id) {
        uint32_t available = 7;
        EXPECT_EQ(id < 12 ? Morvex_CheckPackageAvailability(&m, id, &available)
                          : Morvex_CheckProductionPackageAvailability(&m, &available),
                  1u);
        EXPECT_LE(available, 1u);
        if (available == 1) ids.push_back(id < 12 ? id : 99);
    }
    return ids;
}

}  // namespace

TEST(Availability, IdsMapToTheirIndices) {
    const uint32_t idOfIndex[12] = {4, 3, 2, 5, 1, 0, 6, 7, 8, 9, 10, 11};
    for (size_t index = 0; index < 12; ++index)
        EXPECT_EQ(availableIds(*moduleDefining({index})), std::vector{idOfIndex[index]}) << index;
    for (uint32_t id : {12u, 100u, 0xFFFFFFFFu}) {
        EXPECT_EQ(isPackageAvailable(*moduleDefining({1}), id), 1u) << id;
        EXPECT_EQ(isPackageAvailable(*moduleDefining({0, 2, 3, 4, 5}), id), 0u) << id;
    }
}

TEST(Availability, TablesShortOrTransverseAndTheProductionRule) {
    // 99 stands for the production rule: 8 with 10 or 9 with 11.
    const struct {
        ModulePtr m;
        std::vector<uint32_t> ids;
    } cases[] = {
        {moduleDefining({0, 1, 2, 3, 4, 5}, 6), {0, 1, 2, 3, 4, 5}},
        {BuildModule({}), {}},
        {moduleDefining({6, 7, 8}, 12, std::vector<size_t>{6, 8}), {6, 8}},
        {moduleDefining({6, 7, 8}, 12, std::vector<size_t>{6, 7}, 8), {6, 7}},  // 8 past the end
        {moduleDefining({8, 10}), {8, 10, 99}},
        {moduleDefining({9, 11}), {9, 11, 99}},
        {moduleDefining({8, 11}), {8, 11}},
        {moduleDefining({9, 10}), {9, 10}},
        {moduleDefining({8, 9, 10, 11}, 12, std::vector<size_t>{9, 11}), {9, 11, 99}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(availableIds(*c.m), c.ids) << &c - cases;
    cases[3].m->directionDependency = 0;
    EXPECT_EQ(availableIds(*cases[3].m), (std::vector<uint32_t>{6, 7, 8})) << "transverse ignored";
}
