// Which autostart entry each process of the logon belongs to, and what the
// processes of each entry cost in all.
//
// A process is given to an entry once, when a sample pass first sees it, and
// keeps it; later passes only bring its figures up to date. A process started
// by a process of an entry belongs to that entry, whatever it runs. Any other
// process is an entry's when it runs the entry's file, or is the entry's host
// running it. Where the command line cannot tell two entries apart, neither
// is measured at this logon: an entry never shows another one's figures.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "impact/Impact.h"

namespace vantorell::impact {

// A process as one sample pass saw it.
struct ProcessSample {
    std::uint32_t pid = 0, parentPid = 0;
    std::uint64_t created = 0;               // creation time (system file time): tells a reused pid apart
    std::string image;                       // full path of its executable; empty when it could not be read
    std::optional<std::string> commandLine;  // nullopt when it could not be read
    Cost cost;                               // CPU (user and kernel) and disk (bytes read and written) so far
};

// What an autostart entry starts, as the identification resolved it.
struct EntryTarget {
    std::string key;      // the entry's history key (HistoryKey)
    std::string file;     // the file that runs (full path); empty when none can be named
    std::string host;     // the host program's full path when a host runs `file`; empty otherwise
    std::string command;  // the entry's command line as stored
};

class Attribution {
public:
    explicit Attribution(std::vector<EntryTarget> targets);

    // One pass of samples: all processes of the session at that moment.
    void Add(const std::vector<ProcessSample>& pass);

    // Per target key: the summed latest figures of its processes, children
    // included; nullopt where it is not measured (no process of it was seen,
    // or a process could not be told apart from another entry's).
    std::map<std::string, std::optional<Cost>> Result() const;
    // The CPU time of all processes given to an entry.
    std::uint64_t TotalCpuMs() const;

private:
    struct Target {
        EntryTarget entry;
        std::string command;  // in the form commands are compared in
        std::string file;     // ASCII-lowered
        bool unmeasured = false;
    };
    struct Process {
        Cost cost;
        std::optional<std::size_t> target;
    };
    using ProcessId = std::pair<std::uint32_t, std::uint64_t>;  // pid, creation time

    std::optional<std::size_t> Claim(const ProcessSample& sample);
    std::optional<std::size_t> ParentTarget(const ProcessSample& sample) const;
    void MarkUnmeasured(const std::vector<std::size_t>& targets);

    std::vector<Target> targets_;
    std::map<ProcessId, Process> processes_;
};

}  // namespace vantorell::impact
