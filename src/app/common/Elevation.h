// Elevation on demand. The window and the logon launcher always run with the
// user's own rights. A change to what every user shares (a machine place, and
// the machine's list) that is refused for lack of rights is offered once to be
// made as administrator: the console companion "vantorellc.exe" runs that one
// change with the rights, hidden, and the window waits for it and rescans.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "app/common/FileLayout.h"
#include "control/EntryCommands.h"
#include "platform/Platform.h"

namespace vantorell::app {

inline constexpr std::string_view kConsoleExe = "vantorellc.exe";
inline constexpr std::string_view kElevationQuestion =
    "Changing programs that start for every user needs administrator rights. Make the change as administrator?";
inline constexpr std::string_view kElevationCancelled = "The change was not made: administrator rights were not given.";
// Why a portable copy offers no elevation: its folder is the user's to write,
// so the helper there could have been replaced by any program of the user's.
inline constexpr std::string_view kPortableNoElevation =
    "Changing programs that start for every user needs administrator rights. This copy of Vantorell runs from a "
    "folder you can write to, so it does not start its helper there as administrator: use the installed Vantorell, "
    "or start this copy as administrator";
// The info tip of a machine-wide row when the window runs without the rights.
inline constexpr std::string_view kNeedsRightsTip = "needs administrator rights";

// One argument for a Windows command line, quoted so that CommandLineToArgvW
// and the C runtime give it back unchanged.
std::string QuoteArgument(std::string_view argument);
// The console companion's arguments for `change`: VERB [SECONDS] --location
// CODE, the kind and texts of the entry as its row showed it (--kind,
// --held-*), [--discard], then "--" and the NAME.
std::string ConsoleArguments(const control::EntryChange& change);
// Whether a command line carries `change` whole: no text holds a NUL (which
// would cut it short, naming another entry) and every text is UTF-8.
bool CarriesWhole(const control::EntryChange& change);

class Elevation {
public:
    enum class Result {
        Declined,   // the user said No: nothing was run
        Cancelled,  // No at the system's prompt for the rights: nothing changed (said so once)
        Done,       // the change was made with the rights
    };

    Elevation(platform::Platform& platform, const FileLayout& layout) : platform_(platform), layout_(layout) {}

    // Whether `change`, which just failed, was refused for lack of rights and
    // may be made as administrator: this process runs without them, a write was
    // refused as access denied since the count was `deniedBefore`, the place is
    // one every user shares, and a command line carries the change whole.
    bool Refused(std::uint64_t deniedBefore, const control::EntryChange& change);
    // Whether a change of place `location` needs rights this process lacks.
    bool NeedsRights(std::string_view location);
    // True while an offer is open or its change runs (timers keep firing then).
    bool Busy() const { return busy_; }

    // Asks `question` (Yes/No); on Yes makes `change` as administrator and
    // waits for it. A change that ran and failed throws AppError with its
    // error text (ChangedMeanwhile when the entry changed meanwhile). A
    // portable copy asks nothing and throws kPortableNoElevation. The caller
    // rescans afterwards in every case but Declined.
    Result Offer(const control::EntryChange& change, std::string_view question);

private:
    platform::Platform& platform_;
    const FileLayout& layout_;
    bool busy_ = false;
};

}  // namespace vantorell::app
