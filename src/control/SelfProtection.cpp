#include "control/SelfProtection.h"

#include "base/Text.h"

#include "platform/Text.h"

namespace vantorell::control {
namespace {

constexpr std::string_view kSelfProtectionText =
    "You are trying to disable Vantorell using Vantorell! This does not work! If you wish to remove Vantorell from "
    "your computer, please remove it from the shortcut provided in the Start Menu or from the Control Panel's "
    "Add/Remove Programs tool.";
constexpr std::string_view kHelpSentence = "If you need help with Vantorell, please visit our website at";

}  // namespace

bool IsOwnCommand(std::string_view command, std::string_view executablePath) {
    if (executablePath.empty()) return false;
    const std::string bare = std::string(executablePath) + std::string(kLogonSwitch);
    const std::string quoted = "\"" + std::string(executablePath) + "\"" + std::string(kLogonSwitch);
    return command == bare || command == quoted;
}

std::vector<std::string> OwnProgramPaths(std::string_view executablePath) {
    std::vector<std::string> paths;
    if (executablePath.empty()) return paths;
    paths.emplace_back(executablePath);
    std::string window = text::JoinPath(text::FolderOf(executablePath), kWindowProgramName);
    if (window != paths.front()) paths.push_back(std::move(window));
    return paths;
}

namespace {
// The Run keys the program registers itself in (both views of the machine's).
bool IsRunKeyCode(std::string_view location) {
    return location == "crun" || location == "lrun" || location == "lrun32";
}
}  // namespace

bool IsOwnEntry(std::string_view name, std::string_view location, std::string_view command,
                std::string_view executablePath) {
    if (IsRunKeyCode(location) && text::EqualsAsciiNoCase(name, kOwnEntryName)) return true;
    for (const auto& path : OwnProgramPaths(executablePath))
        if (IsOwnCommand(command, path)) return true;
    return false;
}

std::string SelfProtectionMessage(std::string_view executablePath) {
    std::string text(kSelfProtectionText);
    text += ' ';
    text += kHelpSentence;
    text += ' ';
    text += text::JoinPath(text::FolderOf(executablePath), kHelpFileName);
    text += '.';
    return text;
}

}  // namespace vantorell::control
