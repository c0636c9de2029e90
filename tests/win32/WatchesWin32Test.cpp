// The watches with the real registry: one wait holds at most 63 handles, and
// a watcher whose places do not all fit into it says that it does not watch
// them (its owner then looks for itself), instead of leaving them out unsaid.
#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "platform/win32/ChangeWatcher.h"

namespace vantorell::testing {
namespace {

// `count` keys made under one parent, and their places.
std::vector<platform::WatchPlace> Keys(const std::string& prefix, int count) {
    std::vector<platform::WatchPlace> places;
    for (int i = 0; i < count; ++i) {
        const std::string path = "Software\\VantorellWatchTest\\" + prefix + "\\" + std::to_string(i);
        HKEY key = nullptr;
        if (RegCreateKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr) ==
            ERROR_SUCCESS)
            RegCloseKey(key);
        places.push_back({platform::WatchPlace::Kind::Key, platform::Hive::CurrentUser, platform::RegView::Bits64, path});
    }
    return places;
}

TEST(WatchesWin32, EveryPlaceFitsOneWaitOrTheWatcherSaysItDoesNotWatch) {
    // 40 keys under one parent: 41 handles.
    const win32::ChangeWatcher forty(Keys("a", 40), [] {});
    EXPECT_TRUE(forty.Armed());
    // Keys that do not exist yet are watched through their nearest parent,
    // one handle for all of them.
    const win32::ChangeWatcher missing(
        {{platform::WatchPlace::Kind::Key, platform::Hive::CurrentUser, platform::RegView::Bits64,
          "Software\\VantorellWatchTest\\none\\x"},
         {platform::WatchPlace::Kind::Key, platform::Hive::CurrentUser, platform::RegView::Bits64,
          "Software\\VantorellWatchTest\\none\\y"}},
        [] {});
    EXPECT_TRUE(missing.Armed());
    {
        const win32::ChangeWatcher more(Keys("b", 30), [] {});
        EXPECT_FALSE(more.Armed());  // 30 more and their parent: the last 10 are not in the wait
        EXPECT_TRUE(forty.Armed());
    }
    RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\VantorellWatchTest");
}

// Pumps the thread's messages and the watches until `done` or the deadline.
template <class Done>
bool ServeUntil(DWORD deadlineMs, Done done) {
    const DWORD start = GetTickCount();
    const UINT_PTR tick = SetTimer(nullptr, 0, 10, nullptr);  // wakes the wait to look at `done`
    MSG msg;
    bool ok = false;
    while (!(ok = done()) && GetTickCount() - start < deadlineMs && win32::GetMessageOrChange(msg)) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    KillTimer(nullptr, tick);
    return ok;
}

TEST(WatchesWin32, AKeyWrittenInBurstsIsStillWatchedAfterEachBurst) {
    // A burst (an installer making a service key and writing its values) goes
    // on while the watch is armed again after the first write of it. A write
    // after the burst must still be seen, however the burst fell around the
    // arming: 40 bursts, each followed by one write that must be told.
    const std::wstring path = L"Software\\VantorellWatchTest\\burst";
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    int told = 0;
    const win32::ChangeWatcher watcher(
        {{platform::WatchPlace::Kind::Key, platform::Hive::CurrentUser, platform::RegView::Bits64,
          "Software\\VantorellWatchTest\\burst", true}},
        [&told] { ++told; });
    ASSERT_TRUE(watcher.Armed());
    const auto write = [key](DWORD n) {
        RegSetValueExW(key, L"v", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&n), sizeof n);
    };
    for (DWORD round = 0; round < 40; ++round) {
        std::atomic<bool> writing{true};
        std::thread burst([&] {
            for (DWORD i = 0; i < 300; ++i) write(round * 1000 + i);
            writing = false;
        });
        ServeUntil(2000, [&] { return !writing.load(); });
        burst.join();
        ServeUntil(50, [] { return false; });  // what the burst signalled is taken up
        told = 0;
        write(round * 1000 + 999);
        ASSERT_TRUE(ServeUntil(1000, [&] { return told > 0; })) << "a write after burst " << round << " was not told";
    }
    RegCloseKey(key);
    RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\VantorellWatchTest");
}

}  // namespace
}  // namespace vantorell::testing
