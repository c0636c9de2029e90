#include "identity/IdentityService.h"

#include <algorithm>
#include <thread>

#include "identity/IdentityHelper.h"

namespace vantorell::identity {

IdentityService::IdentityService(const IdentityFacets& platform, std::string cachePath)
    : platform_(platform),
      apart_(platform.processes.CanRunHelper()),
      cache_(platform, std::move(cachePath)),
      identifier_(platform, cache_) {}

IdentityService::~IdentityService() {
    helpers_.clear();                           // ends those that still run
    if (apart_ && cacheLoaded_) cache_.Save();  // what they found so far
}

void IdentityService::Request(const std::vector<FileJob>& jobs, bool all) {
    // What is known is kept for the entries asked about now, and no longer: a
    // program that rewrites its command all day must not make the map grow.
    std::set<std::string> asked;
    for (const FileJob& job : jobs) asked.insert(job.Key());
    std::erase_if(known_, [&](const auto& item) { return !asked.contains(item.first); });
    const std::uint64_t now = platform_.clock.TickMs();
    if (!lastAll_ || now - *lastAll_ >= kRecheckMs) all = true;
    if (all) lastAll_ = now;
    // A certificate trusted or distrusted since: every verdict is found again.
    if (cacheLoaded_ && cache_.CheckTrustStores()) {
        known_.clear();
        all = true;
    }
    for (const FileJob& job : jobs) {
        std::string key = job.Key();
        if (!all && known_.contains(key)) continue;
        if (!queued_.insert(std::move(key)).second) continue;
        queue_.push_back(job);
    }
    if (apart_) return;
    // No helper here: answered at once.
    Cache();
    for (; !queue_.empty(); queue_.pop_front()) Answer(queue_.front(), identifier_.Identify(queue_.front()));
    cache_.Save();
}

IdentityCache& IdentityService::Cache() {
    if (!cacheLoaded_) {
        cache_.Load();
        cacheLoaded_ = true;
    }
    return cache_;
}

void IdentityService::Answer(const FileJob& job, Identity id) {
    std::string key = job.Key();
    queued_.erase(key);
    done_.emplace_back(std::move(key), std::move(id));
}

std::optional<Identity> IdentityService::KnownNow(const FileJob& job) {
    if (const Identity* known = Find(job)) return *known;
    Cache();
    Identity id;
    std::unique_ptr<platform::FileHold> hold;  // let go at once: only the quick stamp is read here
    if (identifier_.Look(ResolveFile(platform_, job), false, id, hold, true)) return id;
    return std::nullopt;
}

void IdentityService::Look() {
    Cache();
    for (std::size_t n = 0; n < kLookSlice && !queue_.empty(); ++n, queue_.pop_front()) {
        Examine e{std::move(queue_.front()), {}};
        std::unique_ptr<platform::FileHold> hold;  // let go at once: the helper holds it again
        if (identifier_.Look(ResolveFile(platform_, e.job), false, e.id, hold, true))
            Answer(e.job, std::move(e.id));
        else
            examine_.push_back(std::move(e));
    }
}

void IdentityService::StartHelpers() {
    if (!helpers_.empty() || examine_.empty()) return;
    const std::uint64_t now = platform_.clock.TickMs();
    if (runStart_ && now - *runStart_ < kHelperGapMs) return;  // the window's timer comes back
    runStart_ = now;
    // Many files are shared out among helpers, one per processor up to
    // kMaxHelpers: each check waits mostly on its own file.
    std::size_t count = 1;
    if (examine_.size() >= kParallelFrom)
        count = std::clamp<std::size_t>(std::thread::hardware_concurrency(), 1, kMaxHelpers);
    const std::size_t total = std::min(examine_.size(), kHelperJobs * count);
    for (std::size_t h = 0; h < count; ++h) {
        Helper helper;
        const std::size_t share = total / count + (h < total % count ? 1 : 0);
        std::vector<FileJob> jobs;
        for (std::size_t n = 0; n < share; ++n, examine_.pop_front()) {
            jobs.push_back(examine_.front().job);
            helper.jobs.push_back(std::move(examine_.front()));
        }
        helper.run = platform_.processes.StartHelper(kIdentifySwitch, EncodeIdentifyRequest(jobs, cache_.Path()));
        helpers_.push_back(std::move(helper));  // one that did not start answers "not checked"
    }
    ReadHelpers();
}

bool IdentityService::ReadHelper(Helper& h) {
    bool ended = !h.run || h.run->Poll(h.output);
    // The whole lines so far; a line cut short waits for the rest.
    std::size_t parsed = 0;
    for (;;) {
        const auto end = h.output.find('\n', parsed);
        if (end == std::string::npos) break;
        const std::string_view line(h.output.data() + parsed, end - parsed);
        parsed = end + 1;
        if (!h.replyStarted) {
            h.replyStarted = IsIdentifyReplyHeader(line);
            if (h.replyStarted) continue;
            ended = true;  // not a reply: nothing it says is taken
            break;
        }
        Identity id;
        std::string stamp;
        if (h.answered >= h.jobs.size() || !DecodeIdentifyReplyLine(line, id, stamp)) {
            ended = true;
            break;
        }
        // Kept in the cache by the stamp of the bytes the helper held while it
        // examined them: the next look needs no helper.
        Examine& e = h.jobs[h.answered++];
        if (id.state != SignatureState::Unknown && id.fileExists && id.file == e.id.file)
            cache_.Put(id.file, stamp, id);
        Answer(e.job, std::move(id));
    }
    h.output.erase(0, parsed);
    const std::uint64_t limit = kHelperBaseMs + kHelperPerJobMs * h.jobs.size();
    if (!ended && platform_.clock.TickMs() - *runStart_ <= limit) return false;
    h.run.reset();  // ended, or overdue: ended now
    // What it did not answer is left unknown; asked again with every file.
    for (; h.answered < h.jobs.size(); ++h.answered) {
        Identity failed;
        failed.reason = kReasonCheckFailed;
        Answer(h.jobs[h.answered].job, std::move(failed));
    }
    return true;
}

void IdentityService::ReadHelpers() {
    if (helpers_.empty()) return;
    std::erase_if(helpers_, [this](Helper& h) { return ReadHelper(h); });
    if (helpers_.empty()) cache_.Save();  // what they found, for the next start
}

bool IdentityService::Collect() {
    if (apart_) Look();
    ReadHelpers();
    StartHelpers();  // the next, once these are done
    std::vector<std::pair<std::string, Identity>> done;
    done.swap(done_);
    bool changed = false;
    for (auto& [key, id] : done) {
        auto [it, inserted] = known_.try_emplace(key, id);
        if (!inserted && !(it->second == id))
            it->second = std::move(id);
        else if (!inserted)
            continue;
        changed = true;
    }
    return changed;
}

bool IdentityService::Busy() const {
    return !helpers_.empty() || !queue_.empty() || !examine_.empty() || !done_.empty();
}

const Identity* IdentityService::Find(const FileJob& job) const {
    return Find(job.Key());
}

const Identity* IdentityService::Find(const std::string& key) const {
    const auto it = known_.find(key);
    return it == known_.end() ? nullptr : &it->second;
}

}  // namespace vantorell::identity
