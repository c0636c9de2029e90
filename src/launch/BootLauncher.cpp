#include "launch/BootLauncher.h"

#include <algorithm>
#include <vector>

#include "platform/Text.h"
#include "store/Place.h"
#include "store/StartupRecord.h"

namespace vantorell::launch {
namespace {

// What names a record for the exactly-once rule of a pass: its name, place,
// command and arguments, which the confirm and delay setters leave alone.
struct Identity {
    std::string name, location, command, arguments;
    bool operator==(const Identity&) const = default;
};

Identity IdentityOf(const store::StartupRecord& record) {
    return {record.name, record.location, record.command, record.arguments};
}

}  // namespace

std::string AskText(std::string_view name) {
    std::string text(kAskTextBefore);
    text += name;
    text += kAskTextAfter;
    return text;
}

BootLauncher::BootLauncher(platform::Clock& clock, platform::Shell& shell, store::AutostartStore& store,
                           LauncherHost& host)
    : clock_(clock), shell_(shell), store_(store), host_(host) {}

BootLauncher::~BootLauncher() {
    StopTimer(timer_);
    StopTimer(timer11_);
    StopTimer(timer2_);
}

void BootLauncher::StopTimer(std::optional<platform::TimerId>& timer) {
    if (!timer) return;
    clock_.StopTimer(*timer);
    timer.reset();
}

void BootLauncher::StartBootLaunch() {
    if (started_) return;
    started_ = true;
    timer_ = clock_.StartTimer(kTimerIntervalMs, [this] { TimerTimer(); });
    timer11_ = clock_.StartTimer(kTimer11IntervalMs, [this] { Timer11Timer(); });
    timer2_ = clock_.StartTimer(kTimer2IntervalMs, [this] { Timer2Timer(); });
}

void BootLauncher::Timer11Timer() {
    // Off first: a one-shot, even if minimising lets other messages run.
    StopTimer(timer11_);
    host_.MinimizeApplication();
}

void BootLauncher::Timer2Timer() {
    StopTimer(timer2_);
    RunPass(Trigger::NoDelayConfirm, 0);
}

void BootLauncher::TimerTimer() {
    // The pass keeps the count of its own tick: ticks that come while one of
    // its prompts is open run their own passes, nested inside this one.
    const int tick = ++bootSeconds_;
    if (tick >= kLastBootSecond) StopTimer(timer_);
    RunPass(Trigger::DelayEquals, tick);
}

bool BootLauncher::Selected(std::size_t i, Trigger trigger, int tick) const {
    const auto& entries = store_.Table().entries;
    if (i >= entries.size()) return false;
    const store::StartupEntry& e = entries[i];
    // Without delay means a delay field of exactly "0" ("00" or "" is none);
    // the timer's ticks count from 1, so a field that is no number never comes.
    const bool due = trigger == Trigger::NoDelayConfirm ? e.delay == store::DelaySeconds(0) && e.confirm.value
                                                        : e.delay.value == tick;
    // A record whose place Windows starts outside the shell (a service, a
    // Winlogon item) is never started here, whoever wrote its delay.
    return due && !(e.place && store::OpenPlace(store_, *e.place)->Refusal(store::PlaceChange::HandOver, e.name,
                                                                            e.command));
}

BootLauncher::Due BootLauncher::Take(std::size_t i) {
    const store::StartupEntry& e = store_.Table().entries[i];
    Due due{e.name, CommandLineOf(i).value_or(std::string()), std::nullopt, e.confirm.value};
    if (i < store_.Table().RecordCount()) due.keptShortcut = store_.KeptShortcutFor(store_.Table().storedRecords[i]);
    return due;
}

void BootLauncher::Start(const Due& due) {
    if (due.keptShortcut && shell_.ShellStart(*due.keptShortcut)) return;
    if (!due.commandLine.empty()) shell_.StartCommand(due.commandLine);
}

void BootLauncher::Handle(const Due& due) {
    // The command line was formed before the prompt opened, so whatever
    // happens to the table meanwhile, Yes starts the program that was named.
    if (due.confirm && !AskToLaunch(due.name)) return;
    Start(due);
}

void BootLauncher::RunPass(Trigger trigger, int tick) {
    const auto& records = store_.Table().storedRecords;
    std::vector<Identity> handled;   // identities handled by this pass, with repeats
    std::vector<Identity> passOver;  // handled ones still to pass over after the records changed
    std::size_t i = 0;
    while (i < records.size()) {  // the count is read again at every step
        if (!Selected(i, trigger, tick)) {
            ++i;
            continue;
        }
        Identity id = IdentityOf(records[i]);
        if (auto it = std::find(passOver.begin(), passOver.end(), id); it != passOver.end()) {
            passOver.erase(it);
            ++i;
            continue;
        }
        const Due due = Take(i);
        handled.push_back(std::move(id));
        if (!due.confirm) {
            Handle(due);  // starts without a message loop: the table cannot change here
            ++i;
            continue;
        }
        const std::vector<store::StartupRecord> before = records;
        Handle(due);
        if (records == before) {
            ++i;
            continue;
        }
        // The list changed while the prompt was open (a record enabled, deleted
        // or added meanwhile): positions may have moved, so go over the records
        // again from the first, passing over those this pass already handled.
        passOver = handled;
        i = 0;
    }
}

bool BootLauncher::AskToLaunch(std::string_view name) {
    const unsigned style = platform::MsgBox::YesNo | platform::MsgBox::DefButton1 | platform::MsgBox::OwnedByDesktop;
    return shell_.ShowMessageBox(AskText(name), kAskCaption, style) == platform::MsgBox::IdYes;
}

std::optional<std::string> BootLauncher::CommandLineOf(std::size_t i) const {
    const auto& table = store_.Table();
    if (i >= table.RecordCount() || i >= table.entries.size()) return std::nullopt;
    std::string line = table.entries[i].command;
    const store::AutostartLocation* location = store::FindLocation(table.entries[i].location);
    if (location && location->isFolder) {
        // A shortcut's target is a path, never a command line: quoted, so that
        // no leading part of a path with blanks is taken for the program.
        if (line.empty()) return std::string();  // a shell item: only its .lnk can start it
        if (line.front() != '"') line = "\"" + line + "\"";
    }
    const std::string& arguments = table.storedRecords[i].arguments;
    if (!arguments.empty()) {
        line += ' ';
        line += arguments;
    }
    return line;
}

void BootLauncher::LaunchEntry(std::size_t i) {
    if (i >= store_.Table().RecordCount() || i >= store_.Table().entries.size()) return;
    Start(Take(i));
}

}  // namespace vantorell::launch
