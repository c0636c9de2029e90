// Where a copy keeps its files: decided by the setup's marker alone.
#include <gtest/gtest.h>

#include "app/common/FileLayout.h"
#include "platform/memory/MemoryPlatform.h"
#include "store/AutostartStore.h"

namespace vantorell::testing {
namespace {

using app::FileLayout;
using app::ListOwner;

constexpr const char* kExe = "C:\\Program Files\\Vantorell\\vantorell.exe";
constexpr const char* kMarker = "C:\\Program Files\\Vantorell\\Vantorell.installed";
constexpr const char* kUserList = "C:\\Users\\user\\AppData\\Local\\Vantorell\\StartupList.txt";
constexpr const char* kMachineList = "C:\\ProgramData\\Vantorell\\StartupList.txt";
constexpr const char* kBesideExe = "C:\\Program Files\\Vantorell\\StartupList.txt";

TEST(FileLayout, TheMarkerAloneMakesACopyInstalledWhateverItsRights) {
    platform::MemoryPlatform p;
    p.SetExecutablePath(kExe);
    for (const bool standardUser : {false, true}) {
        p.SetStandardUser(standardUser);
        const auto portable = FileLayout::Detect(p);
        EXPECT_FALSE(portable.IsInstalled());
        ASSERT_EQ(portable.Lists().size(), 1u);
        EXPECT_EQ(portable.Lists()[0].path, kBesideExe);
        store::AutostartStore store(p, portable.Lists()[0].path, portable.MachineList());
        EXPECT_EQ(store.ListFileOf("lrun"), kBesideExe) << "one list holds every record";
        EXPECT_EQ(portable.UserFile("ResF.txt"), "C:\\Program Files\\Vantorell\\ResF.txt");
    }
    p.PutFile(kMarker, "");
    for (const bool standardUser : {false, true}) {
        p.SetStandardUser(standardUser);
        const auto installed = FileLayout::Detect(p);
        EXPECT_TRUE(installed.IsInstalled());
        ASSERT_EQ(installed.Lists().size(), 2u);
        EXPECT_EQ(installed.Lists()[0].owner, ListOwner::User);
        EXPECT_EQ(installed.Lists()[0].path, kUserList);
        EXPECT_EQ(installed.Lists()[1].owner, ListOwner::Machine);
        EXPECT_EQ(installed.Lists()[1].path, kMachineList);
        EXPECT_EQ(installed.ListBesideExecutable(), kBesideExe);
        EXPECT_EQ(installed.UserFile("data.txt"), "C:\\Users\\user\\AppData\\Local\\Vantorell\\data.txt");
    }
    p.SetKnownFolder(platform::KnownFolder::ProgramData, std::nullopt);
    EXPECT_FALSE(FileLayout::Detect(p).IsInstalled()) << "without the shared folder there is nowhere else to go";
}

TEST(FileLayout, EveryPlaceHasTheListOfWhoseItIs) {
    const auto layout = FileLayout::Installed("C:\\App", "C:\\Users\\u\\AppData\\Local", "C:\\ProgramData");
    platform::MemoryPlatform p;
    store::AutostartStore store(p, layout.Lists()[0].path, layout.MachineList());
    struct Case {
        const char* code;
        ListOwner owner;
    } cases[] = {
        {"SUF", ListOwner::User},       {"crun", ListOwner::User},         {"crunonce", ListOwner::User},
        {"DSUF", ListOwner::Machine},   {"lrun", ListOwner::Machine},      {"lrunonceex", ListOwner::Machine},
        {"lrun32", ListOwner::Machine}, {"lrunsex32", ListOwner::Machine}, {"Crun", ListOwner::User},
        {"", ListOwner::User},          {"nowhere", ListOwner::User},
    };
    for (const auto& c : cases) {
        const auto& list = layout.Lists()[c.owner == ListOwner::Machine ? 1 : 0];
        EXPECT_EQ(list.owner, c.owner) << c.code;
        EXPECT_EQ(store.ListFileOf(c.code), list.path) << c.code;
        EXPECT_EQ(store::IsMachinePlace(c.code), c.owner == ListOwner::Machine) << c.code;
    }
}

}  // namespace
}  // namespace vantorell::testing
