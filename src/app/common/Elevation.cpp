#include "app/common/Elevation.h"

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

std::string ConsoleArguments(const control::EntryChange& change, std::string_view errorFile) {
    std::string args(VerbName(change.verb));
    if (change.verb == control::EntryVerb::Delay) args += " " + text::ToDecimal(change.seconds);
    // "--" first would end the options; a name beginning with "--" is still a name after them.
    args += " --location " + QuoteArgument(change.location);
    if (change.discard) args += " --discard";
    args += " --error-file " + QuoteArgument(errorFile);
    args += " -- " + QuoteArgument(change.name);
    return args;
}

bool Elevation::NeedsRights(std::string_view location) {
    return store::IsMachinePlace(location) && !platform_.IsElevated();
}

bool Elevation::Refused(std::uint64_t deniedBefore, std::string_view location) {
    return platform_.AccessDeniedCount() != deniedBefore && NeedsRights(location);
}

Elevation::Result Elevation::Offer(const control::EntryChange& change, std::string_view question) {
    BusyScope busy(busy_);
    if (platform_.ShowMessageBox(question, kAppTitle, platform::MsgBox::YesNo | platform::MsgBox::IconWarning) !=
        platform::MsgBox::IdYes)
        return Result::Declined;

    const std::string errorFile = layout_.UserFile(kElevatedErrorFile);
    platform_.RemoveFile(errorFile);
    const auto run = platform_.RunElevated(text::JoinPath(layout_.ExecutableFolder(), kConsoleExe),
                                           ConsoleArguments(change, errorFile));
    switch (run.outcome) {
        case platform::ElevatedRun::Outcome::Cancelled:
            platform_.ShowMessageBox(kElevationCancelled, kAppTitle, platform::MsgBox::Ok | platform::MsgBox::IconInformation);
            return Result::Cancelled;
        case platform::ElevatedRun::Outcome::Failed:
            throw AppError("Vantorell could not start \"" + std::string(kConsoleExe) + "\" as administrator: " +
                           run.message);
        case platform::ElevatedRun::Outcome::Finished: break;
    }
    if (run.exitCode == 0) {
        platform_.RemoveFile(errorFile);
        return Result::Done;
    }
    std::string message;
    const auto read = platform_.ReadFile(errorFile);
    if (read.outcome == platform::ReadOutcome::Ok) message = HelperMessage(read.bytes);
    platform_.RemoveFile(errorFile);
    if (message.empty())
        message = "The change made as administrator failed (" + std::string(kConsoleExe) + " ended with exit code " +
                  std::to_string(run.exitCode) + ")";
    throw AppError(message);
}

}  // namespace vantorell::app
