#include "identity/IdentityService.h"

#include <algorithm>

#include "identity/IdentityHelper.h"

namespace vantorell::identity {

IdentityService::IdentityService(platform::Platform& platform, std::string cachePath)
    : platform_(platform), cachePath_(std::move(cachePath)), apart_(platform.CanRunHelper()) {}

IdentityService::~IdentityService() = default;

void IdentityService::Request(const std::vector<FileJob>& jobs, bool all) {
    // What is known is kept for the entries asked about now, and no longer: a
    // program that rewrites its command all day must not make the map grow.
    std::set<std::string> asked;
    for (const FileJob& job : jobs) asked.insert(job.Key());
    std::erase_if(known_, [&](const auto& item) { return !asked.contains(item.first); });
    const std::uint64_t now = platform_.TickMs();
    if (!askedAll_ || now - lastAll_ >= kRecheckMs) all = true;
    if (all) {
        askedAll_ = true;
        lastAll_ = now;
    }
    for (const FileJob& job : jobs) {
        std::string key = job.Key();
        if (!all && known_.contains(key)) continue;
        if (!queued_.insert(std::move(key)).second) continue;
        queue_.push_back(job);
    }
    if (apart_) return;
    // No helper here: answered at once.
    IdentityCache cache(platform_, cachePath_);
    cache.Load();
    Identifier identifier(platform_, cache);
    for (; !queue_.empty(); queue_.pop_front()) Answer(queue_.front(), identifier.Identify(queue_.front()));
    cache.Save();
}

void IdentityService::Answer(const FileJob& job, Identity id) {
    std::string key = job.Key();
    queued_.erase(key);
    done_.emplace_back(std::move(key), std::move(id));
}

void IdentityService::StartHelper() {
    if (run_ || queue_.empty()) return;
    const std::uint64_t now = platform_.TickMs();
    if (started_ && now - runStart_ < kHelperGapMs) return;  // the window's timer comes back
    running_.clear();
    while (!queue_.empty() && running_.size() < kHelperJobs) {
        running_.push_back(std::move(queue_.front()));
        queue_.pop_front();
    }
    answered_ = parsed_ = 0;
    output_.clear();
    replyStarted_ = false;
    started_ = true;
    runStart_ = now;
    run_ = platform_.StartHelper(kIdentifySwitch, EncodeIdentifyRequest({cachePath_, running_}));
    if (!run_) ReadHelper();  // not started: each job is answered as not checked
}

void IdentityService::ReadHelper() {
    bool ended = !run_ || run_->Poll(output_);
    // The whole lines so far; a line cut short waits for the rest.
    for (;;) {
        const auto end = output_.find('\n', parsed_);
        if (end == std::string::npos) break;
        const std::string_view line(output_.data() + parsed_, end - parsed_);
        parsed_ = end + 1;
        if (!replyStarted_) {
            replyStarted_ = std::string(line) + '\n' == IdentifyReplyHeader();
            if (replyStarted_) continue;
            ended = true;  // not a reply: nothing it says is taken
            break;
        }
        Identity id;
        if (answered_ >= running_.size() || !DecodeIdentifyReplyLine(line, id)) {
            ended = true;
            break;
        }
        Answer(running_[answered_], std::move(id));
        ++answered_;
    }
    output_.erase(0, parsed_);
    parsed_ = 0;
    const std::uint64_t limit = kHelperBaseMs + kHelperPerJobMs * running_.size();
    if (!ended && platform_.TickMs() - runStart_ <= limit) return;
    run_.reset();  // ended, or overdue: ended now
    // What it did not answer is left unknown; asked again with every file.
    for (; answered_ < running_.size(); ++answered_) {
        Identity failed;
        failed.reason = kReasonCheckFailed;
        Answer(running_[answered_], std::move(failed));
    }
    running_.clear();
}

bool IdentityService::Collect() {
    if (run_) ReadHelper();
    StartHelper();  // the next, once this one is done
    if (run_) ReadHelper();
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
    return run_ || !queue_.empty() || !done_.empty();
}

const Identity* IdentityService::Find(const FileJob& job) const {
    return Find(job.Key());
}

const Identity* IdentityService::Find(const std::string& key) const {
    const auto it = known_.find(key);
    return it == known_.end() ? nullptr : &it->second;
}

}  // namespace vantorell::identity
