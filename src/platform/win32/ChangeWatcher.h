// The places the monitor reads, watched on the GUI thread itself:
// RegNotifyChangeKeyValue on each key (and on its nearest existing parent for
// subkeys coming and going, so a key deleted and made again, or one that does
// not exist yet, is seen), FindFirstChangeNotification on each folder.
// Every registration has an event of its own: registering resets its event,
// so a key and its parent sharing one would lose the key's change that comes
// between the two registrations, and with it every later one (the key's
// notification is spent, and nothing arms it again). The
// GUI thread's message loop waits on the notifications together with its
// messages (GetMessageOrChange); a signal re-arms the watch that fired, then
// runs the callback. No thread of its own: under Wine every thread costs about
// a megabyte of private memory, more than everything else the monitor holds.
// A modal loop (a message box, a dialog, a menu) runs a message loop of its
// own: while one is open, a ModalLoop scope serves the watches by a short timer.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "platform/Clock.h"
#include "platform/win32/WinHandles.h"

namespace vantorell::win32 {

using platform::ChangeCallback;
using platform::ChangeWatch;
using platform::Hive;
using platform::RegView;
using platform::WatchPlace;

// GetMessageW for the GUI thread's message loop, which also serves the change
// watches of this thread while it waits. False on WM_QUIT.
bool GetMessageOrChange(MSG& msg);

// How often the watches are looked at while a modal loop runs.
inline constexpr UINT kModalPollMs = platform::kModalPollMs;

// Open one around every modal loop of the GUI thread (message boxes, dialogs,
// menus, moving the window, waiting for another process): while the outermost
// is open, a thread timer, which modal loops dispatch, takes up the signals of
// the watches without waiting. Scopes nest; with none open no timer runs, so a
// program at rest is never woken.
class ModalLoop {
public:
    ModalLoop();
    ~ModalLoop();
    ModalLoop(const ModalLoop&) = delete;
    ModalLoop& operator=(const ModalLoop&) = delete;
};

class ChangeWatcher final : public ChangeWatch {
public:
    // Create it on the GUI thread; every place is watched before it returns.
    ChangeWatcher(const std::vector<WatchPlace>& places, ChangeCallback onChange);
    ~ChangeWatcher() override;
    ChangeWatcher(const ChangeWatcher&) = delete;
    ChangeWatcher& operator=(const ChangeWatcher&) = delete;

    bool Armed() const override;

private:
    friend bool GetMessageOrChange(MSG& msg);
    friend class ModalLoop;

    struct FolderNotification {
        HANDLE h = INVALID_HANDLE_VALUE;
        FolderNotification() = default;
        FolderNotification(const FolderNotification&) = delete;
        FolderNotification& operator=(const FolderNotification&) = delete;
        ~FolderNotification() { Close(); }
        void Close() {
            if (h != INVALID_HANDLE_VALUE) FindCloseChangeNotification(h);
            h = INVALID_HANDLE_VALUE;
        }
    };
    // One place: for a key, the key itself (when it exists) with its event,
    // and the parent it is watched through; for a folder, its notification.
    struct Slot {
        WatchPlace place;
        UniqueHKey key;
        UniqueHandle event;
        FolderNotification folder;
        std::size_t parent = kNoParent;  // index into parents_ (keys only)
        bool armed = false;
        bool waited = true;  // its handle is in the wait (false beyond the wait's limit)
    };
    // The nearest existing parent of one or more keys, watched for subkeys
    // coming and going: keys under one parent (the Run keys under
    // CurrentVersion) share its registration, which keeps the handles few.
    struct Parent {
        Hive hive = Hive::CurrentUser;
        RegView view = RegView::Bits64;
        std::wstring path;  // empty: the hive's root
        UniqueHKey key;
        UniqueHandle event;
        bool armed = false;
        bool waited = true;
        bool used = false;  // a slot is watched through it
    };
    struct Waitable {
        HANDLE handle;
        ChangeWatcher* owner;
        std::size_t index;  // of a slot, or of a parent
        bool parent;
    };
    static constexpr std::size_t kNoParent = static_cast<std::size_t>(-1);

    bool Arm(Slot& slot);
    bool ArmKey(Slot& slot);
    bool ArmParent(Parent& parent);
    // The parent entry for `path`, made and armed when it is new.
    std::size_t ParentFor(Hive hive, RegView view, const std::wstring& path);
    void AddWaitables(std::vector<Waitable>& out);
    bool& Waited(const Waitable& w);
    // A notification fired: re-arm what it belongs to (for a parent, also the
    // keys under it, which may have come or gone), then tell the owner. The
    // callback may end this watcher: nothing of it is touched afterwards.
    void Signalled(const Waitable& w);
    // Tries the places not watched yet; tells the owner when one is watched now.
    void RetryUnarmed();
    // The handles of every live watcher, at most as many as one wait takes;
    // a place beyond that is marked as not waited for. False when a place is
    // not watched.
    static bool CollectWaitables(std::vector<Waitable>& waitables, std::vector<HANDLE>& handles);
    static void RetryAllUnarmed();
    // The modal loop's timer: every signal pending now, without waiting.
    static void CALLBACK ServeWithoutWaiting(HWND, UINT, UINT_PTR, DWORD);

    std::vector<Slot> slots_;
    std::vector<Parent> parents_;
    ChangeCallback onChange_;
};

}  // namespace vantorell::win32
