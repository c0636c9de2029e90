#include "identity/IdentityService.h"

namespace vantorell::identity {

IdentityService::IdentityService(platform::Platform& platform, std::string cachePath)
    : platform_(platform),
      cache_(platform, std::move(cachePath)),
      identifier_(platform, cache_),
      synchronous_(!platform.AllowsBackgroundThreads()) {}

IdentityService::~IdentityService() {
    {
        std::lock_guard lock(mutex_);
        stop_ = true;
    }
    wake_.notify_all();
    if (worker_.joinable()) worker_.join();
}

void IdentityService::Request(const std::vector<FileJob>& jobs) {
    // What is known is kept for the entries asked about now, and no longer: a
    // program that rewrites its command all day must not make the map grow.
    std::set<std::string> asked;
    for (const FileJob& job : jobs) asked.insert(job.Key());
    std::erase_if(known_, [&](const auto& item) { return !asked.contains(item.first); });
    bool start = false;
    {
        std::lock_guard lock(mutex_);
        for (const FileJob& job : jobs) {
            if (!queued_.insert(job.Key()).second) continue;
            queue_.push_back(job);
        }
        if (!queue_.empty() && !running_) {
            running_ = true;
            start = true;
        }
    }
    if (!start) return;
    if (synchronous_) {
        Work();
        return;
    }
    // One thread for the program's life, asleep while there is nothing to do:
    // under Wine every thread started and ended costs memory that never comes
    // back, and a monitor with a busy place would start one for every scan.
    if (!worker_.joinable()) worker_ = std::thread([this] { Loop(); });
    wake_.notify_one();
}

void IdentityService::Loop() {
    const auto scope = platform_.EnterBackgroundThread();
    for (;;) {
        {
            std::unique_lock lock(mutex_);
            wake_.wait(lock, [this] { return stop_ || !queue_.empty(); });
            if (stop_) return;
        }
        Work();
    }
}

bool IdentityService::NextJob(FileJob& job) {
    std::lock_guard lock(mutex_);
    if (queue_.empty() || stop_) return false;
    job = std::move(queue_.front());
    queue_.pop_front();
    return true;
}

void IdentityService::Work() {
    if (!cacheLoaded_) {
        cache_.Load();
        cacheLoaded_ = true;
    }
    for (;;) {
        FileJob job;
        while (NextJob(job)) {
            Identity id = identifier_.Identify(job);
            std::lock_guard lock(mutex_);
            const std::string key = job.Key();
            queued_.erase(key);
            done_.emplace_back(key, std::move(id));
        }
        cache_.Save();
        // A request that came while the cache was saved is still this worker's.
        std::lock_guard lock(mutex_);
        if (queue_.empty() || stop_) {
            running_ = false;
            return;
        }
    }
}

bool IdentityService::Collect() {
    std::vector<std::pair<std::string, Identity>> done;
    {
        std::lock_guard lock(mutex_);
        done.swap(done_);
    }
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
    std::lock_guard lock(mutex_);
    return running_ || !done_.empty();
}

const Identity* IdentityService::Find(const FileJob& job) const {
    return Find(job.Key());
}

const Identity* IdentityService::Find(const std::string& key) const {
    const auto it = known_.find(key);
    return it == known_.end() ? nullptr : &it->second;
}

}  // namespace vantorell::identity
