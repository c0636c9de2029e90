#include "app/common/LogonImpact.h"

#include <algorithm>

#include "identity/EntryFiles.h"

namespace vantorell::app {

namespace {
constexpr std::uint64_t kFileTimePerMs = 10'000;
}  // namespace

LogonImpact::LogonImpact(platform::Platform& platform, store::AutostartStore& store, std::string historyPath,
                         IdentityOf identityOf)
    : platform_(platform), store_(store), historyPath_(std::move(historyPath)), identityOf_(std::move(identityOf)) {}

LogonImpact::~LogonImpact() {
    if (timer_) platform_.clock.StopTimer(*timer_);
}

void LogonImpact::Load() {
    if (historyPath_.empty()) return;
    const auto file = platform_.files.ReadFile(historyPath_);
    history_ = file.outcome == platform::ReadOutcome::Ok ? impact::History::Parse(file.bytes) : impact::History();
}

std::string LogonImpact::KeyOf(std::size_t index) const {
    const auto& entries = store_.Table().entries;
    if (index >= entries.size()) return {};
    return impact::HistoryKey(entries[index].location, entries[index].name, entries[index].command);
}

void LogonImpact::Start(unsigned windowSeconds, std::function<void()> finished) {
    auto& processes = platform_.processes;
    const std::uint64_t now = processes.FileTimeNow();
    const auto logon = processes.LogonTime();
    const std::uint64_t from = logon ? *logon : processes.StartTime();
    windowStart_ = logon ? from : from - kStartSlackMs * kFileTimePerMs;
    windowEnd_ = from + std::uint64_t{windowSeconds} * 1000 * kFileTimePerMs;
    // Started long after a logon (by hand, or again after a crash): nothing to measure.
    if (now >= windowEnd_) return;
    finished_ = std::move(finished);
    startTick_ = platform_.clock.TickMs() - (now - windowStart_) / kFileTimePerMs;
    Tick();
    timer_ = platform_.clock.StartTimer(kImpactSampleMs, [this] { Tick(); });
}

void LogonImpact::Tick() {
    auto& processes = platform_.processes;
    const std::uint64_t now = processes.FileTimeNow();
    if (now <= windowEnd_) {
        for (const platform::ProcessFacts& p : processes.SessionProcesses(windowStart_)) {
            impact::ProcessSample sample{p.pid, p.parentPid, p.created, p.image, p.commandLine, {p.cpuMs, p.ioBytes}};
            const auto [at, fresh] = seenAt_.try_emplace({p.pid, p.created}, seen_.size());
            if (fresh)
                seen_.push_back(std::move(sample));
            else
                seen_[at->second].cost = sample.cost;  // the latest figures; what it is stays as first seen
        }
    }
    if (const auto times = processes.SystemCpuTimes())
        quiet_.Add(platform_.clock.TickMs(), times->idle, times->kernel, times->user);
    const bool quietSeen = quiet_.QuietAfter(startTick_).has_value();
    const bool watchedLongEnough = now >= windowStart_ + kQuietWatchMs * kFileTimePerMs;
    if (now > windowEnd_ && !measured_) Finish();
    if (measured_ && (quietSeen || watchedLongEnough)) {
        platform_.clock.StopTimer(*timer_);
        timer_.reset();
        if (const auto last = history_.Last()) {
            auto whole = *last;
            whole.quietAfterMs = quiet_.QuietAfter(startTick_).value_or(kQuietWatchMs);
            history_.SetLast(whole);
            Save();
        }
        seen_.clear();
        seenAt_.clear();
        if (finished_) finished_();
    }
}

void LogonImpact::Finish() {
    measured_ = true;
    // What each entry starts, as its file's identification found it; an
    // entry whose file is not known yet is not measured this time.
    const auto& entries = store_.Table().entries;
    std::vector<impact::EntryTarget> targets;
    targets.reserve(entries.size());
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const identity::Identity* id = identityOf_(i);
        targets.push_back({KeyOf(i), id ? id->file : std::string(), id ? id->host : std::string(), entries[i].command});
    }
    impact::Attribution attribution(std::move(targets));
    // Parents before their children.
    std::stable_sort(seen_.begin(), seen_.end(), [](const impact::ProcessSample& a, const impact::ProcessSample& b) {
        return a.created < b.created;
    });
    attribution.Add(seen_);
    impact::LastLogon whole{windowStart_, 0, attribution.TotalCpuMs()};
    history_.AddLogon(windowStart_, attribution.Result(), whole);
    Save();
    if (finished_) finished_();
}

void LogonImpact::Save() {
    if (!historyPath_.empty()) platform_.files.WriteFileAtomic(historyPath_, history_.Serialise());
}

}  // namespace vantorell::app
