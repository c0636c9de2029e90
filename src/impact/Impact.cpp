#include "impact/Impact.h"

#include <algorithm>

namespace vantorell::impact {
namespace {

// The median of the values, which it sorts; `values` is not empty.
std::uint64_t MiddleOf(std::vector<std::uint64_t>& values) {
    std::sort(values.begin(), values.end());
    const std::size_t half = values.size() / 2;
    if (values.size() % 2 == 1) return values[half];
    const std::uint64_t low = values[half - 1], high = values[half];
    return low + (high - low) / 2;  // no overflow near the top of the range
}

}  // namespace

std::string_view LevelWord(Level level) {
    switch (level) {
        case Level::High: return "high";
        case Level::Medium: return "medium";
        case Level::Low: return "low";
        case Level::Unmeasured: break;
    }
    return "unmeasured";
}

std::string_view LevelText(Level level) {
    switch (level) {
        case Level::High: return "High";
        case Level::Medium: return "Medium";
        case Level::Low: return "Low";
        case Level::Unmeasured: break;
    }
    return "Not measured";
}

Level LevelOf(const Cost& cost) {
    if (cost.cpuMs > 1000 || cost.diskBytes > 3 * kMB) return Level::High;
    if (cost.cpuMs < 300 && cost.diskBytes < 300 * kKB) return Level::Low;
    return Level::Medium;
}

std::optional<Cost> Median(std::vector<Cost> costs) {
    if (costs.empty()) return std::nullopt;
    std::vector<std::uint64_t> cpu, disk;
    for (const Cost& cost : costs) {
        cpu.push_back(cost.cpuMs);
        disk.push_back(cost.diskBytes);
    }
    return Cost{MiddleOf(cpu), MiddleOf(disk)};
}

}  // namespace vantorell::impact
