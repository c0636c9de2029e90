// What each autostart entry costs at logon, measured by the program that
// Windows starts at logon (vantorell.exe -b): for the first seconds after the
// session's logon (when Windows does not tell the logon's time, after the
// program's own start), once a second, it lists the session's programs started
// since; at the window's end it gives each entry the CPU and disk of the
// programs started from its file and of those they started, and keeps that
// logon in the user's history file. Until the machine's processors are quiet
// it also samples their times. Then nothing runs any more.
#pragma once

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "identity/Identity.h"
#include "impact/Attribution.h"
#include "impact/History.h"
#include "impact/QuietClock.h"
#include "impact/Summary.h"
#include "platform/Platform.h"
#include "store/AutostartStore.h"

namespace vantorell::app {

// The measuring window, from the logon.
inline constexpr unsigned kImpactWindowSeconds = 60;
// When the logon's time is not known, programs created this long before the
// program's own start count too: Windows starts the Run keys' programs
// together with it, in no order.
inline constexpr std::uint64_t kStartSlackMs = 10'000;
// The processors are watched until they are quiet, at most this long after the logon.
inline constexpr std::uint64_t kQuietWatchMs = 5 * 60'000;
inline constexpr unsigned kImpactSampleMs = 1000;

class LogonImpact {
public:
    using IdentityOf = std::function<const identity::Identity*(std::size_t index)>;
    // `historyPath`: the user's history file.
    LogonImpact(platform::Platform& platform, store::AutostartStore& store, std::string historyPath,
                IdentityOf identityOf);
    ~LogonImpact();
    LogonImpact(const LogonImpact&) = delete;
    LogonImpact& operator=(const LogonImpact&) = delete;

    // Reads the history file (an unreadable or damaged one reads as what is left of it).
    void Load();
    // Starts measuring this logon, for `windowSeconds`; `finished` is called
    // once the logon is kept in the history, and again once the time until the
    // processors were quiet is kept. Does nothing once the window is over.
    void Start(unsigned windowSeconds, std::function<void()> finished);
    bool Running() const { return timer_.has_value(); }

    const impact::History& History() const { return history_; }
    // The history key of entry `index` of the store's table.
    std::string KeyOf(std::size_t index) const;

private:
    void Tick();
    void Finish();
    // Replaces the history file atomically; a failure loses this logon only.
    void Save();

    platform::Platform& platform_;
    store::AutostartStore& store_;
    std::string historyPath_;
    IdentityOf identityOf_;
    impact::History history_;
    std::optional<platform::TimerId> timer_;
    std::function<void()> finished_;
    std::uint64_t windowStart_ = 0;  // file time
    std::uint64_t windowEnd_ = 0;    // file time
    std::uint64_t startTick_ = 0;    // the clock's milliseconds at the window's start
    bool measured_ = false;          // the window is over and its results are kept
    // Every program seen, its latest figures, in the order first seen.
    std::vector<impact::ProcessSample> seen_;
    std::map<std::pair<std::uint32_t, std::uint64_t>, std::size_t> seenAt_;
    impact::QuietClock quiet_;
};

}  // namespace vantorell::app
