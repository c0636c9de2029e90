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
        if (places[i].kind == WatchPlace::Kind::Key)
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
    return std::all_of(slots_.begin(), slots_.end(), [](const Slot& s) { return s.armed && s.waited; }) &&
           std::all_of(parents_.begin(), parents_.end(),
                       [](const Parent& p) { return !p.used || (p.armed && p.waited); });
}

bool ChangeWatcher::ArmParent(Parent& parent) {
    // Closing the key ends its registration: opened afresh, so a parent that
    // was deleted and made again is the new one.
    parent.key.Reset();
    parent.armed = false;
    if (!parent.event.Get()) return false;
    if (RegOpenKeyExW(RootOf(parent.hive), parent.path.c_str(), 0, NotifyAccess(parent.view), parent.key.Put()) !=
        ERROR_SUCCESS) {
        parent.key.Reset();
        return false;
    }
    parent.armed = Notify(parent.key.Get(), REG_NOTIFY_CHANGE_NAME, parent.event.Get());
    return parent.armed;
}

std::size_t ChangeWatcher::ParentFor(Hive hive, RegView view, const std::wstring& path) {
    for (std::size_t i = 0; i < parents_.size(); ++i) {
        Parent& p = parents_[i];
        if (p.hive != hive || p.view != view || _wcsicmp(p.path.c_str(), path.c_str()) != 0) continue;
        if (!p.armed) ArmParent(p);
        return i;
    }
    Parent& p = parents_.emplace_back();
    p.hive = hive;
    p.view = view;
    p.path = path;
    p.event.Reset(CreateEventW(nullptr, FALSE, FALSE, nullptr));
    ArmParent(p);
    return parents_.size() - 1;
}

bool ChangeWatcher::ArmKey(Slot& slot) {
    // Closing a key ends its registration: it is opened afresh, so a key that
    // was deleted and made again is the new one.
    slot.key.Reset();
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
        UniqueHKey probe;
        if (RegOpenKeyExW(RootOf(slot.place.hive), parent.c_str(), 0, access, probe.Put()) == ERROR_SUCCESS) break;
    }
    const std::size_t before = slot.parent;
    slot.parent = ParentFor(slot.place.hive, slot.place.view, parent);
    parents_[slot.parent].used = true;
    // A parent that no key is watched through any more stops.
    if (before != kNoParent && before != slot.parent &&
        std::none_of(slots_.begin(), slots_.end(), [before](const Slot& s) { return s.parent == before; })) {
        parents_[before].used = false;
        parents_[before].key.Reset();
        parents_[before].armed = false;
    }
    return parents_[slot.parent].armed && ok;
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
            if (s.folder.h != INVALID_HANDLE_VALUE) out.push_back({s.folder.h, this, i, false});
        } else if (s.key.Get()) {
            out.push_back({s.event.Get(), this, i, false});
        }
    }
    for (std::size_t i = 0; i < parents_.size(); ++i)
        if (parents_[i].used && parents_[i].key.Get()) out.push_back({parents_[i].event.Get(), this, i, true});
}

bool& ChangeWatcher::Waited(const Waitable& w) {
    return w.parent ? parents_[w.index].waited : slots_[w.index].waited;
}

void ChangeWatcher::Signalled(const Waitable& w) {
    // Re-arm first: a change that comes while the callback runs signals anew.
    if (w.parent) {
        ArmParent(parents_[w.index]);
        // A key under it may have come or gone (or its nearest parent moved).
        for (Slot& s : slots_)
            if (s.parent == w.index) Arm(s);
    } else {
        Arm(slots_[w.index]);
    }
    const ChangeCallback callback = onChange_;
    if (callback) callback();
}

void ChangeWatcher::RetryUnarmed() {
    bool gained = false;
    for (Parent& p : parents_)
        if (p.used && !p.armed && ArmParent(p)) gained = true;
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
        waitables[i].owner->Waited(waitables[i]) = i < MAXIMUM_WAIT_OBJECTS - 1;
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
            const auto w = waitables[rc - WAIT_OBJECT_0];
            w.owner->Signalled(w);
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
        const auto w = waitables[rc - WAIT_OBJECT_0];
        w.owner->Signalled(w);
    }
    ModalState& modal = Modal();
    if (!allArmed && GetTickCount() - modal.lastRetry >= kRetryMs) {
        modal.lastRetry = GetTickCount();
        RetryAllUnarmed();
    }
}

}  // namespace vantorell::win32
