// The logon-time launcher: in logon mode Vantorell itself starts the programs
// the user handed over to it (records with a confirm flag or a delay), each
// once per logon, after its delay and, where asked for, after a Yes.
//
// Three timers drive it: Timer11 (10 ms, once) sends the program to the tray,
// Timer2 (30 ms, once) asks about confirmed records without a delay, and Timer
// (1000 ms) counts BootSeconds and starts the records whose delay has come, up
// to the 650th tick. Prompts are modal but timers keep firing inside them, so
// passes nest; every pass is written to be entered again.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "platform/Clock.h"
#include "platform/Shell.h"
#include "store/AutostartStore.h"

namespace vantorell::launch {

inline constexpr unsigned kTimerIntervalMs = 1000;  // Timer: one tick per second
inline constexpr unsigned kTimer11IntervalMs = 10;  // Timer11: to the tray
inline constexpr unsigned kTimer2IntervalMs = 30;   // Timer2: confirmed records without delay
inline constexpr int kLastBootSecond = 650;         // Timer stops at this tick, which still runs

inline constexpr std::string_view kAskCaption = "Start program";
inline constexpr std::string_view kAskTextBefore =
    "With the help of Vantorell, you have selected to confirm the startup of the following program: ";
inline constexpr std::string_view kAskTextAfter = ". Click 'Yes' to launch this program";

// The prompt's text for a program name.
std::string AskText(std::string_view name);

// What the launcher needs of the main window.
class LauncherHost {
public:
    virtual ~LauncherHost() = default;
    // Minimises the application, which puts it into the tray (ApplicationMinimize).
    virtual void MinimizeApplication() = 0;
};

class BootLauncher {
public:
    // Its timers run on `clock`; it starts the programs and asks the user
    // through `shell`. All must outlive the launcher.
    BootLauncher(platform::Clock& clock, platform::Shell& shell, store::AutostartStore& store, LauncherHost& host);
    BootLauncher(const BootLauncher&) = delete;
    BootLauncher& operator=(const BootLauncher&) = delete;
    // Stops the timers that still run.
    ~BootLauncher();

    // Logon mode only, once, at the end of the start-up sequence: switches on
    // Timer, Timer11 and Timer2. A second call does nothing.
    void StartBootLaunch();

    // Seconds counted by Timer since StartBootLaunch; never reset.
    int BootSeconds() const { return bootSeconds_; }
    bool Started() const { return started_; }
    // True while Timer still ticks (until the 650th second).
    bool Launching() const { return timer_.has_value(); }

    // The timer handlers; the timers call them, and tests may too.
    void Timer11Timer();
    void Timer2Timer();
    void TimerTimer();

    // The confirmation prompt, owned by the desktop, Yes the default. True on Yes.
    bool AskToLaunch(std::string_view name);
    // Starts the program of record i as Windows would have started it: a
    // shortcut record through its kept .lnk (by the shell, never with a
    // dialog), or, without one, as its quoted target and its arguments; a
    // registry record as its Run command. Show-normal, no wait; a command that
    // cannot be started is skipped without a message. An index outside the
    // records does nothing.
    void LaunchEntry(std::size_t i);
    // The command line LaunchEntry starts for record i when it has no kept
    // .lnk; nullopt outside the records.
    std::optional<std::string> CommandLineOf(std::size_t i) const;

private:
    // The record fields the launcher reads, taken from the table as it stands now.
    struct Due {
        std::string name;
        std::string commandLine;
        std::optional<std::string> keptShortcut;  // the .lnk to start instead of the command line
        bool confirm = false;
    };
    enum class Trigger { NoDelayConfirm, DelayEquals };

    // One pass over the records: handles, in record order, each record the
    // trigger selects, exactly once, even when the records change while a
    // prompt of this pass is open.
    void RunPass(Trigger trigger, int tick);
    bool Selected(std::size_t i, Trigger trigger, int tick) const;
    Due Take(std::size_t i);
    void Start(const Due& due);
    void Handle(const Due& due);
    void StopTimer(std::optional<platform::TimerId>& timer);

    platform::Clock& clock_;
    platform::Shell& shell_;
    store::AutostartStore& store_;
    LauncherHost& host_;
    bool started_ = false;
    int bootSeconds_ = 0;
    std::optional<platform::TimerId> timer_, timer11_, timer2_;
};

}  // namespace vantorell::launch
