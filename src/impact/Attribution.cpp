#include "impact/Attribution.h"

#include <algorithm>

#include "base/Text.h"

namespace vantorell::impact {
namespace {

using text::EqualsAsciiNoCase;

std::string Lowered(std::string_view text) {
    std::string out(text);
    for (char& c : out) c = text::AsciiLower(c);
    return out;
}

// A command line in the form commands are compared in: blanks trimmed, ASCII
// letters lowered, the quotes around a leading program path taken away, as
// the launcher adds them to a path with blanks.
std::string CommandForm(std::string_view command) {
    const auto first = command.find_first_not_of(" \t");
    if (first == std::string_view::npos) return {};
    command = command.substr(first, command.find_last_not_of(" \t") - first + 1);
    std::string form;
    if (command.front() == '"') {
        const auto close = command.find('"', 1);
        if (close != std::string_view::npos) {
            form = command.substr(1, close - 1);
            command.remove_prefix(close + 1);
        }
    }
    form += command;
    return Lowered(form);
}

}  // namespace

Attribution::Attribution(std::vector<EntryTarget> targets) {
    for (EntryTarget& entry : targets) {
        Target target;
        target.command = CommandForm(entry.command);
        target.file = Lowered(entry.file);
        target.entry = std::move(entry);
        targets_.push_back(std::move(target));
    }
}

void Attribution::Add(const std::vector<ProcessSample>& pass) {
    std::vector<const ProcessSample*> fresh;
    for (const ProcessSample& sample : pass) {
        const auto known = processes_.find({sample.pid, sample.created});
        if (known != processes_.end())
            known->second.cost = sample.cost;
        else
            fresh.push_back(&sample);
    }
    // A parent was created before its children: seen first, it has its
    // entry by the time they are given theirs.
    std::stable_sort(fresh.begin(), fresh.end(),
                     [](const ProcessSample* a, const ProcessSample* b) { return a->created < b->created; });
    for (const ProcessSample* sample : fresh) {
        auto target = ParentTarget(*sample);
        if (!target) target = Claim(*sample);
        processes_.emplace(ProcessId{sample->pid, sample->created}, Process{sample->cost, target});
    }
}

std::optional<std::size_t> Attribution::ParentTarget(const ProcessSample& sample) const {
    // The newest process of the parent's pid that was created before the
    // child; one created later only reuses the pid.
    auto it = processes_.lower_bound({sample.parentPid, sample.created});
    if (it == processes_.begin()) return std::nullopt;
    --it;
    if (it->first.first != sample.parentPid) return std::nullopt;
    return it->second.target;
}

std::optional<std::size_t> Attribution::Claim(const ProcessSample& sample) {
    if (sample.image.empty()) return std::nullopt;
    std::vector<std::size_t> byFile, byHost;
    for (std::size_t i = 0; i < targets_.size(); ++i) {
        const EntryTarget& entry = targets_[i].entry;
        if (entry.host.empty()) {
            if (!entry.file.empty() && EqualsAsciiNoCase(entry.file, sample.image)) byFile.push_back(i);
        } else if (EqualsAsciiNoCase(entry.host, sample.image)) {
            byHost.push_back(i);
        }
    }
    if (byFile.size() == 1 && byHost.empty()) return byFile.front();
    if (sample.commandLine) {
        // The command line names the entry: its whole command, or for a host
        // the file the host runs.
        const std::string form = CommandForm(*sample.commandLine);
        std::vector<std::size_t> same, naming;
        for (const auto* group : {&byFile, &byHost})
            for (std::size_t i : *group)
                if (targets_[i].command == form) same.push_back(i);
        const std::string lowered = Lowered(*sample.commandLine);
        for (std::size_t i : byHost)
            if (!targets_[i].file.empty() && lowered.find(targets_[i].file) != std::string::npos) naming.push_back(i);
        for (const auto* found : {&same, &naming}) {
            if (found->size() == 1) return found->front();
            if (found->size() > 1) {
                MarkUnmeasured(*found);
                return std::nullopt;
            }
        }
    }
    // A host process that names none of its entries is nobody's; a program
    // of one entry alone is that entry's, whatever its arguments; of several
    // entries none is measured, as the process may be any one's.
    if (byFile.size() == 1) return byFile.front();
    MarkUnmeasured(byFile);
    return std::nullopt;
}

void Attribution::MarkUnmeasured(const std::vector<std::size_t>& targets) {
    for (std::size_t i : targets) targets_[i].unmeasured = true;
}

std::map<std::string, std::optional<Cost>> Attribution::Result() const {
    std::vector<std::optional<Cost>> sums(targets_.size());
    for (const auto& [id, process] : processes_) {
        if (!process.target) continue;
        auto& sum = sums[*process.target];
        if (!sum) sum = Cost{};
        sum->cpuMs += process.cost.cpuMs;
        sum->diskBytes += process.cost.diskBytes;
    }
    std::map<std::string, std::optional<Cost>> result;
    for (std::size_t i = 0; i < targets_.size(); ++i)
        result[targets_[i].entry.key] = targets_[i].unmeasured ? std::nullopt : sums[i];
    return result;
}

std::uint64_t Attribution::TotalCpuMs() const {
    std::uint64_t total = 0;
    for (const auto& [id, process] : processes_)
        if (process.target) total += process.cost.cpuMs;
    return total;
}

}  // namespace vantorell::impact
