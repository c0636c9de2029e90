// The real Windows behind the platform: one object of each facet
// (Win32Registry, Win32Files, Win32Locale, Win32Shell, Win32Clock,
// Win32Locks, Win32Processes, Win32FileIdentity, Win32Services), and the bundle
// of them.
//
// Create it on the GUI thread: it initialises COM there for its lifetime (or
// from its first use there), and its timers fire in that thread's message loop.
#pragma once

#include <windows.h>

#include <optional>

#include "platform/Platform.h"
#include "platform/win32/DeniedWrites.h"
#include "platform/win32/Win32Clock.h"
#include "platform/win32/Win32FileIdentity.h"
#include "platform/win32/Win32Files.h"
#include "platform/win32/Win32Locale.h"
#include "platform/win32/Win32Locks.h"
#include "platform/win32/Win32Processes.h"
#include "platform/win32/Win32Registry.h"
#include "platform/win32/Win32Services.h"
#include "platform/win32/Win32Shell.h"
#include "platform/win32/WinHandles.h"

namespace vantorell::win32 {

// What the facets of one Windows platform are made of, made before the bundle
// that refers to them and ended after it: COM last.
struct Win32Facets {
    explicit Win32Facets(ComScope::Start start) : com(start) {}
    ComScope com;
    DeniedWrites denied;  // counted by the registry and the files, told by the processes
    platform::Win32Registry win32Registry{denied};
    platform::Win32Files win32Files{denied, com};
    platform::Win32Locale win32Locale;
    platform::Win32Shell win32Shell{com};
    platform::Win32Clock win32Clock;
    platform::Win32Locks win32Locks{win32Clock};
    platform::Win32Processes win32Processes{denied};
    platform::Win32FileIdentity win32FileIdentity;
    platform::Win32Services win32Services{denied};
};

}  // namespace vantorell::win32

namespace vantorell::platform {

class Win32Platform final : private win32::Win32Facets, public Platform {
public:
    // COM from the start (the window's thread), or only once a shortcut is read
    // or written or the shell starts something (the console companion).
    explicit Win32Platform(win32::ComScope::Start com = win32::ComScope::Start::Now)
        : Win32Facets(com),
          Platform{win32Registry, win32Files, win32Locale,    win32Shell,
                   win32Clock,    win32Locks, win32Processes, win32FileIdentity, win32Services} {}
    Win32Platform(const Win32Platform&) = delete;
    Win32Platform& operator=(const Win32Platform&) = delete;

    // Message boxes without an explicit owner are owned by this window, and it
    // takes no clicks while an elevated program runs.
    void SetOwnerWindow(HWND owner) {
        win32Shell.SetOwnerWindow(owner);
        win32Processes.SetOwnerWindow(owner);
    }

    // For the platform's own tests: file writes fail with ERROR_DISK_FULL after
    // this many bytes have been written.
    void SetWriteLimitForTesting(std::optional<std::size_t> bytes) { win32Files.SetWriteLimitForTesting(bytes); }
};

}  // namespace vantorell::platform
