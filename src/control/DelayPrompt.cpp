#include "control/DelayPrompt.h"

namespace vantorell::control {
namespace {

constexpr int kNotANumber = 0;
// Beyond this many the value is far outside the range whatever follows.
constexpr long long kSaturation = 1000000;

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

}  // namespace

int ClampDelay(long long seconds) {
    if (seconds < kMinDelay) return kMinDelay;
    if (seconds > kMaxDelay) return kMaxDelay;
    return static_cast<int>(seconds);
}

int DelayFromText(std::string_view text) {
    while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
    while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
    bool negative = false;
    if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    if (text.empty()) return kNotANumber;
    long long value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return kNotANumber;
        if (value < kSaturation) value = value * 10 + (c - '0');
    }
    return ClampDelay(negative ? -value : value);
}

}  // namespace vantorell::control
