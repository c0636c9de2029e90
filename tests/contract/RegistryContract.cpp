// The registry facet's contract: keys opened, created and owned, values
// listed, read and written as stored, and the machine hive's two views.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "contract/ContractTest.h"

namespace vantorell::testing {
namespace {

using platform::Hive;
using platform::RegistryKey;
namespace RegType = platform::RegType;
using platform::RegValue;

using RegistryContract = PlatformContract;

TEST_F(RegistryContract, OpenKeyCreatesMissingKeysAndDropsLeadingBackslash) {
    const std::string path = env_->KeyRoot() + "\\Deeper\\Still";
    EXPECT_FALSE(RegistryKey::Open(P().registry, Hive::CurrentUser, path, false));
    {
        auto key = RegistryKey::Open(P().registry, Hive::CurrentUser, "\\" + path, true);
        ASSERT_TRUE(key);
        key->WriteString("v", "x");
    }
    auto key = RegistryKey::Open(P().registry, Hive::CurrentUser, path, false);
    ASSERT_TRUE(key);
    EXPECT_EQ(key->ReadString("v"), "x");
}

TEST_F(RegistryContract, AKeyMovedAwayHoldsNothing) {
    Reg().WriteString("v", "x");
    RegistryKey moved = std::move(Reg());
    EXPECT_FALSE(Reg().ValueExists("v"));
    EXPECT_TRUE(Reg().ValueNames().empty());
    EXPECT_EQ(Reg().ReadString("v"), "");
    EXPECT_FALSE(Reg().DeleteValue("v"));
    EXPECT_TRUE(moved.ValueExists("v"));
    moved = std::move(Reg());  // closes the key it had
    EXPECT_FALSE(moved.ValueExists("v"));
}

TEST_F(RegistryContract, ValueNamesListEveryValueWithTheDefaultAsEmptyName) {
    auto& reg = Reg();
    EXPECT_TRUE(reg.ValueNames().empty());
    reg.WriteString("Zeta", "1");
    reg.WriteString("alpha", "2");
    reg.WriteString(kCjk, "3");
    reg.WriteString("", "default data");
    auto names = reg.ValueNames();
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"", "Zeta", "alpha", kCjk}));
    EXPECT_EQ(reg.ReadString(""), "default data");
}

TEST_F(RegistryContract, ValuesGiveWhatValueNamesAndQueryGive) {
    auto& reg = Reg();
    EXPECT_TRUE(reg.Values().empty());
    const std::string longText(3000, 'x');  // more than the first guess of a buffer
    reg.WriteString("Zeta", "1");
    reg.WriteString(kCjk, longText);
    reg.WriteInteger("Number", 7);
    reg.WriteString("", "default data");
    auto values = reg.Values();
    std::sort(values.begin(), values.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    ASSERT_EQ(values.size(), 4u);
    for (const auto& [name, value] : values) {
        SCOPED_TRACE(name);
        const auto queried =
            P().registry.OpenKey(Hive::CurrentUser, env_->KeyRoot(), false, platform::KeyAccess::Read)->Query(name);
        ASSERT_TRUE(queried);
        EXPECT_EQ(value.type, queried->type);
        EXPECT_EQ(value.data, queried->data);
    }
    EXPECT_EQ(values[0].first, "");
    EXPECT_EQ(values[3].second.data.substr(0, longText.size()), longText);
}

// A key of thousands of values is read in shares, on several threads where the
// platform has them: every value once, in the order of ValueNames, with its data.
TEST_F(RegistryContract, ValuesOfALargeKeyComeWholeAndInOrder) {
    auto& reg = Reg();
    constexpr int kCount = 3000;
    for (int i = 0; i < kCount; ++i)
        reg.WriteString("Value " + std::to_string(i),
                        std::string(static_cast<std::size_t>(i % 700), 'd') + std::to_string(i));
    const auto names = reg.ValueNames();
    const auto values = reg.Values();
    ASSERT_EQ(values.size(), static_cast<std::size_t>(kCount));
    ASSERT_EQ(names.size(), values.size());
    for (std::size_t i = 0; i < values.size(); ++i) {
        ASSERT_EQ(values[i].first, names[i]);
        const std::string number = values[i].first.substr(6);
        const int n = std::stoi(number);
        ASSERT_EQ(values[i].second.data, std::string(static_cast<std::size_t>(n % 700), 'd') + number);
    }
}

TEST_F(RegistryContract, ValueExistsAndDeleteValue) {
    auto& reg = Reg();
    EXPECT_FALSE(reg.ValueExists("v"));
    EXPECT_FALSE(reg.DeleteValue("v"));
    reg.WriteString("v", "");
    EXPECT_TRUE(reg.ValueExists("v"));
    EXPECT_TRUE(reg.ValueExists("V")) << "value names compare without regard to case";
    EXPECT_TRUE(reg.DeleteValue("v"));
    EXPECT_FALSE(reg.ValueExists("v"));
}

TEST_F(RegistryContract, ReadStringGivesStringsAsStored) {
    PutRaw("plain", RegType::Sz, "C:\\Tools\\t.exe /min");
    PutRaw("expand", RegType::ExpandSz, "%SystemRoot%\\system32\\x.exe");
    PutRaw("nul", RegType::Sz, std::string("before\0after", 12));
    PutRaw("empty", RegType::Sz, "");
    PutRaw("emptybin", RegType::Binary, "");
    PutRaw(kAccented, RegType::Sz, kCjk + " " + kAccented);
    auto& reg = Reg();
    EXPECT_EQ(reg.ReadString("plain"), "C:\\Tools\\t.exe /min");
    EXPECT_EQ(reg.ReadString("expand"), "%SystemRoot%\\system32\\x.exe") << "never expanded";
    EXPECT_EQ(reg.ReadString("nul"), "before") << "cut at the first NUL";
    EXPECT_EQ(reg.ReadString("empty"), "");
    EXPECT_EQ(reg.ReadString("emptybin"), "") << "empty data of another type reads as empty";
    EXPECT_EQ(reg.ReadString("missing"), "");
    EXPECT_EQ(reg.ReadString(kAccented), kCjk + " " + kAccented);
}

TEST_F(RegistryContract, ReadStringOfAnotherTypeRaisesInvalidDataType) {
    PutRaw("num", RegType::Dword, std::string("\x05\0\0\0", 4));
    PutRaw("bin", RegType::Binary, "\x01\x02");
    auto& reg = Reg();
    EXPECT_EQ(ErrorOf([&] { reg.ReadString("num"); }), "Invalid data type for 'num'");
    EXPECT_EQ(ErrorOf([&] { reg.ReadString("bin"); }), "Invalid data type for 'bin'");
}

TEST_F(RegistryContract, ReadInteger) {
    PutRaw("q", RegType::Qword, std::string(8, '\x01'));
    PutRaw("s", RegType::Sz, "a");
    PutRaw("long", RegType::Sz, "longer text");
    auto& reg = Reg();
    reg.WriteInteger("n", 0xDEADBEEF);
    EXPECT_EQ(reg.ReadInteger("n"), 0xDEADBEEFu);
    EXPECT_EQ(ErrorOf([&] { reg.ReadInteger("missing"); }), "Failed to get data for 'missing'");
    EXPECT_EQ(ErrorOf([&] { reg.ReadInteger("q"); }), "Failed to get data for 'q'");
    EXPECT_EQ(ErrorOf([&] { reg.ReadInteger("long"); }), "Failed to get data for 'long'");
    EXPECT_EQ(ErrorOf([&] { reg.ReadInteger("s"); }), "Invalid data type for 's'");
}

TEST_F(RegistryContract, WriteStringAlwaysWritesAPlainString) {
    PutRaw("e", RegType::ExpandSz, "%TEMP%");
    auto& reg = Reg();
    reg.WriteString("e", "%TEMP%\\x");
    reg.WriteString(kCjk, kAccented);
    CloseReg();
    auto key = P().registry.OpenKey(Hive::CurrentUser, env_->KeyRoot(), false, platform::KeyAccess::Read);
    ASSERT_TRUE(key);
    auto e = key->Query("e");
    ASSERT_TRUE(e);
    EXPECT_EQ(e->type, RegType::Sz);
    EXPECT_EQ(e->data, "%TEMP%\\x");
    auto cjk = key->Query(kCjk);
    ASSERT_TRUE(cjk);
    EXPECT_EQ(cjk->data, kAccented);
}

TEST_F(RegistryContract, WritesWithoutAnOpenKeyRaiseFailedToSetData) {
    const RegistryKey holder = std::move(Reg());
    auto& reg = Reg();  // moved from: no key
    EXPECT_EQ(ErrorOf([&] { reg.WriteString("a", "x"); }), "Failed to set data for 'a'");
    EXPECT_EQ(ErrorOf([&] { reg.WriteInteger("b", 1); }), "Failed to set data for 'b'");
}

TEST_F(RegistryContract, KeyObjectsEachOwnAnOpenKey) {
    using platform::RegistryKey;
    const std::string a = env_->KeyRoot() + "\\A";
    const std::string b = env_->KeyRoot() + "\\B";
    EXPECT_FALSE(RegistryKey::Open(P().registry, Hive::CurrentUser, a, false));
    {
        auto first = RegistryKey::Open(P().registry, Hive::CurrentUser, "\\" + a, true);
        auto second = RegistryKey::OpenForListing(P().registry, Hive::CurrentUser, b);
        ASSERT_TRUE(first && second);
        first->WriteString("v", "in a");  // two keys open at once, each writes its own
        second->WriteInteger("n", 7);
        RegistryKey moved = std::move(*first);
        moved.WriteExpandString("e", "%TEMP%");
    }
    auto again = RegistryKey::Open(P().registry, Hive::CurrentUser, a, false);
    ASSERT_TRUE(again);
    EXPECT_EQ(again->ReadString("v"), "in a");
    EXPECT_EQ(again->ReadString("e"), "%TEMP%");
    EXPECT_EQ(RegistryKey::Open(P().registry, Hive::CurrentUser, b, false)->ReadInteger("n"), 7u);
}

TEST_F(RegistryContract, AKeyOpenedForReadingRefusesWrites) {
    Reg().WriteString("v", "x");
    CloseReg();
    auto key = P().registry.OpenKey(Hive::CurrentUser, env_->KeyRoot(), false, platform::KeyAccess::Read);
    ASSERT_TRUE(key);
    EXPECT_FALSE(key->Set("v", RegValue{RegType::Sz, "y"}));
    EXPECT_FALSE(key->Delete("v"));
    EXPECT_EQ(key->Query("v")->data, "x");
}

// On 64-bit Windows the machine's software key has a 32-bit view of its own;
// a key opened in one view does not see the values of the other. On 32-bit
// Windows the two are one.
TEST_F(RegistryContract, MachineHiveHasItsTwoViews) {
    const std::string path = env_->KeyRoot();
    using platform::RegView;
    auto open = [&](RegView view) {
        return P().registry.OpenKey(Hive::LocalMachine, path, true, platform::KeyAccess::Full, view);
    };
    auto k64 = open(RegView::Bits64);
    auto k32 = open(RegView::Bits32);
    ASSERT_TRUE(k64 && k32);
    ASSERT_TRUE(k64->Set("Which", RegValue{RegType::Sz, "64"}));
    ASSERT_TRUE(k32->Set("Which", RegValue{RegType::Sz, "32"}));
    const bool two = P().registry.HasTwoRegistryViews();
    EXPECT_EQ(open(RegView::Bits64)->Query("Which")->data, two ? "64" : "32");
    EXPECT_EQ(open(RegView::Bits32)->Query("Which")->data, "32");
    // The user's hive is one for both views.
    auto user32 = P().registry.OpenKey(Hive::CurrentUser, path, true, platform::KeyAccess::Full, RegView::Bits32);
    ASSERT_TRUE(user32 && user32->Set("Shared", RegValue{RegType::Sz, "yes"}));
    EXPECT_EQ(P().registry.OpenKey(Hive::CurrentUser, path, false, platform::KeyAccess::Read)->Query("Shared")->data,
              "yes");
    k64->Delete("Which");
    k32->Delete("Which");
}

}  // namespace
}  // namespace vantorell::testing
