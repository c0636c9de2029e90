#include "control/SelfProtection.h"

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
