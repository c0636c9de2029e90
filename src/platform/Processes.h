// The processes facet of the platform: this process (its executable, its
// environment, its rights and the writes they refused) and the programs it
// runs for a piece of work, with administrator rights or as a helper.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vantorell::platform {

// A program of this session as the system lists it, for measuring what it
// costs. Times are the system's file times (100 ns since 1601).
struct ProcessFacts {
    std::uint32_t pid = 0, parentPid = 0;
    std::uint64_t created = 0;
    std::string image;                       // full path; empty when it cannot be read
    std::optional<std::string> commandLine;  // nullopt when it cannot be read
    std::uint64_t cpuMs = 0;                 // user and kernel time so far
    std::uint64_t ioBytes = 0;               // bytes read and written so far (Wine counts none)
};

// The whole machine's processor times since it started, 100 ns units; kernel
// time includes the idle time.
struct CpuTimes {
    std::uint64_t idle = 0, kernel = 0, user = 0;
};

// How a program run with administrator rights ended.
struct ElevatedRun {
    enum class Outcome {
        Finished,   // it ran; exitCode is its exit code
        Cancelled,  // the user said no at the prompt for the rights (ERROR_CANCELLED)
        Failed,     // it could not be started; message says why
    };
    Outcome outcome = Outcome::Failed;
    int exitCode = 0;
    std::string message;
    std::string report;  // what the program wrote to the report handle it was given (Finished only)
};

// The option that gives an elevated program the handle to write its report to:
// "--report-to PID:HANDLE", the caller's process id and a handle value in that
// process, both decimal. RunElevated puts it first on the program's command line.
inline constexpr std::string_view kReportToOption = "--report-to";

// A helper that StartHelper started. Destroying it ends the helper if it
// still runs.
class HelperRun {
public:
    virtual ~HelperRun() = default;
    // Appends what the helper wrote since the last call to `output`, without
    // waiting. True once it has ended and everything it wrote was read.
    virtual bool Poll(std::string& output) = 0;
};

class Processes {
public:
    // Full path of the running executable.
    virtual std::string ExecutablePath() = 0;
    // The environment variable's value; nullopt when it is not set.
    virtual std::optional<std::string> EnvironmentVariable(std::string_view name) = 0;
    // Whether this process runs with administrator rights (an elevated token,
    // or rights that need no elevation). Decided by the system, never by a switch.
    virtual bool IsElevated() = 0;
    // How many writes (registry values and keys created, files, shortcuts,
    // folders) have been refused for lack of rights, since the platform was
    // made. A caller compares it before and after an operation to tell a
    // refusal from other failures.
    virtual std::uint64_t AccessDeniedCount() = 0;
    // Runs `program` with `parameters` (one command-line text) with
    // administrator rights: the system asks the user, the program starts
    // hidden, and the call waits until it ends while the window's messages
    // (painting, timers) keep being handled. The program's report travels
    // through an anonymous pipe of this process, whose handle it is given by
    // kReportToOption: nothing is read from or written to a file.
    virtual ElevatedRun RunElevated(std::string_view program, std::string_view parameters) = 0;

    // A helper: this program run again for one piece of work, so that what
    // that work loads (the system's cryptography) never stays in the program
    // that sits in the tray, and a file that breaks it cannot end that one.
    // Whether StartHelper can be used here.
    virtual bool CanRunHelper() = 0;
    // Starts this program with `argument`, hidden, at a low priority and
    // without administrator rights where it can, with `input` to read. Never
    // waits for it. nullptr when it cannot be started.
    virtual std::unique_ptr<HelperRun> StartHelper(std::string_view argument, std::string_view input) = 0;

    // Measuring at logon.
    // The programs of this session created at `createdSince` or later (a file
    // time), with what this process may read of them; this process is not
    // among them (what it starts for a delayed entry is that entry's cost,
    // not its own entry's).
    virtual std::vector<ProcessFacts> SessionProcesses(std::uint64_t createdSince) = 0;
    virtual std::optional<CpuTimes> SystemCpuTimes() = 0;
    // When this session's user logged on; nullopt where the system does not say.
    virtual std::optional<std::uint64_t> LogonTime() = 0;
    // When this process started, and now, as file times.
    virtual std::uint64_t StartTime() = 0;
    virtual std::uint64_t FileTimeNow() = 0;

protected:
    ~Processes() = default;
};

}  // namespace vantorell::platform
