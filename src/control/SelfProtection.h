// The program's own autostart entry can be neither switched, edited nor deleted
// from Vantorell itself.
#pragma once

#include <string>
#include <string_view>

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

// The message shown when the user tries to change the program's own entry;
// it ends with the address of the help page beside `executablePath`.
std::string SelfProtectionMessage(std::string_view executablePath);

}  // namespace vantorell::control
