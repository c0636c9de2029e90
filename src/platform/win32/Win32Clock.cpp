#include "platform/win32/Win32Clock.h"

#include <windows.h>

#include <chrono>

#include "platform/win32/ChangeWatcher.h"

namespace vantorell::platform {

namespace {

// Thread timers have no window; the callback finds its clock here.
Win32Clock* g_timerOwner = nullptr;

}  // namespace

Win32Clock::Win32Clock() {
    g_timerOwner = this;
}

Win32Clock::~Win32Clock() {
    for (const auto& [id, cb] : timers_) KillTimer(nullptr, id);
    if (g_timerOwner == this) g_timerOwner = nullptr;
}

void CALLBACK Win32Clock::OnTimer(HWND, UINT, UINT_PTR id, DWORD) {
    if (!g_timerOwner) return;
    const auto it = g_timerOwner->timers_.find(id);
    if (it == g_timerOwner->timers_.end()) return;
    auto callback = it->second;  // stays alive if the callback stops its own timer
    (*callback)();
}

TimerId Win32Clock::StartTimer(unsigned intervalMs, TimerCallback callback) {
    const UINT_PTR id = SetTimer(nullptr, 0, intervalMs, &Win32Clock::OnTimer);
    if (id == 0) return 0;
    timers_[id] = std::make_shared<TimerCallback>(std::move(callback));
    return static_cast<TimerId>(id);
}

void Win32Clock::StopTimer(TimerId id) {
    if (timers_.erase(id)) KillTimer(nullptr, id);
}

std::uint64_t Win32Clock::TickMs() {
    return static_cast<std::uint64_t>(
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
            .count());
}

std::unique_ptr<ChangeWatch> Win32Clock::WatchPlaces(const std::vector<WatchPlace>& places, ChangeCallback onChange) {
    return std::make_unique<win32::ChangeWatcher>(places, std::move(onChange));
}

}  // namespace vantorell::platform
