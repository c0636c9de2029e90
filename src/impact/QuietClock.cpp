#include "impact/QuietClock.h"

namespace vantorell::impact {
namespace {

constexpr std::uint64_t kQuietRunMs = 5000;
constexpr std::uint64_t kBusyPercent = 10;  // quiet below this

}  // namespace

void QuietClock::Add(std::uint64_t atMs, std::uint64_t idle, std::uint64_t kernel, std::uint64_t user) {
    if (quietAt_) return;
    const Reading now{atMs, idle, kernel, user};
    if (!previous_) {
        previous_ = now;
        return;
    }
    const Reading before = *previous_;
    if (atMs <= before.atMs) return;  // no time has passed: nothing to tell
    previous_ = now;
    // Counters that went back (or idle time beyond all time) are no
    // reading: the run starts anew.
    if (idle < before.idle || kernel < before.kernel || user < before.user ||
        idle - before.idle > (kernel - before.kernel) + (user - before.user)) {
        runStart_.reset();
        return;
    }
    const std::uint64_t total = (kernel - before.kernel) + (user - before.user);
    const std::uint64_t busy = total - (idle - before.idle);
    if (total == 0 || busy * 100 >= total * kBusyPercent) {
        runStart_.reset();
        return;
    }
    if (!runStart_) runStart_ = before.atMs;
    if (atMs - *runStart_ >= kQuietRunMs) quietAt_ = runStart_;
}

std::optional<std::uint64_t> QuietClock::QuietAfter(std::uint64_t startMs) const {
    if (!quietAt_) return std::nullopt;
    return *quietAt_ > startMs ? *quietAt_ - startMs : 0;
}

}  // namespace vantorell::impact
