// Identification in the background: a worker thread at low priority takes
// the files the window asks about, one at a time, and leaves the results for
// the window's thread to collect. The thread sleeps when it has nothing left
// to do, so at rest nothing runs. The window never waits for it.
#pragma once

#include <atomic>
#include <condition_variable>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "identity/Identifier.h"
#include "identity/IdentityCache.h"
#include "platform/Platform.h"

namespace vantorell::identity {

class IdentityService {
public:
    // `cachePath` empty: nothing is kept between runs.
    IdentityService(platform::Platform& platform, std::string cachePath);
    // Lets the worker finish the file it is on, then ends it.
    ~IdentityService();
    IdentityService(const IdentityService&) = delete;
    IdentityService& operator=(const IdentityService&) = delete;

    // Asks about the jobs again (a file may have changed since): each is
    // queued unless it is queued already. Starts the worker when it is idle.
    // What was known of jobs no longer asked about is forgotten.
    void Request(const std::vector<FileJob>& jobs);
    // Takes the finished results in. True when one differs from what was known.
    bool Collect();
    // Whether the worker runs or results wait to be collected.
    bool Busy() const;
    // What is known of a job; nullptr before its first result.
    const Identity* Find(const FileJob& job) const;
    const Identity* Find(const std::string& key) const;

    // For tests: each request is worked at once on the calling thread.
    void SetSynchronous(bool on) { synchronous_ = on; }

private:
    void Work();
    // The worker thread: works whenever jobs are queued, until the end.
    void Loop();
    // Takes the next job; false when none is left (the worker then ends).
    bool NextJob(FileJob& job);

    platform::Platform& platform_;
    IdentityCache cache_;  // the worker's alone while it runs
    Identifier identifier_;
    bool cacheLoaded_ = false;
    bool synchronous_ = false;

    mutable std::mutex mutex_;  // guards the members below
    std::deque<FileJob> queue_;
    std::set<std::string> queued_;
    std::vector<std::pair<std::string, Identity>> done_;
    bool running_ = false;
    std::atomic<bool> stop_{false};
    std::condition_variable wake_;
    std::thread worker_;

    std::map<std::string, Identity> known_;  // the window's thread's alone
};

}  // namespace vantorell::identity
