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

// The memory platform without sort keys, as a platform that offers none: the
// order then comes from CompareNoCase itself.
class KeylessPlatform final : public platform::Platform {
public:
    std::unique_ptr<platform::RegKey> OpenKey(platform::Hive h, std::string_view path, bool create,
                                              platform::KeyAccess access,
                                              platform::RegView view = platform::RegView::Bits64) override {
        return m.OpenKey(h, path, create, access, view);
    }
    bool HasTwoRegistryViews() override { return m.HasTwoRegistryViews(); }
    bool ReadShortcut(std::string_view f, platform::ShortcutData& out) override { return m.ReadShortcut(f, out); }
    bool WriteShortcut(std::string_view f, const platform::ShortcutData& d) override { return m.WriteShortcut(f, d); }
    std::vector<std::string> ListShortcutFiles(std::string_view f) override { return m.ListShortcutFiles(f); }
    bool FileExists(std::string_view f) override { return m.FileExists(f); }
    bool RemoveFile(std::string_view f) override { return m.RemoveFile(f); }
    platform::FileRead ReadFile(std::string_view f) override { return m.ReadFile(f); }
    platform::Status WriteFileAtomic(std::string_view f, std::string_view b) override {
        return m.WriteFileAtomic(f, b);
    }
    std::string ExecutablePath() override { return m.ExecutablePath(); }
    std::string AnsiToUtf8(std::string_view b) override { return m.AnsiToUtf8(b); }
    int CompareNoCase(std::string_view a, std::string_view b) override {
        ++compares;
        return m.CompareNoCase(a, b);
    }
    std::string FoldCase(std::string_view t) override { return m.FoldCase(t); }
    int ShowMessageBox(std::string_view t, std::string_view c, unsigned s) override {
        return m.ShowMessageBox(t, c, s);
    }
    bool StartCommand(std::string_view c) override { return m.StartCommand(c); }
    bool ShellOpen(std::string_view p, std::string_view v) override { return m.ShellOpen(p, v); }
    platform::TimerId StartTimer(unsigned ms, platform::TimerCallback cb) override { return m.StartTimer(ms, cb); }
    void StopTimer(platform::TimerId id) override { m.StopTimer(id); }
    bool LockExists(std::string_view n) override { return m.LockExists(n); }
    std::unique_ptr<platform::NamedLock> CreateLock(std::string_view n) override { return m.CreateLock(n); }
    bool RaiseWindowByTitle(std::string_view t) override { return m.RaiseWindowByTitle(t); }
    std::optional<std::string> KnownFolderPath(platform::KnownFolder f) override { return m.KnownFolderPath(f); }
    bool CreateFolder(std::string_view f) override { return m.CreateFolder(f); }
    bool IsElevated() override { return m.IsElevated(); }
    std::uint64_t AccessDeniedCount() override { return m.AccessDeniedCount(); }
    platform::ElevatedRun RunElevated(std::string_view f, std::string_view a) override { return m.RunElevated(f, a); }

    platform::MemoryPlatform m;
    std::size_t compares = 0;
};

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
    KeylessPlatform keyless;
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
