// Time on Windows: thread timers of the GUI thread (one clock a program),
// the steady clock, and the change watches (ChangeWatcher).
//
// Make it on the GUI thread: its timers fire in that thread's message loop.
#pragma once

#include <windows.h>

#include <map>

#include "platform/Clock.h"

namespace vantorell::platform {

class Win32Clock final : public Clock {
public:
    Win32Clock();
    ~Win32Clock();
    Win32Clock(const Win32Clock&) = delete;
    Win32Clock& operator=(const Win32Clock&) = delete;

    TimerId StartTimer(unsigned intervalMs, TimerCallback callback) override;
    void StopTimer(TimerId id) override;
    std::uint64_t TickMs() override;
    std::unique_ptr<ChangeWatch> WatchPlaces(const std::vector<WatchPlace>& places, ChangeCallback onChange) override;

private:
    static void CALLBACK OnTimer(HWND, UINT, UINT_PTR id, DWORD);

    std::map<UINT_PTR, std::shared_ptr<TimerCallback>> timers_;
};

}  // namespace vantorell::platform
