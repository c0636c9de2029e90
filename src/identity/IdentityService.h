// Identification for the window, which never waits for it. Where the platform
// can run a helper, the window's thread only looks at the files (resolution,
// attributes, the cache; never a file on a share), a slice at a time on the
// window's timer (Collect), and the files the cache does not know are
// examined by a helper (see IdentityHelper.h) whose answers are read as they
// come. At rest nothing runs: no thread, no timer. Elsewhere (the in-memory
// platform of the tests) each request is answered at once, in this process.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "identity/Identifier.h"
#include "identity/IdentityCache.h"
#include "identity/IdentityFacets.h"

namespace vantorell::identity {

class IdentityService {
public:
    // `cachePath` empty: nothing is kept between runs.
    IdentityService(const IdentityFacets& platform, std::string cachePath);
    // Ends the helpers that still run; keeps what they found.
    ~IdentityService();
    IdentityService(const IdentityService&) = delete;
    IdentityService& operator=(const IdentityService&) = delete;

    // Asks about the jobs: those not known yet, and every one when `all` is
    // set or kRecheckMs passed since they were last all asked about (a file
    // may have changed behind a command that did not). A job is queued unless
    // it is queued already. What was known of jobs no longer asked about is
    // forgotten. The work starts at the next Collect, so that whatever the
    // caller does next (paint the window) comes first.
    void Request(const std::vector<FileJob>& jobs, bool all = false);
    // Looks at the next slice of jobs, takes the answers in and starts the
    // next helper when one is due. True when an answer differs from what was
    // known.
    bool Collect();
    // Whether a helper runs, jobs wait for one, or answers wait to be collected.
    bool Busy() const;
    // What is known of a job; nullptr before its first answer.
    const Identity* Find(const FileJob& job) const;
    const Identity* Find(const std::string& key) const;
    // What can be told of a job at once, without a helper: what is known, or
    // what a look at the file's attributes and the cache gives (a file that is
    // not there, one the cache knows). Empty while a check is really pending.
    std::optional<Identity> KnownNow(const FileJob& job);

    // How often a request looks at every file again, at most: a busy place
    // is scanned several times a second.
    static constexpr std::uint64_t kRecheckMs = 60000;
    // A helper starts this long after the last one at the earliest, with
    // every job asked about meanwhile.
    static constexpr std::uint64_t kHelperGapMs = 2000;
    // Jobs looked at by one Collect: about 10 ms of the window's thread
    // under Wine; 5,000 entries are looked at in ten of the window's ticks.
    static constexpr std::size_t kLookSlice = 500;
    // Jobs of one helper at most (its answers are read as they come), and
    // how long it may take for them.
    static constexpr std::size_t kHelperJobs = 10000;
    // From this many files on, helpers share them out, this many at most.
    static constexpr std::size_t kParallelFrom = 16;
    static constexpr std::size_t kMaxHelpers = 2;
    static constexpr std::uint64_t kHelperBaseMs = 30000;
    static constexpr std::uint64_t kHelperPerJobMs = 500;

private:
    void Answer(const FileJob& job, Identity id);

    // A job the cache could not answer, and what the look found.
    struct Examine {
        FileJob job;
        Identity id;
    };
    // A helper that runs: the jobs it was given and how far it answered.
    struct Helper {
        std::unique_ptr<platform::HelperRun> run;  // null: it did not start
        std::vector<Examine> jobs;
        std::size_t answered = 0;
        std::string output;  // what it wrote that is not taken yet
        bool replyStarted = false;
    };
    // Looks at a slice of the queued jobs; those the cache lacks wait for a helper.
    void Look();
    // Starts helpers for the files to examine when none runs and they are due.
    void StartHelpers();
    // Takes what the helpers wrote; ends the ones done or overdue.
    void ReadHelpers();
    // True when `helper` is done (ended, overdue, or its reply was not one).
    bool ReadHelper(Helper& helper);

    // The cache as this process keeps it, read from its file at first use.
    IdentityCache& Cache();

    IdentityFacets platform_;
    bool apart_;
    IdentityCache cache_;  // what the helpers found; this process keeps it
    Identifier identifier_;
    bool cacheLoaded_ = false;

    std::deque<FileJob> queue_;
    std::set<std::string> queued_;
    std::deque<Examine> examine_;  // for the next helper
    std::vector<std::pair<std::string, Identity>> done_;

    std::vector<Helper> helpers_;
    std::optional<std::uint64_t> runStart_;  // when the last helpers started
    std::optional<std::uint64_t> lastAll_;   // when every job was last asked about
    std::map<std::string, Identity> known_;
};

}  // namespace vantorell::identity
