// Display positions: the O(n log n) rule against the plain quadratic one.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "StoreTestScene.h"
#include "store/DisplayPositions.h"

namespace vantorell::testing {
namespace {

// The rule as first described: search the sorted names for the first equal one,
// then step past the positions already given.
std::vector<int> QuadraticPositions(platform::Locale& locale, const std::vector<std::string>& names) {
    auto sorted = names;
    text::SortNoCase(locale, sorted);
    std::vector<int> positions;
    for (const auto& name : names) {
        int pos = 0;
        while (locale.CompareNoCase(sorted[pos], name) != 0) ++pos;
        while (std::find(positions.begin(), positions.end(), pos) != positions.end()) ++pos;
        positions.push_back(pos);
    }
    return positions;
}

// The memory platform's locale without sort keys, as a system that offers
// none: the order then comes from CompareNoCase itself.
class KeylessLocale final : public platform::Locale {
public:
    explicit KeylessLocale(platform::Locale& inner) : inner_(inner) {}
    std::string AnsiToUtf8(std::string_view b) override { return inner_.AnsiToUtf8(b); }
    int CompareNoCase(std::string_view a, std::string_view b) override {
        ++compares;
        return inner_.CompareNoCase(a, b);
    }
    std::string FoldCase(std::string_view t) override { return inner_.FoldCase(t); }
    std::optional<std::string> SortKeyNoCase(std::string_view) override { return std::nullopt; }

    std::size_t compares = 0;

private:
    platform::Locale& inner_;
};

std::vector<int> FastPositions(platform::Locale& locale, const std::vector<std::string>& names) {
    std::vector<const std::string*> refs;
    for (const auto& n : names) refs.push_back(&n);
    return store::DisplayPositions(locale, refs);
}

TEST(StorePositions, EqualAndCaseDifferentNamesTakeConsecutivePlacesInTableOrder) {
    platform::MemoryPlatform p;
    const std::vector<std::string> names = {"b", "A", "a", "B", "a", "", "\xC3\x89t\xC3\xA9", "\xC3\xA9T\xC3\x89"};
    EXPECT_EQ(FastPositions(p, names), (std::vector<int>{4, 1, 2, 5, 3, 0, 6, 7}));
    EXPECT_EQ(FastPositions(p, names), QuadraticPositions(p, names));
}

TEST(StorePositions, SameAsTheQuadraticRuleOnRandomTables) {
    platform::MemoryPlatform p;
    KeylessLocale keyless(p);
    const std::vector<std::string> pool = {
        "a",   "A", "b",    "B",    "ab",       "aB",       "Ab",           "",     "\xC3\xA9", "\xC3\x89",
        "a;b", "z", "\xFF", "\xC3", "\xD0\x96", "\xD0\xB6", "\xE5\x90\xAF", "\x7F", "[",        "_"};
    std::mt19937 rng(20240611);
    for (int trial = 0; trial < 300; ++trial) {
        std::vector<std::string> names(rng() % 60);
        for (auto& n : names) n = pool[rng() % pool.size()] + pool[rng() % pool.size()];
        const auto expected = QuadraticPositions(p, names);
        ASSERT_EQ(FastPositions(p, names), expected) << "trial " << trial;
        ASSERT_EQ(FastPositions(keyless, names), expected) << "trial " << trial;
        auto sorted = names, byKeys = names;
        std::stable_sort(sorted.begin(), sorted.end(),
                         [&p](const std::string& a, const std::string& b) { return p.CompareNoCase(a, b) < 0; });
        text::SortNoCase(p, byKeys);
        ASSERT_EQ(byKeys, sorted) << "trial " << trial;
    }
    EXPECT_GT(keyless.compares, 0u);
}

TEST(StorePositions, SortKeysOrderAsTheComparison) {
    platform::MemoryPlatform p;
    std::mt19937 rng(99);
    const std::string alphabet[] = {"a",
                                    "A",
                                    "z",
                                    "Z",
                                    "0",
                                    ";",
                                    "\xC3\xA9",
                                    "\xC3\x89",
                                    "\xC3\x9F",
                                    "\xFF",
                                    "\xE5\x90\xAF",
                                    "\xF0\x9F\x98\x80",
                                    "\xC3",
                                    "\xD0\x96",
                                    "\xD0\xB6"};
    auto random = [&] {
        std::string s;
        for (int k = rng() % 5; k > 0; --k) s += alphabet[rng() % std::size(alphabet)];
        return s;
    };
    auto sign = [](int v) { return (v > 0) - (v < 0); };
    for (int i = 0; i < 20000; ++i) {
        const auto a = random(), b = random();
        const auto ka = p.SortKeyNoCase(a), kb = p.SortKeyNoCase(b);
        ASSERT_TRUE(ka && kb);
        ASSERT_EQ(sign(ka->compare(*kb)), sign(p.CompareNoCase(a, b))) << a << " | " << b;
    }
}

}  // namespace
}  // namespace vantorell::testing
