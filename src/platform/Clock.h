// The clock facet of the platform: what happens over time on the GUI thread,
// timers, a clock that only goes forward, and the watches that call back when
// a place changes.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/Registry.h"

namespace vantorell::platform {

using TimerCallback = std::function<void()>;
using TimerId = std::uint32_t;

// A place whose changes are watched: a registry key (its values added, changed
// or deleted; a key that does not exist yet is watched through the nearest
// parent that does, so its creation is seen too) or a folder (files added,
// removed, renamed or written).
struct WatchPlace {
    enum class Kind { Key, Folder };
    Kind kind = Kind::Key;
    Hive hive = Hive::CurrentUser;
    RegView view = RegView::Bits64;
    std::string path;      // key path relative to the hive, or the folder's full path
    bool subtree = false;  // a key: the values of its sub-keys too

    bool operator==(const WatchPlace&) const = default;
};

// The watches of a set of places; destroying it ends them.
class ChangeWatch {
public:
    virtual ~ChangeWatch() = default;
    // True while every place is watched, each key directly or through a parent.
    virtual bool Armed() const = 0;
};

using ChangeCallback = std::function<void()>;

// While a modal box or dialog of the program is open, its own message loop
// runs instead of the program's: the platform still serves the watches then,
// at least this often.
inline constexpr unsigned kModalPollMs = 200;

class Clock {
public:
    // Repeating timers on the GUI thread; a callback may open modal boxes, during
    // which other timers keep firing.
    virtual TimerId StartTimer(unsigned intervalMs, TimerCallback callback) = 0;
    virtual void StopTimer(TimerId id) = 0;
    // Milliseconds of a clock that only goes forward.
    virtual std::uint64_t TickMs() = 0;
    // Calls `onChange` on the GUI thread (as a timer callback runs) soon after
    // one of the places changed; several changes close together may come as
    // one call, and the program's own writes count as changes too. Every watch
    // is set again before `onChange` runs, so no change is missed while it
    // runs. Also while a modal box or dialog is open, within kModalPollMs.
    // nullptr when the system cannot watch: callers then poll.
    virtual std::unique_ptr<ChangeWatch> WatchPlaces(const std::vector<WatchPlace>& places,
                                                     ChangeCallback onChange) = 0;

protected:
    ~Clock() = default;
};

}  // namespace vantorell::platform
