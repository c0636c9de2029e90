// What an autostart entry costs at logon: the CPU time and disk I/O of its
// processes in the first minute after logon, and the level the grid shows.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

namespace vantorell::impact {

// A KB is 1024 bytes and a MB 1024 * 1024 bytes, in the levels and the texts.
inline constexpr std::uint64_t kKB = 1024;
inline constexpr std::uint64_t kMB = 1024 * kKB;

struct Cost {
    std::uint64_t cpuMs = 0;      // user and kernel time
    std::uint64_t diskBytes = 0;  // bytes read and written
    friend bool operator==(const Cost&, const Cost&) = default;
};

enum class Level { High, Medium, Low, Unmeasured };

// "high", "medium", "low", "unmeasured": the word of the JSON output.
std::string_view LevelWord(Level level);
// "High", "Medium", "Low", "Not measured": the grid's column text.
std::string_view LevelText(Level level);

// High: more than 1 s of CPU or more than 3 MB of disk I/O. Low: less than
// 300 ms of CPU and less than 300 KB of disk I/O. Medium: anything between.
Level LevelOf(const Cost& cost);

// The median of the measured logons, CPU and disk each on its own; of an even
// count the mean of the two middle values, rounded down. nullopt when empty.
std::optional<Cost> Median(std::vector<Cost> costs);

}  // namespace vantorell::impact
