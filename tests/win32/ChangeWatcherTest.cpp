// The watches of the GUI thread with the real registry and folders: with more
// places than one wait takes handles (63 besides the message queue), a change
// to the last place wakes the thread as a change to the first does; and where
// handles still have to be left out, the watcher says it is not watching, so
// that its owner looks by time instead of trusting a watch that cannot fire.
#include <gtest/gtest.h>
#include <windows.h>

#include <filesystem>
#include <string>
#include <vector>

#include "platform/win32/ChangeWatcher.h"
#include "platform/win32/Utf.h"

namespace vantorell::testing {
namespace {

using platform::WatchPlace;

const std::wstring kBase = L"Software\\VantorellTest\\Watches";

// Runs the GUI thread's loop until the watch's callback has run or `ms` passed.
bool PumpUntil(const int& fired, int before, DWORD ms) {
    const UINT_PTR deadline = SetTimer(nullptr, 0, ms, nullptr);
    MSG msg;
    bool timedOut = false;
    while (fired == before && win32::GetMessageOrChange(msg)) {
        if (msg.message == WM_TIMER && msg.wParam == deadline) {
            timedOut = true;
            break;
        }
        DispatchMessageW(&msg);
    }
    KillTimer(nullptr, deadline);
    return !timedOut;
}

TEST(ChangeWatcherWin32, EveryOneOfEightyKeysWakesTheLoop) {
    constexpr int kKeys = 80;
    std::vector<WatchPlace> places;
    for (int i = 0; i < kKeys; ++i) {
        const std::wstring path = kBase + L"\\Key" + std::to_wstring(i);
        HKEY key = nullptr;
        ASSERT_EQ(
            RegCreateKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
            ERROR_SUCCESS);
        RegCloseKey(key);
        WatchPlace place;
        place.kind = WatchPlace::Kind::Key;
        place.path = win32::Narrow(path);
        places.push_back(place);
    }
    int fired = 0;
    {
        win32::ChangeWatcher watcher(places, [&fired] {
            ++fired;
            PostThreadMessageW(GetCurrentThreadId(), WM_NULL, 0, 0);  // the loop returns to the test
        });
        for (int target : {0, kKeys / 2, kKeys - 1}) {
            SCOPED_TRACE(target);
            const int before = fired;
            const std::wstring path = kBase + L"\\Key" + std::to_wstring(target);
            const DWORD data = 1;
            ASSERT_EQ(RegSetKeyValueW(HKEY_CURRENT_USER, path.c_str(), L"Changed", REG_DWORD, &data, sizeof data),
                      ERROR_SUCCESS);
            EXPECT_TRUE(PumpUntil(fired, before, 5000)) << "the change was not seen";
            EXPECT_TRUE(watcher.Armed());
        }
    }
    RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\VantorellTest");
}

TEST(ChangeWatcherWin32, AWatcherWithHandlesLeftOutSaysItIsNotWatching) {
    // One handle a folder: seventy folders are more than one wait takes.
    wchar_t temp[MAX_PATH + 1];
    ASSERT_GT(GetTempPathW(MAX_PATH + 1, temp), 0u);
    const std::filesystem::path root = std::filesystem::path(temp) / L"vt-watch-folders";
    std::vector<WatchPlace> places;
    for (int i = 0; i < 70; ++i) {
        const auto folder = root / std::to_wstring(i);
        std::filesystem::create_directories(folder);
        WatchPlace place;
        place.kind = WatchPlace::Kind::Folder;
        place.path = win32::Narrow(folder.wstring());
        places.push_back(place);
    }
    {
        win32::ChangeWatcher watcher(places, [] {});
        PostThreadMessageW(GetCurrentThreadId(), WM_NULL, 0, 0);
        MSG msg;
        ASSERT_TRUE(win32::GetMessageOrChange(msg));  // one wait, which leaves handles out
        EXPECT_FALSE(watcher.Armed());
    }
    std::error_code ignored;
    std::filesystem::remove_all(root, ignored);
}

}  // namespace
}  // namespace vantorell::testing
