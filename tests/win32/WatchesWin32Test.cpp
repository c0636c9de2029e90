// The watches with the real registry: one wait holds at most 63 handles, and
// a watcher whose places do not all fit into it says that it does not watch
// them (its owner then looks for itself), instead of leaving them out unsaid.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "platform/win32/ChangeWatcher.h"

namespace vantorell::testing {
namespace {

std::vector<platform::WatchPlace> Keys(const std::string& prefix, int count) {
    std::vector<platform::WatchPlace> places;
    for (int i = 0; i < count; ++i)
        places.push_back({platform::WatchPlace::Kind::Key, platform::Hive::CurrentUser, platform::RegView::Bits64,
                          "Software\\VantorellWatchTest\\" + prefix + std::to_string(i)});
    return places;
}

TEST(WatchesWin32, EveryPlaceFitsOneWaitOrTheWatcherSaysItDoesNotWatch) {
    // A key and its parent share one handle: 40 keys, 40 handles.
    const win32::ChangeWatcher forty(Keys("a", 40), [] {});
    EXPECT_TRUE(forty.Armed());
    {
        const win32::ChangeWatcher more(Keys("b", 30), [] {});
        EXPECT_FALSE(more.Armed());  // 70 handles: the last 7 are not in the wait
        EXPECT_TRUE(forty.Armed());
    }
    RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\VantorellWatchTest");
}

}  // namespace
}  // namespace vantorell::testing
