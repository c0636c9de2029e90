#include "identity/FileResolution.h"

#include <cctype>

#include <algorithm>
#include <array>
#include <initializer_list>
#include <vector>

#include "platform/RunCommand.h"
#include "platform/Text.h"

namespace vantorell::identity {
namespace {

constexpr std::string_view kBlanks = " \t";
constexpr std::string_view kAppPathsKey = "Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\";
constexpr int kMaxHostDepth = 3;  // cmd /c cmd /c ... ends somewhere

using text::AsciiLower;
using text::EqualsAsciiNoCase;

std::string_view FileNameOf(std::string_view path) {
    const auto slash = path.find_last_of("\\/:");
    return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

bool HasFolder(std::string_view path) {
    return path.find_first_of("\\/:") != std::string_view::npos;
}
bool HasExtension(std::string_view path) {
    return FileNameOf(path).find('.') != std::string_view::npos;
}

std::string_view TrimBlanks(std::string_view s) {
    const auto first = s.find_first_not_of(kBlanks);
    if (first == std::string_view::npos) return {};
    const auto last = s.find_last_not_of(kBlanks);
    return s.substr(first, last - first + 1);
}

// The arguments of a command line split as programs split theirs: blanks
// separate, quotes group and are dropped.
std::vector<std::string> SplitArguments(std::string_view text) {
    std::vector<std::string> args;
    std::size_t i = 0;
    while (i < text.size()) {
        while (i < text.size() && kBlanks.find(text[i]) != std::string_view::npos) ++i;
        if (i >= text.size()) break;
        std::string arg;
        bool quoted = false;
        for (; i < text.size(); ++i) {
            const char c = text[i];
            if (c == '"') {
                quoted = !quoted;
                continue;
            }
            if (!quoted && kBlanks.find(c) != std::string_view::npos) break;
            arg += c;
        }
        args.push_back(std::move(arg));
    }
    return args;
}

class Resolver {
public:
    Resolver(const IdentityFacets& platform, MissingFolders* folders) : platform_(platform), folders_(folders) {}

    ResolvedFile Resolve(const FileJob& job) {
        ResolvedFile file = ResolveJob(job);
        for (const auto& [path, facts] : looked_)
            if (path == file.path) file.facts = facts;
        return file;
    }

private:
    ResolvedFile ResolveJob(const FileJob& job) {
        if (!job.shortcut) return FromCommand(job.command, 0);
        std::string target = job.command, arguments = job.arguments;
        if (!job.linkFile.empty()) {
            platform::ShortcutData link;
            if (platform_.files.ReadShortcut(job.linkFile, link)) {
                if (link.target.empty() && !link.itemPath.empty()) {
                    ResolvedFile item;
                    item.path = link.itemPath;
                    item.item = true;
                    return item;
                }
                if (!link.target.empty()) target = link.target;
                arguments = link.arguments;
            }
        }
        target = Expand(TrimBlanks(target));
        if (target.empty()) return {};
        return FromProgram(target, arguments, 0);
    }

    std::string Expand(std::string_view text) {
        return ExpandReferences(
            text, [this](std::string_view name) { return platform_.processes.EnvironmentVariable(name); });
    }

    bool IsFile(std::string_view path) {
        if (IsUncPath(path)) return true;  // never looked at: taken as written
        const platform::FileFacts facts =
            folders_ ? folders_->Stat(platform_.fileIdentity, path) : platform_.fileIdentity.StatFile(path);
        looked_.emplace_back(path, facts);
        return facts.network || (facts.exists && !facts.directory);
    }

    ResolvedFile FromCommand(std::string_view command, int depth) {
        const std::string expanded = Expand(command);
        const auto resolved =
            platform::ResolveRunCommand(expanded, [this](std::string_view path) { return IsFile(path); });
        if (!resolved) return {MissingProgram(TrimBlanks(expanded)), {}, {}, {}, false};
        std::string program = resolved->program;
        std::string_view rest;
        const std::string& line = resolved->commandLine;
        if (program.empty()) {
            // A bare name (or a path that is not there): the first word.
            const std::vector<std::string> words = SplitArguments(line);
            if (words.empty()) return {};
            program = words.front();
            if (!HasFolder(program)) {
                if (auto found = Search(program, ".exe"))
                    program = *found;
                else if (!HasExtension(program))
                    program += ".exe";
            }
        }
        rest = ArgumentsOf(line);
        return FromProgram(program, rest, depth);
    }

    // An unquoted path with blanks of which no leading part is a file: the
    // shortest leading part that ends in a file name with an extension is
    // what was meant ("C:\Program Files\A\a.exe /x" names a.exe).
    static std::string MissingProgram(std::string_view command) {
        for (std::size_t end = command.find_first_of(kBlanks);; end = command.find_first_of(kBlanks, end + 1)) {
            const std::string_view part = command.substr(0, end);
            if (HasExtension(part) || end == std::string_view::npos) return std::string(part);
        }
    }

    // The text after the program of a command line.
    static std::string_view ArgumentsOf(std::string_view line) {
        line = TrimBlanks(line);
        std::size_t i = 0;
        bool quoted = false;
        for (; i < line.size(); ++i) {
            if (line[i] == '"')
                quoted = !quoted;
            else if (!quoted && kBlanks.find(line[i]) != std::string_view::npos)
                break;
        }
        return TrimBlanks(line.substr(i));
    }

    ResolvedFile FromProgram(const std::string& program, std::string_view arguments, int depth) {
        const std::string_view name = FileNameOf(program);
        auto is = [&](std::string_view host) {
            return EqualsAsciiNoCase(name, host) || (!HasExtension(name) && EqualsAsciiNoCase(std::string(name) + ".exe", host));
        };
        std::optional<ResolvedFile> hosted;
        bool inlineCode = false;
        if (is("rundll32.exe")) {
            inlineCode = StartsWithScheme(TrimBlanks(arguments), {"javascript:", "vbscript:"});
            if (!inlineCode && depth < kMaxHostDepth) hosted = Hosted(program, RundllFile(arguments), ".dll");
        } else if (is("wscript.exe") || is("cscript.exe")) {
            const auto file = FirstNotOption(arguments, "//");
            inlineCode = !file && HasSwitch(arguments, "//e:");
            if (depth < kMaxHostDepth) hosted = Hosted(program, file, "");
        } else if (is("mshta.exe")) {
            const auto words = SplitArguments(arguments);
            inlineCode =
                !words.empty() && StartsWithScheme(words.front(), {"vbscript:", "javascript:", "http:", "https:"});
            if (!inlineCode && depth < kMaxHostDepth) hosted = Hosted(program, MshtaFile(arguments), ".hta");
        } else if (is("regsvr32.exe")) {
            inlineCode = RegsvrFromUrl(arguments);
            if (!inlineCode && depth < kMaxHostDepth) hosted = Hosted(program, FirstNotOption(arguments, "/-"), ".dll");
        } else if (is("powershell.exe") || is("pwsh.exe")) {
            const auto file = PowerShellFile(arguments);
            inlineCode = !file && PowerShellCommand(arguments);
            if (depth < kMaxHostDepth) hosted = Hosted(program, file, "");
        } else if (is("cmd.exe")) {
            if (auto rest = CmdCommand(arguments)) {
                // One program, named with its folder or found, is what runs;
                // cmd's own commands ("start", "echo") and a line that chains
                // or redirects are code of cmd's command line.
                ResolvedFile inner = depth < kMaxHostDepth ? FromCommand(*rest, depth + 1) : ResolvedFile{};
                if (HasFolder(inner.path) && !ChainsCommands(*rest)) {
                    if (inner.host.empty() && !inner.inlineCode) inner.host = program;
                    hosted = inner;
                } else {
                    inlineCode = true;
                }
            }
        }
        if (inlineCode) return {program, {}, true, {}, false};
        if (hosted && !hosted->path.empty()) return *hosted;
        return {program, {}, {}, {}, false};
    }

    static bool StartsWithScheme(std::string_view text, std::initializer_list<std::string_view> schemes) {
        if (!text.empty() && text.front() == '"') text.remove_prefix(1);
        for (std::string_view scheme : schemes)
            if (text.size() >= scheme.size() && EqualsAsciiNoCase(text.substr(0, scheme.size()), scheme)) return true;
        return false;
    }

    // Whether an argument starts with `prefix` ("//e:"), compared without regard to case.
    static bool HasSwitch(std::string_view args, std::string_view prefix) {
        for (const auto& arg : SplitArguments(args))
            if (arg.size() >= prefix.size() && EqualsAsciiNoCase(std::string_view(arg).substr(0, prefix.size()), prefix))
                return true;
        return false;
    }

    // regsvr32 /i:URL: the scriptlet comes from the network or a share.
    static bool RegsvrFromUrl(std::string_view args) {
        for (const auto& arg : SplitArguments(args)) {
            if (arg.size() < 3 || (arg[0] != '/' && arg[0] != '-') || AsciiLower(arg[1]) != 'i' || arg[2] != ':') continue;
            const std::string_view target = std::string_view(arg).substr(3);
            if (target.find("://") != std::string_view::npos || StartsWithScheme(target, {"http:", "https:", "\\"}))
                return true;
        }
        return false;
    }

    // PowerShell's -EncodedCommand (or -ec) or -Command, by any leading part,
    // as PowerShell takes them; -File was looked for first.
    static bool PowerShellCommand(std::string_view args) {
        const auto words = SplitArguments(args);
        auto leading = [](std::string_view w, std::string_view full) {
            return w.size() >= 2 && (w[0] == '-' || w[0] == '/') && w.size() - 1 <= full.size() &&
                   EqualsAsciiNoCase(w.substr(1), full.substr(0, w.size() - 1));
        };
        return std::any_of(words.begin(), words.end(), [&](std::string_view w) {
            return leading(w, "encodedcommand") || leading(w, "ec") || leading(w, "command");
        });
    }

    // A cmd line that runs more than one program or redirects: "&", "|", "<",
    // ">" or "^" outside quotes.
    static bool ChainsCommands(std::string_view line) {
        bool quoted = false;
        for (char c : line) {
            if (c == '"')
                quoted = !quoted;
            else if (!quoted && std::string_view("&|<>^").find(c) != std::string_view::npos)
                return true;
        }
        return false;
    }

    std::optional<ResolvedFile> Hosted(const std::string& host, std::optional<std::string> file,
                                       std::string_view defaultExtension) {
        if (!file || file->empty()) return std::nullopt;
        std::string path = Expand(*file);
        if (!HasFolder(path)) {
            if (auto found = Search(path, defaultExtension)) path = *found;
        }
        return ResolvedFile{path, host, {}, {}, false};
    }

    // rundll32 FILE,Entry: the quoted file, or the text up to the comma.
    static std::optional<std::string> RundllFile(std::string_view args) {
        args = TrimBlanks(args);
        if (args.empty()) return std::nullopt;
        if (args.front() == '"') {
            const auto close = args.find('"', 1);
            return std::string(args.substr(1, close == std::string_view::npos ? std::string_view::npos : close - 1));
        }
        const auto end = args.find_first_of(",");
        std::string_view file = args.substr(0, end);
        // No comma: the file ends at the first blank.
        if (end == std::string_view::npos) file = file.substr(0, file.find_first_of(kBlanks));
        return std::string(TrimBlanks(file));
    }

    static std::optional<std::string> FirstNotOption(std::string_view args, std::string_view optionMarks) {
        for (auto& arg : SplitArguments(args)) {
            if (arg.empty()) continue;
            const bool option =
                optionMarks == "//" ? arg.rfind("//", 0) == 0 : optionMarks.find(arg.front()) != std::string_view::npos;
            if (!option) return arg;
        }
        return std::nullopt;
    }

    static std::optional<std::string> MshtaFile(std::string_view args) {
        const auto words = SplitArguments(args);
        if (words.empty()) return std::nullopt;
        const std::string& first = words.front();
        // A URL or inline script names no file on this computer.
        if (first.find("://") != std::string::npos) return std::nullopt;
        const auto colon = first.find(':');
        if (colon != std::string::npos && colon > 1) return std::nullopt;
        return first;
    }

    // -File FILE (PowerShell takes any leading part of "-File").
    static std::optional<std::string> PowerShellFile(std::string_view args) {
        const auto words = SplitArguments(args);
        for (std::size_t i = 0; i + 1 < words.size(); ++i) {
            const std::string& w = words[i];
            if (w.size() >= 2 && (w[0] == '-' || w[0] == '/') && w.size() <= 5 &&
                EqualsAsciiNoCase(w.substr(1), std::string_view("file").substr(0, w.size() - 1)))
                return words[i + 1];
        }
        return std::nullopt;
    }

    // cmd /c COMMAND or /k COMMAND: the command after the switch, its outer
    // quotes dropped as cmd drops them.
    static std::optional<std::string> CmdCommand(std::string_view args) {
        std::size_t i = 0;
        while (i < args.size()) {
            i = args.find('/', i);
            if (i == std::string_view::npos || i + 1 >= args.size()) return std::nullopt;
            const char c = AsciiLower(args[i + 1]);
            const bool end =
                i + 2 >= args.size() || kBlanks.find(args[i + 2]) != std::string_view::npos || args[i + 2] == '"';
            if ((c == 'c' || c == 'k') && end) {
                std::string_view rest = TrimBlanks(args.substr(i + 2));
                // ""C:\a b\x.exe" /q": the outer pair goes, the inner stays.
                if (rest.size() >= 3 && rest[0] == '"' && rest[1] == '"' && rest.back() == '"')
                    rest = rest.substr(1, rest.size() - 2);
                return std::string(rest);
            }
            i += 1;
        }
        return std::nullopt;
    }

    // A bare file name found as CreateProcess finds a program (System32,
    // System, Windows, PATH), then through the "App Paths" key.
    std::optional<std::string> Search(std::string_view name, std::string_view defaultExtension) {
        if (name.empty()) return std::nullopt;
        std::vector<std::string> names{std::string(name)};
        if (!defaultExtension.empty() && !HasExtension(name))
            names.insert(names.begin(), std::string(name) + std::string(defaultExtension));
        std::vector<std::string> folders;
        if (auto root = platform_.processes.EnvironmentVariable("SystemRoot")) {
            folders.push_back(text::JoinPath(*root, "System32"));
            folders.push_back(text::JoinPath(*root, "System"));
            folders.push_back(*root);
        }
        if (auto path = platform_.processes.EnvironmentVariable("PATH")) {
            std::string_view rest = *path;
            while (!rest.empty()) {
                const auto semi = rest.find(';');
                const std::string_view folder = TrimBlanks(rest.substr(0, semi));
                if (!folder.empty() && !IsUncPath(folder)) folders.push_back(Expand(folder));
                if (semi == std::string_view::npos) break;
                rest.remove_prefix(semi + 1);
            }
        }
        for (const auto& folder : folders)
            for (const auto& n : names) {
                std::string candidate = text::JoinPath(folder, n);
                if (IsFile(candidate)) return candidate;
            }
        for (const auto& n : names)
            for (auto hive : {platform::Hive::CurrentUser, platform::Hive::LocalMachine}) {
                auto key =
                    platform_.registry.OpenKey(hive, std::string(kAppPathsKey) + n, false, platform::KeyAccess::Read);
                if (!key) continue;
                const auto value = key->Query("");
                if (!value || !platform::IsStringType(value->type)) continue;
                std::string path(TrimBlanks(value->data.substr(0, value->data.find('\0'))));
                if (path.size() >= 2 && path.front() == '"' && path.back() == '"')
                    path = path.substr(1, path.size() - 2);
                path = Expand(path);
                if (!path.empty()) return path;
            }
        return std::nullopt;
    }

    IdentityFacets platform_;
    MissingFolders* folders_;
    std::vector<std::pair<std::string, platform::FileFacts>> looked_;  // every file looked at, in order
};

}  // namespace

std::string ExpandReferences(std::string_view text, const VariableLookup& lookup) {
    std::string out;
    out.reserve(text.size());
    std::size_t i = 0;
    while (i < text.size()) {
        const auto open = text.find('%', i);
        if (open == std::string_view::npos) break;
        const auto close = text.find('%', open + 1);
        if (close == std::string_view::npos) break;
        out.append(text.substr(i, open - i));
        const std::string_view name = text.substr(open + 1, close - open - 1);
        const auto value = name.empty() ? std::nullopt : lookup(name);
        if (value) {
            out += *value;
            i = close + 1;
        } else {
            // Not set: the first '%' stays, and the second may open a reference.
            out += '%';
            out.append(name);
            i = close;
        }
    }
    out.append(text.substr(i));
    return out;
}

bool IsUncPath(std::string_view path) {
    // "\\?\C:\..." is a drive's; "\\?\UNC\...", "\??\UNC\..." and the redirector's
    // device reach a share, and any other device is no file to look at either.
    const auto kind = text::PlaceOfPath(path).kind;
    return kind == text::PathPlace::Kind::Share || kind == text::PathPlace::Kind::Device;
}

platform::FileFacts MissingFolders::Stat(platform::FileIdentity& files, std::string_view path) {
    // "C:\\Gone\\..\\x.exe" is "C:\\x.exe": a path that steps back (or names a
    // dot file) is only looked at.
    if (path.find("\\.") != std::string_view::npos || path.find("/.") != std::string_view::npos)
        return files.StatFile(path);
    // Only a drive's path ("C:\\..."): a device prefix ("\\\\?\\C:\\...") is no folder.
    const bool drivePath = path.size() >= 3 && std::isalpha(static_cast<unsigned char>(path[0])) && path[1] == ':' &&
                           (path[2] == '\\' || path[2] == '/');
    if (!drivePath) return files.StatFile(path);
    // Each folder on the way, "C:\\a", "C:\\a\\b", ... (not a drive's root):
    // the file is gone when one of them is known to be.
    std::string key;
    key.reserve(path.size());
    std::size_t cut = std::string_view::npos;
    for (std::size_t i = 0; i < path.size(); ++i) {
        const char c = path[i];
        if ((c == '\\' || c == '/') && !key.empty() && key.back() != ':' && key.back() != '\\' && key.back() != '/') {
            if (const auto it = folders_.find(key); it != folders_.end() && !it->second) return {};
            cut = i;
        }
        key += AsciiLower(c);
    }
    platform::FileFacts facts = files.StatFile(path);
    if (cut != std::string_view::npos && !facts.exists && !facts.network) {
        key.resize(cut);
        if (!folders_.count(key)) {
            const platform::FileFacts folder = files.StatFile(path.substr(0, cut));
            folders_.emplace(std::move(key), folder.exists || folder.network);
        }
    }
    return facts;
}

ResolvedFile ResolveFile(const IdentityFacets& platform, const FileJob& job, MissingFolders* folders) {
    return Resolver(platform, folders).Resolve(job);
}

}  // namespace vantorell::identity
