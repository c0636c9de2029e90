#include "platform/RunCommand.h"

namespace vantorell::platform {
namespace {

constexpr std::string_view kBlanks = " \t";
constexpr std::string_view kProgramExtension = ".exe";

bool HasExtension(std::string_view part) {
    const auto component = part.find_last_of("\\/:");
    const std::string_view last = component == std::string_view::npos ? part : part.substr(component + 1);
    return last.find('.') != std::string_view::npos;
}

// The file a part names: itself, or with ".exe" added when its last component
// has no extension (as the system completes a program's name). A leading part
// shorter than the command must name a file with its extension written out:
// "C:\Program" before " Files\..." is the start of a path, not a program.
std::optional<std::string> NamedFile(std::string_view part, bool whole,
                                     const std::function<bool(std::string_view)>& isFile) {
    if (part.empty()) return std::nullopt;
    if (!whole && !HasExtension(part)) return std::nullopt;
    if (isFile(part)) return std::string(part);
    if (HasExtension(part)) return std::nullopt;
    std::string withExtension = std::string(part) + std::string(kProgramExtension);
    if (isFile(withExtension)) return withExtension;
    return std::nullopt;
}

bool HasFolder(std::string_view word) { return word.find_first_of("\\/:") != std::string_view::npos; }

}  // namespace

std::optional<ResolvedCommand> ResolveRunCommand(std::string_view command,
                                                 const std::function<bool(std::string_view)>& isFile) {
    const auto start = command.find_first_not_of(kBlanks);
    if (start == std::string_view::npos) return std::nullopt;
    command.remove_prefix(start);

    if (command.front() == '"') {
        const auto close = command.find('"', 1);
        const std::string_view quoted = command.substr(1, close == std::string_view::npos ? std::string_view::npos
                                                                                           : close - 1);
        ResolvedCommand resolved{std::string(), std::string(command)};
        if (auto file = NamedFile(quoted, true, isFile)) resolved.program = std::move(*file);
        return resolved;
    }

    // Longest first: the whole command, then up to each blank from the last.
    for (std::size_t end = command.size(); end > 0;) {
        const std::string_view part = command.substr(0, end);
        if (part.back() != ' ' && part.back() != '\t') {
            if (auto file = NamedFile(part, end == command.size(), isFile)) {
                ResolvedCommand resolved;
                resolved.program = *file;
                const bool blank = file->find_first_of(kBlanks) != std::string::npos;
                resolved.commandLine = (blank ? "\"" + *file + "\"" : *file) + std::string(command.substr(end));
                return resolved;
            }
        }
        const auto blank = command.find_last_of(kBlanks, end - 1);
        if (blank == std::string_view::npos) break;
        end = blank;
    }

    // No leading part is a file. A bare program name (no folder) is found by the
    // system's search; a path is started only when it holds no blank at all.
    const auto firstBlank = command.find_first_of(kBlanks);
    const std::string_view first = command.substr(0, firstBlank);
    if (!HasFolder(first) || firstBlank == std::string_view::npos) return ResolvedCommand{{}, std::string(command)};
    return std::nullopt;
}

}  // namespace vantorell::platform
