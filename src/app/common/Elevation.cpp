#include "app/common/Elevation.h"

#include "app/common/ConsoleCommands.h"
#include "platform/Errors.h"
#include "platform/Text.h"
#include "store/AutostartStore.h"

namespace vantorell::app {

namespace {

std::string_view VerbName(control::EntryVerb verb) {
    using control::EntryVerb;
    switch (verb) {
        case EntryVerb::Disable: return "disable";
        case EntryVerb::Enable: return "enable";
        case EntryVerb::Delete: return "delete";
        case EntryVerb::Confirm: return "confirm";
        case EntryVerb::Unconfirm: return "unconfirm";
        case EntryVerb::Delay: return "delay";
    }
    return "disable";
}

// The helper's error text without its program prefix and line ends.
std::string HelperMessage(std::string text) {
    const std::string prefix = "vantorellc: ";
    if (text.compare(0, prefix.size(), prefix) == 0) text.erase(0, prefix.size());
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    return text;
}

class BusyScope {
public:
    explicit BusyScope(bool& flag) : flag_(flag) { flag_ = true; }
    ~BusyScope() { flag_ = false; }
    BusyScope(const BusyScope&) = delete;
    BusyScope& operator=(const BusyScope&) = delete;

private:
    bool& flag_;
};

}  // namespace

std::string QuoteArgument(std::string_view argument) {
    if (!argument.empty() && argument.find_first_of(" \t\n\v\"") == std::string_view::npos)
        return std::string(argument);
    std::string out = "\"";
    std::size_t backslashes = 0;
    for (char c : argument) {
        if (c == '\\') {
            ++backslashes;
            continue;
        }
        // Backslashes before a quote are doubled, and the quote escaped.
        out.append(c == '"' ? backslashes * 2 + 1 : backslashes, '\\');
        backslashes = 0;
        out += c;
    }
    out.append(backslashes * 2, '\\');  // before the closing quote
    out += '"';
    return out;
}

std::string ConsoleArguments(const control::EntryChange& change) {
    const control::EntrySeen& entry = change.entry;
    std::string args(VerbName(change.verb));
    if (change.verb == control::EntryVerb::Delay) args += " " + text::ToDecimal(change.seconds);
    args += " --location " + QuoteArgument(entry.key.location);
    // The helper acts on this entry only while it still holds what the row showed.
    args += std::string(" --kind ") + (entry.key.recorded ? "recorded" : "active");
    args += " --held-command " + QuoteArgument(entry.command);
    args += " --held-arguments " + QuoteArgument(entry.arguments);
    args += " --held-confirm " + QuoteArgument(entry.confirm.Text());
    args += " --held-delay " + QuoteArgument(entry.delay.Text());
    // Which Active Setup component, where two show the same name.
    if (!entry.key.subKey.empty()) args += " --sub-key " + QuoteArgument(entry.key.subKey);
    if (change.discard) args += " --discard";
    if (change.force) args += " --force";
    // "--" first would end the options; a name beginning with "--" is still a name after them.
    args += " -- " + QuoteArgument(entry.key.name);
    return args;
}

bool CarriesWhole(const control::EntryChange& change) {
    const control::EntrySeen& e = change.entry;
    for (const std::string& s :
         {e.key.name, e.key.location, e.key.subKey, e.command, e.arguments, e.confirm.Text(), e.delay.Text()})
        if (s.find('\0') != std::string::npos || !text::IsValidUtf8(s)) return false;
    return true;
}

bool Elevation::NeedsRights(std::string_view location) {
    return store::IsMachinePlace(location) && !platform_.processes.IsElevated();
}

bool Elevation::Refused(std::uint64_t deniedBefore, const control::EntryChange& change) {
    return platform_.processes.AccessDeniedCount() != deniedBefore && NeedsRights(change.entry.key.location) &&
           CarriesWhole(change);
}

Elevation::Result Elevation::Offer(const control::EntryChange& change, std::string_view question) {
    // The helper beside a portable copy is in a folder the user can write.
    if (!layout_.IsInstalled()) throw AppError(std::string(kPortableNoElevation));
    BusyScope busy(busy_);
    if (platform_.shell.ShowMessageBox(question, kAppTitle, platform::MsgBox::YesNo | platform::MsgBox::IconWarning) !=
        platform::MsgBox::IdYes)
        return Result::Declined;

    // The helper's error text comes back through a handle of this process,
    // never through a file a program of the user's could put a link in place of.
    const auto run = platform_.processes.RunElevated(text::JoinPath(layout_.ExecutableFolder(), kConsoleExe),
                                                     ConsoleArguments(change));
    switch (run.outcome) {
        case platform::ElevatedRun::Outcome::Cancelled:
            platform_.shell.ShowMessageBox(kElevationCancelled, kAppTitle,
                                           platform::MsgBox::Ok | platform::MsgBox::IconInformation);
            return Result::Cancelled;
        case platform::ElevatedRun::Outcome::Failed:
            throw AppError("Vantorell could not start \"" + std::string(kConsoleExe) +
                           "\" as administrator: " + run.message);
        case platform::ElevatedRun::Outcome::Finished: break;
    }
    if (run.exitCode == kExitOk) return Result::Done;
    std::string message = HelperMessage(run.report);
    if (message.empty())
        message = "The change made as administrator failed (" + std::string(kConsoleExe) + " ended with exit code " +
                  std::to_string(run.exitCode) + ")";
    if (run.exitCode == kExitChanged) throw ChangedMeanwhile(message);
    throw AppError(message);
}

}  // namespace vantorell::app
