// One running copy per user: a named lock tells a new copy that another one
// runs; the new copy then writes the hand-over file "ResF.txt", which the
// running copy polls every 2 seconds and answers by coming out of the tray.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "platform/Platform.h"

namespace vantorell::app {

inline constexpr std::string_view kHandOverFile = "ResF.txt";
inline constexpr std::string_view kHandOverLine = "Res";
inline constexpr unsigned kHandOverPollMs = 2000;  // Timer4

class OneInstance {
public:
    // The lock is named after the executable's file name.
    explicit OneInstance(platform::Platform& platform);  // "ResF.txt" beside the executable
    OneInstance(platform::Platform& platform, std::string handOverPath);

    // Runs the guard: true when this copy is the first (it then holds the lock);
    // false when another copy runs, after the hand-over request was written.
    // When it cannot be written, throws AppError; Owner() is false then, and
    // the copy is to end all the same.
    bool Guard();
    bool Owner() const { return lock_ != nullptr; }
    // At the end of a copy that is not the owner: raises the running copy's window.
    void RaisePriorInstance(std::string_view title);
    // Releases the lock (the owner's end).
    void Release() { lock_.reset(); }

    // The running copy's poll: true when the hand-over file holds a line. Throws
    // AppError when it exists but cannot be read.
    bool PendingRequest();
    // Empties the hand-over file (it is never deleted).
    void ClearRequest();

    const std::string& LockName() const { return lockName_; }
    const std::string& HandOverPath() const { return handOver_; }

private:
    platform::Platform& platform_;
    std::string lockName_;
    std::string handOver_;
    std::unique_ptr<platform::NamedLock> lock_;
};

}  // namespace vantorell::app
