// The program's own autostart entry can be neither switched, edited nor deleted
// from Vantorell itself.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace vantorell::control {

// The switch under which the program's own Run value starts it at logon.
inline constexpr std::string_view kLogonSwitch = " -b";
// The help page installed beside the executable; the self-protection message
// points to it.
inline constexpr std::string_view kHelpFileName = "VantorellHelp.html";

// Whether a run command is the program's own logon command: the executable's
// full path followed by " -b", the path bare or in double quotes, compared
// exactly, letter case included.
bool IsOwnCommand(std::string_view command, std::string_view executablePath);

// The name of the program's own Run value.
inline constexpr std::string_view kOwnEntryName = "Vantorell";
// The window program, beside the console companion.
inline constexpr std::string_view kWindowProgramName = "vantorell.exe";

// The paths of the program whose logon entry is protected: the running
// executable and "vantorell.exe" beside it (the console companion protects the
// window program, not itself).
std::vector<std::string> OwnProgramPaths(std::string_view executablePath);

// Whether an entry is the program's own logon entry, whatever a record says
// about it: a Run-key entry named "Vantorell", or any entry whose command is
// the own logon command of one of OwnProgramPaths.
bool IsOwnEntry(std::string_view name, std::string_view location, std::string_view command,
                std::string_view executablePath);

// The message shown when the user tries to change the program's own entry;
// it ends with the address of the help page beside `executablePath`.
std::string SelfProtectionMessage(std::string_view executablePath);

}  // namespace vantorell::control
