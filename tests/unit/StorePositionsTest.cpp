// Display positions: the O(n log n) rule against the plain quadratic one.
#include <gtest/gtest.h>

#include <random>

#include "StoreTestScene.h"
#include "store/DisplayPositions.h"

namespace vantorell::testing {
namespace {

// The rule as first described: search the sorted names for the first equal one,
// then step past the positions already given.
std::vector<int> QuadraticPositions(platform::Platform& p, const std::vector<std::string>& names) {
    auto sorted = names;
    text::SortNoCase(p, sorted);
    std::vector<int> positions;
    for (const auto& name : names) {
        int pos = 0;
        while (p.CompareNoCase(sorted[pos], name) != 0) ++pos;
        while (std::find(positions.begin(), positions.end(), pos) != positions.end()) ++pos;
        positions.push_back(pos);
    }
    return positions;
}

std::vector<int> FastPositions(platform::Platform& p, const std::vector<std::string>& names) {
    std::vector<const std::string*> refs;
    for (const auto& n : names) refs.push_back(&n);
    return store::DisplayPositions(p, refs);
}

TEST(StorePositions, EqualAndCaseDifferentNamesTakeConsecutivePlacesInTableOrder) {
    platform::MemoryPlatform p;
    const std::vector<std::string> names = {"b", "A", "a", "B", "a", "", "\xC3\x89t\xC3\xA9", "\xC3\xA9T\xC3\x89"};
    EXPECT_EQ(FastPositions(p, names), (std::vector<int>{4, 1, 2, 5, 3, 0, 6, 7}));
    EXPECT_EQ(FastPositions(p, names), QuadraticPositions(p, names));
}

TEST(StorePositions, SameAsTheQuadraticRuleOnRandomTables) {
    platform::MemoryPlatform p;
    const std::vector<std::string> pool = {"a",  "A", "b",        "B",        "ab",  "aB",
                                           "Ab", "",  "\xC3\xA9", "\xC3\x89", "a;b", "z"};
    std::mt19937 rng(20240611);
    for (int trial = 0; trial < 300; ++trial) {
        std::vector<std::string> names(rng() % 60);
        for (auto& n : names) n = pool[rng() % pool.size()];
        ASSERT_EQ(FastPositions(p, names), QuadraticPositions(p, names)) << "trial " << trial;
    }
}

}  // namespace
}  // namespace vantorell::testing
