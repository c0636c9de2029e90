// When the machine became quiet after logon: fed the system's CPU counters
// about once a second, it tells when the CPU was less than 10% busy for 5
// seconds in a row.
#pragma once

#include <cstdint>
#include <optional>

namespace vantorell::impact {

class QuietClock {
public:
    // One reading at `atMs` (any steady millisecond clock) of the counters in
    // 100 ns units, as GetSystemTimes gives them: `kernel` includes `idle`.
    void Add(std::uint64_t atMs, std::uint64_t idle, std::uint64_t kernel, std::uint64_t user);
    // Milliseconds from `startMs` to the start of the first quiet run of 5 s
    // (0 when it started before); nullopt while none was seen.
    std::optional<std::uint64_t> QuietAfter(std::uint64_t startMs) const;

private:
    struct Reading {
        std::uint64_t atMs, idle, kernel, user;
    };
    std::optional<Reading> previous_;
    std::optional<std::uint64_t> runStart_;  // the start of the quiet run going on
    std::optional<std::uint64_t> quietAt_;   // the start of the first run of 5 s
};

}  // namespace vantorell::impact
