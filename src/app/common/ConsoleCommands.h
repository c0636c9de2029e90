// The portable part of the console companion "vantorellc": the command line,
// the commands, and their output as text. The entry point of the executable
// only converts the arguments to UTF-8 and writes the two texts out.
#pragma once

#include <functional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "base/JsonText.h"
#include "identity/Identity.h"
#include "impact/History.h"
#include "store/AutostartStore.h"
#include "ui/NameLists.h"

namespace vantorell::app {

inline constexpr int kExitOk = 0;
inline constexpr int kExitFailure = 1;      // the command ran and failed
inline constexpr int kExitUsage = 2;        // the command line was not understood
inline constexpr int kExitNeedsRights = 3;  // refused for lack of rights: run it as administrator
inline constexpr int kExitChanged = 4;      // the entry or list changed meanwhile; nothing was done
// apply: a place could not be read, so whether it is as wanted is not known.
inline constexpr int kExitUnreadable = 3;
// apply --check: the machine is not as the policy wants (a result, not a failure).
inline constexpr int kExitDrift = 1;
// apply --check: the check itself failed, so nothing is known of the drift.
inline constexpr int kExitCheckFailed = 5;

// Added to the error of a change refused for lack of rights.
inline constexpr std::string_view kRunAsAdministrator =
    "Changing programs that start for every user needs administrator rights: run vantorellc as administrator.";

inline constexpr std::string_view kConsoleName = "vantorellc";
// The program's version (the project's, as in the version resources).
extern const char* const kVersion;

struct ConsoleOutput {
    int exitCode = kExitOk;
    std::string out;  // UTF-8, for standard output
    std::string err;  // UTF-8, for standard error: real failures only
    // The exit code is a result (drift), not a failure: nothing is said on
    // standard error, which a fleet tool takes as a fault.
    bool result = false;
};

// Reads the whole of standard input (as UTF-8), for the commands that take
// their input there ("dsc", "apply -"). Called at most once, and only by those.
using ConsoleInput = std::function<std::string()>;

// Runs one command line (the arguments after the program name). Never throws
// for a failure of the command: the message goes to `err` with exit code 1, 4
// when the entry changed meanwhile, or 3 when the change itself was refused
// for lack of rights and the process runs without them.
ConsoleOutput RunConsole(platform::Platform& platform, store::AutostartStore& store,
                         const std::vector<std::string>& args, const ConsoleInput& readInput = {});

// Runs one command line as "vantorellc.exe" does: on the lists of the
// running executable's layout (FileLayout::Detect).
ConsoleOutput RunConsole(platform::Platform& platform, const std::vector<std::string>& args,
                         const ConsoleInput& readInput = {});

// As RunConsole(platform, args), for the one change the window hands over to
// be made with administrator rights: on the machine's list alone. Such a run
// reads nothing in the user's folder, which any program of the user's can
// write: no record there reaches a machine's place.
ConsoleOutput RunHandedOverChange(platform::Platform& platform, const std::vector<std::string>& args);

// The usage text, one line per command.
std::string ConsoleUsage();

// The entry table in display order: an aligned table, or a JSON array of
// objects with the keys position, index, state, name, location, confirm, delay,
// command and rating. The rating is the grid's: "3" green, "2" blue, "1" red,
// "0" in no list (ui::RateEntry).
// With identities (one per table index), the table gets a Publisher column
// and each JSON object the keys file, fileExists, inline (the file is a host
// that runs code from its command line), signature, signer, issuer,
// signerSha1, signerSha256 (the signing certificate's thumbprints), company,
// description and fileVersion. A service's object has "service": its
// displayName, description, serviceDll and whether it is delayed.
// The table indexes in `hidden` are left out.
std::string FormatEntryTable(const store::EntryTable& table, const ui::NameLists& lists,
                             const std::vector<identity::Identity>& identities = {},
                             const std::set<std::size_t>& hidden = {});
// With a history of the logons measured, each object gets "impact" (level,
// and the median cpuMs, diskBytes over its measured logons), and the array
// ends with one object {"lastLogon": {...}}, the last logon as a whole.
std::string FormatEntryJson(const store::EntryTable& table, const ui::NameLists& lists,
                            const std::vector<identity::Identity>& identities = {},
                            const std::set<std::size_t>& hidden = {}, const impact::History* history = nullptr);

using text::JsonString;

}  // namespace vantorell::app
