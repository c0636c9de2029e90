// The question for an entry's startup delay. The delay dialog implements it on
// Windows; tests answer it from a script.
#pragma once

#include <optional>

namespace vantorell::ui {

class DelayPrompt {
public:
    virtual ~DelayPrompt() = default;
    // Shows the question preset with `preset` (clamped); the chosen delay, always
    // within the range, or nullopt when the user cancelled.
    virtual std::optional<int> AskDelay(int preset) = 0;
};

}  // namespace vantorell::ui
