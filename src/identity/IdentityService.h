// Identification for the window, which never waits for it. Where the platform
// can run a helper, the jobs are answered by one (see IdentityHelper.h): this
// process starts it, reads its answers as they come while the window's timer
// asks (Collect), and at rest runs nothing at all, no thread and no timer.
// Elsewhere (the in-memory platform of the tests) each request is answered at
// once, in this process.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "identity/Identifier.h"
#include "identity/IdentityCache.h"
#include "platform/Platform.h"

namespace vantorell::identity {

class IdentityService {
public:
    // `cachePath` empty: nothing is kept between runs.
    IdentityService(platform::Platform& platform, std::string cachePath);
    // Ends a helper that still runs.
    ~IdentityService();
    IdentityService(const IdentityService&) = delete;
    IdentityService& operator=(const IdentityService&) = delete;

    // Asks about the jobs: those not known yet, and every one when `all` is
    // set or kRecheckMs passed since they were last all asked about (a file
    // may have changed behind a command that did not). A job is queued unless
    // it is queued already. What was known of jobs no longer asked about is
    // forgotten. The helper starts at the next Collect, so that whatever
    // the caller does next (paint the window) comes first.
    void Request(const std::vector<FileJob>& jobs, bool all = false);
    // Takes the answers in and starts the next helper when one is due. True
    // when an answer differs from what was known.
    bool Collect();
    // Whether a helper runs, jobs wait for one, or answers wait to be collected.
    bool Busy() const;
    // What is known of a job; nullptr before its first answer.
    const Identity* Find(const FileJob& job) const;
    const Identity* Find(const std::string& key) const;

    // How often a request looks at every file again, at most: a busy place
    // is scanned several times a second.
    static constexpr std::uint64_t kRecheckMs = 60000;
    // A helper starts this long after the last one at the earliest, with
    // every job asked about meanwhile.
    static constexpr std::uint64_t kHelperGapMs = 2000;
    // Jobs of one helper at most (its answers are read as they come), and
    // how long it may take for them.
    static constexpr std::size_t kHelperJobs = 10000;
    static constexpr std::uint64_t kHelperBaseMs = 30000;
    static constexpr std::uint64_t kHelperPerJobMs = 500;

private:
    // Starts a helper for the queued jobs when none runs and one is due.
    void StartHelper();
    // Reads what the helper wrote; ends it when it is done or overdue.
    void ReadHelper();
    void Answer(const FileJob& job, Identity id);

    platform::Platform& platform_;
    std::string cachePath_;
    bool apart_;

    std::deque<FileJob> queue_;
    std::set<std::string> queued_;
    std::vector<std::pair<std::string, Identity>> done_;

    // The helper that runs, the jobs it was given and how far it answered.
    std::unique_ptr<platform::HelperRun> run_;
    std::vector<FileJob> running_;
    std::size_t answered_ = 0;
    std::string output_;
    std::size_t parsed_ = 0;  // of output_
    bool replyStarted_ = false;
    std::uint64_t runStart_ = 0;
    bool started_ = false;  // whether a helper ever started

    std::uint64_t lastAll_ = 0;
    bool askedAll_ = false;
    std::map<std::string, Identity> known_;
};

}  // namespace vantorell::identity
