#include "platform/win32/ChangeWatcher.h"

#include <algorithm>
#include <string>

#include "platform/win32/Utf.h"

namespace vantorell::win32 {
namespace {

// How often the loop tries again to watch a place it could not watch.
constexpr DWORD kRetryMs = 5000;

// The live watchers of the GUI thread.
std::vector<ChangeWatcher*>& Watchers() {
    static std::vector<ChangeWatcher*> watchers;
    return watchers;
}

HKEY RootOf(Hive hive) {
    return hive == Hive::CurrentUser ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE;
}

REGSAM NotifyAccess(RegView view) {
    return KEY_NOTIFY | (view == RegView::Bits32 ? KEY_WOW64_32KEY : KEY_WOW64_64KEY);
}

// Registers `key` for one change notification into `event` (auto-reset). The
// registration belongs to the GUI thread, which lives as long as the program.
bool Notify(HKEY key, DWORD filter, HANDLE event, bool subtree = false) {
    return RegNotifyChangeKeyValue(key, subtree ? TRUE : FALSE, filter, event, TRUE) == ERROR_SUCCESS;
}

}  // namespace

ChangeWatcher::ChangeWatcher(const std::vector<WatchPlace>& places, ChangeCallback onChange)
    : slots_(places.size()), onChange_(std::move(onChange)) {
    for (std::size_t i = 0; i < places.size(); ++i) {
        slots_[i].place = places[i];
        slots_[i].event.Reset(CreateEventW(nullptr, FALSE, FALSE, nullptr));
        Arm(slots_[i]);
    }
    Watchers().push_back(this);
    // Whether every place fits into the wait is known from the start.
    std::vector<Waitable> waitables;
    std::vector<HANDLE> handles;
    CollectWaitables(waitables, handles);
}

ChangeWatcher::~ChangeWatcher() {
    auto& watchers = Watchers();
    watchers.erase(std::remove(watchers.begin(), watchers.end(), this), watchers.end());
}

bool ChangeWatcher::Armed() const {
    return std::all_of(slots_.begin(), slots_.end(), [](const Slot& s) { return s.armed && s.waited; });
}

bool ChangeWatcher::ArmKey(Slot& slot) {
    // Closing a key ends its registration: both are opened afresh, so a key
    // that was deleted and made again is the new one.
    slot.key.Reset();
    slot.parent.Reset();
    if (!slot.event.Get()) return false;
    const std::wstring path = Widen(slot.place.path);
    const REGSAM access = NotifyAccess(slot.place.view);
    bool ok = true;
    if (RegOpenKeyExW(RootOf(slot.place.hive), path.c_str(), 0, access, slot.key.Put()) == ERROR_SUCCESS)
        ok = Notify(slot.key.Get(), REG_NOTIFY_CHANGE_NAME | REG_NOTIFY_CHANGE_LAST_SET, slot.event.Get(),
                    slot.place.subtree);
    else
        slot.key.Reset();
    // The nearest parent that exists, for the key's own coming and going: the
    // hive's root (an empty path) for a key right under it ("Environment").
    std::wstring parent = path;
    while (!parent.empty()) {
        const auto cut = parent.find_last_of(L'\\');
        parent.resize(cut == std::wstring::npos ? 0 : cut);
        if (RegOpenKeyExW(RootOf(slot.place.hive), parent.c_str(), 0, access, slot.parent.Put()) == ERROR_SUCCESS)
            break;
        slot.parent.Reset();
    }
    return Notify(slot.parent.Get(), REG_NOTIFY_CHANGE_NAME, slot.event.Get()) && ok;
}

bool ChangeWatcher::Arm(Slot& slot) {
    if (slot.place.kind == WatchPlace::Kind::Key) {
        slot.armed = ArmKey(slot);
        return slot.armed;
    }
    if (slot.folder.h != INVALID_HANDLE_VALUE && FindNextChangeNotification(slot.folder.h)) return slot.armed = true;
    slot.folder.Close();
    slot.folder.h = FindFirstChangeNotificationW(
        Widen(slot.place.path).c_str(), FALSE,
        FILE_NOTIFY_CHANGE_FILE_NAME | FILE_NOTIFY_CHANGE_DIR_NAME | FILE_NOTIFY_CHANGE_LAST_WRITE);
    slot.armed = slot.folder.h != INVALID_HANDLE_VALUE;
    return slot.armed;
}

void ChangeWatcher::AddWaitables(std::vector<Waitable>& out) {
    for (std::size_t i = 0; i < slots_.size(); ++i) {
        Slot& s = slots_[i];
        if (s.place.kind == WatchPlace::Kind::Folder) {
            if (s.folder.h != INVALID_HANDLE_VALUE) out.push_back({s.folder.h, this, i});
            continue;
        }
        if (s.key.Get() || s.parent.Get()) out.push_back({s.event.Get(), this, i});
    }
}

void ChangeWatcher::Signalled(std::size_t slot) {
    // Re-arm first: a change that comes while the callback runs signals anew.
    Arm(slots_[slot]);
    const ChangeCallback callback = onChange_;
    if (callback) callback();
}

void ChangeWatcher::RetryUnarmed() {
    bool gained = false;
    for (Slot& s : slots_)
        if (!s.armed && Arm(s)) gained = true;
    if (!gained) return;
    // A place watched only now may have changed meanwhile.
    const ChangeCallback callback = onChange_;
    if (callback) callback();
}

bool ChangeWatcher::CollectWaitables(std::vector<Waitable>& waitables, std::vector<HANDLE>& handles) {
    waitables.clear();
    for (ChangeWatcher* watcher : Watchers()) watcher->AddWaitables(waitables);
    // The wait takes one handle less than MAXIMUM_WAIT_OBJECTS besides the
    // queue: a place beyond that is not watched, and its watcher says so.
    for (std::size_t i = 0; i < waitables.size(); ++i)
        waitables[i].owner->slots_[waitables[i].slot].waited = i < MAXIMUM_WAIT_OBJECTS - 1;
    if (waitables.size() > MAXIMUM_WAIT_OBJECTS - 1) waitables.resize(MAXIMUM_WAIT_OBJECTS - 1);
    bool allArmed = true;
    for (ChangeWatcher* watcher : Watchers()) allArmed = allArmed && watcher->Armed();
    handles.clear();
    for (const auto& w : waitables) handles.push_back(w.handle);
    return allArmed;
}

void ChangeWatcher::RetryAllUnarmed() {
    // Copies: a callback may end a watcher or make a new one.
    const std::vector<ChangeWatcher*> watchers = Watchers();
    for (ChangeWatcher* watcher : watchers)
        if (std::find(Watchers().begin(), Watchers().end(), watcher) != Watchers().end()) watcher->RetryUnarmed();
}

bool GetMessageOrChange(MSG& msg) {
    std::vector<ChangeWatcher::Waitable> waitables;
    std::vector<HANDLE> handles;
    for (;;) {
        const bool allArmed = ChangeWatcher::CollectWaitables(waitables, handles);
        const DWORD count = static_cast<DWORD>(handles.size());
        const DWORD rc = MsgWaitForMultipleObjectsEx(count, handles.data(), allArmed ? INFINITE : kRetryMs, QS_ALLINPUT,
                                                     MWMO_INPUTAVAILABLE);
        if (rc < WAIT_OBJECT_0 + count) {
            const auto& w = waitables[rc - WAIT_OBJECT_0];
            w.owner->Signalled(w.slot);
            continue;
        }
        if (rc == WAIT_TIMEOUT) {
            ChangeWatcher::RetryAllUnarmed();
            continue;
        }
        if (rc == WAIT_FAILED) return GetMessageW(&msg, nullptr, 0, 0) > 0;
        if (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) return msg.message != WM_QUIT;
    }
}

// ------------------------------------------------------------------ modal loops

namespace {

struct ModalState {
    int depth = 0;
    UINT_PTR timer = 0;
    DWORD lastRetry = 0;
};

ModalState& Modal() {
    static ModalState state;
    return state;
}

// At most this many signals are taken up at one tick: a place that changes
// without pause must not keep the box's own loop from its messages.
constexpr int kSignalsPerTick = 16;

}  // namespace

ModalLoop::ModalLoop() {
    ModalState& modal = Modal();
    if (modal.depth++ > 0) return;
    modal.lastRetry = GetTickCount();
    modal.timer = SetTimer(nullptr, 0, kModalPollMs, &ChangeWatcher::ServeWithoutWaiting);
}

ModalLoop::~ModalLoop() {
    ModalState& modal = Modal();
    if (--modal.depth > 0) return;
    if (modal.timer) KillTimer(nullptr, modal.timer);
    modal.timer = 0;
}

void CALLBACK ChangeWatcher::ServeWithoutWaiting(HWND, UINT, UINT_PTR, DWORD) {
    // A callback may open a box of its own, whose loop runs this again: the
    // handles are gathered afresh for every signal, as the main loop does.
    std::vector<Waitable> waitables;
    std::vector<HANDLE> handles;
    bool allArmed = true;
    for (int i = 0; i < kSignalsPerTick; ++i) {
        allArmed = CollectWaitables(waitables, handles);
        const DWORD count = static_cast<DWORD>(handles.size());
        if (count == 0) break;
        const DWORD rc = WaitForMultipleObjects(count, handles.data(), FALSE, 0);
        if (rc >= WAIT_OBJECT_0 + count) break;
        const auto& w = waitables[rc - WAIT_OBJECT_0];
        w.owner->Signalled(w.slot);
    }
    ModalState& modal = Modal();
    if (!allArmed && GetTickCount() - modal.lastRetry >= kRetryMs) {
        modal.lastRetry = GetTickCount();
        RetryAllUnarmed();
    }
}

}  // namespace vantorell::win32
