// The question for an entry's startup delay, and the rule that keeps a delay
// within the range the delay dialog offers.
#pragma once

#include <optional>
#include <string_view>

namespace vantorell::control {

inline constexpr int kMinDelay = 0;
inline constexpr int kMaxDelay = 240;

// A number brought into kMinDelay..kMaxDelay, to the nearer bound.
int ClampDelay(long long seconds);
// The delay a text stands for: a whole decimal number (blanks around it
// allowed, a sign allowed) clamped to the range, however many digits it has;
// anything else reads as 0.
int DelayFromText(std::string_view text);

// Asks the user for a delay. The delay dialog implements it on Windows; tests
// answer it from a script.
class DelayPrompt {
public:
    virtual ~DelayPrompt() = default;
    // Shows the question preset with `preset` (clamped); the chosen delay, always
    // within the range, or nullopt when the user cancelled.
    virtual std::optional<int> AskDelay(int preset) = 0;
};

}  // namespace vantorell::control
