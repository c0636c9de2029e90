// The clock of the in-memory platform: a virtual clock whose timers fire as
// the test advances it, and watches that fire when the test signals a change.
#include "platform/memory/MemoryPlatform.h"

#include <algorithm>

namespace vantorell::platform {

TimerId MemoryPlatform::StartTimer(unsigned intervalMs, TimerCallback callback) {
    const TimerId id = nextTimer_++;
    timers_[id] = Timer{intervalMs, now_ + intervalMs, std::make_shared<TimerCallback>(std::move(callback))};
    return id;
}

void MemoryPlatform::StopTimer(TimerId id) {
    timers_.erase(id);
}

std::size_t MemoryPlatform::ActiveTimers() const {
    return timers_.size();
}

void MemoryPlatform::Advance(std::uint64_t ms) {
    const std::uint64_t target = now_ + ms;
    while (true) {
        auto next = timers_.end();
        for (auto it = timers_.begin(); it != timers_.end(); ++it)
            if (it->second.due <= target && (next == timers_.end() || it->second.due < next->second.due)) next = it;
        if (next == timers_.end()) break;
        now_ = std::max(now_, next->second.due);
        next->second.due += next->second.interval;
        auto callback = next->second.callback;  // survives a StopTimer inside the callback
        (*callback)();
    }
    now_ = std::max(now_, target);
}

class MemoryPlatform::MemWatch final : public ChangeWatch {
public:
    MemWatch(MemoryPlatform& owner, std::uint64_t id) : owner_(owner), id_(id) {}
    ~MemWatch() override { owner_.watches_.erase(id_); }
    bool Armed() const override { return owner_.watchesArmed_; }

private:
    MemoryPlatform& owner_;
    std::uint64_t id_;
};

std::unique_ptr<ChangeWatch> MemoryPlatform::WatchPlaces(const std::vector<WatchPlace>& places,
                                                         ChangeCallback onChange) {
    if (!watchesEnabled_) return nullptr;
    const std::uint64_t id = nextWatch_++;
    watches_[id] = WatchState{places, std::make_shared<ChangeCallback>(std::move(onChange))};
    return std::make_unique<MemWatch>(*this, id);
}

std::vector<WatchPlace> MemoryPlatform::WatchedPlaces() const {
    std::vector<WatchPlace> places;
    for (const auto& [id, watch] : watches_) places.insert(places.end(), watch.places.begin(), watch.places.end());
    return places;
}

void MemoryPlatform::SignalChange() {
    if (modalDepth_ > 0) {
        changePending_ = true;
        return;
    }
    DeliverChange();
}

void MemoryPlatform::DeliverChange() {
    // A callback may end its watch or set a new one: call copies.
    std::vector<std::shared_ptr<ChangeCallback>> callbacks;
    for (const auto& [id, watch] : watches_) callbacks.push_back(watch.onChange);
    for (const auto& callback : callbacks) (*callback)();
}

void MemoryPlatform::SignalFolderChange(std::string_view path) {
    std::vector<std::shared_ptr<ChangeCallback>> callbacks;
    for (const auto& [id, watch] : watches_)
        if (std::any_of(watch.places.begin(), watch.places.end(), [&](const WatchPlace& place) {
                return place.kind == WatchPlace::Kind::Folder && PathKey(place.path) == PathKey(path);
            }))
            callbacks.push_back(watch.onChange);
    for (const auto& callback : callbacks) (*callback)();
}

void MemoryPlatform::TakeUpPendingChange() {
    if (!changePending_) return;
    changePending_ = false;
    DeliverChange();
}

}  // namespace vantorell::platform
