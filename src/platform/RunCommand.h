// How a command line of a Run value is started: the program is the quoted
// first part, or for an unquoted command with blanks the longest leading part
// that names a file. "C:\Program Files\A B\m.exe" is never taken for
// "C:\Program.exe" with arguments, as the system's own search would when that
// file exists.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace vantorell::platform {

struct ResolvedCommand {
    // The program to start; empty when the system is to find it from the
    // command line's first word, which then holds no blank.
    std::string program;
    // The command line to pass, its program quoted when it holds a blank.
    std::string commandLine;
};

// nullopt when nothing can be started without guessing: an unquoted path with
// blanks of which no leading part names a file.
std::optional<ResolvedCommand> ResolveRunCommand(std::string_view command,
                                                 const std::function<bool(std::string_view)>& isFile);

}  // namespace vantorell::platform
