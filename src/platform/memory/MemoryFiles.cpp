// The files of the in-memory platform: folders and files with attributes,
// shortcuts in a text format of this stand-in's own, known folders.
#include "platform/memory/MemoryPlatform.h"

#include "platform/Text.h"

namespace vantorell::platform {

namespace {

bool EndsWithLnk(std::string_view name) {
    if (name.size() < 4) return false;
    auto ext = name.substr(name.size() - 4);
    return ext[0] == '.' && (ext[1] | 0x20) == 'l' && (ext[2] | 0x20) == 'n' && (ext[3] | 0x20) == 'k';
}

// A shortcut file of this stand-in: a magic line, then one field per line.
constexpr std::string_view kLinkMagic = "VANTORELL-MEMORY-LNK";

std::string EscapeField(std::string_view s) {
    std::string out;
    for (char c : s) {
        if (c == '\\')
            out += "\\\\";
        else if (c == '\n')
            out += "\\n";
        else
            out += c;
    }
    return out;
}

std::string UnescapeField(std::string_view s) {
    std::string out;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '\\' && i + 1 < s.size()) {
            ++i;
            out += s[i] == 'n' ? '\n' : s[i];
        } else {
            out += s[i];
        }
    }
    return out;
}

std::string ParentOf(const std::string& key) {
    const auto pos = key.rfind('\\');
    return pos == std::string::npos ? std::string() : key.substr(0, pos);
}

}  // namespace

void MemoryPlatform::AddFolder(std::string_view path) {
    auto key = PathKey(path);
    while (!key.empty()) {
        folders_.insert(key);
        key = ParentOf(key);
    }
}

bool MemoryPlatform::FolderExists(std::string_view path) const {
    return folders_.count(PathKey(path)) > 0;
}

void MemoryPlatform::PutFile(std::string_view path, std::string_view bytes, bool hidden, bool system) {
    const auto key = PathKey(path);
    AddFolder(ParentOf(key));
    files_[key] = File{std::string(path), std::string(bytes), hidden, system, ++writes_, ++fileIds_, ++usn_};
}

void MemoryPlatform::PutShortcut(std::string_view path, const ShortcutData& d) {
    std::string bytes(kLinkMagic);
    for (const auto* field : {&d.target, &d.arguments, &d.description, &d.workingDirectory, &d.iconFile}) {
        bytes += '\n';
        bytes += EscapeField(*field);
    }
    bytes += '\n' + std::to_string(d.iconIndex) + '\n' + std::to_string(d.hotKey) + '\n' + std::to_string(d.showCmd);
    if (!d.itemPath.empty()) bytes += '\n' + EscapeField(d.itemPath);  // a shell item as the target
    const auto key = PathKey(path);
    const auto it = files_.find(key);
    const bool hidden = it != files_.end() && it->second.hidden;
    PutFile(path, bytes, hidden);
}

std::optional<std::string> MemoryPlatform::GetFile(std::string_view path) const {
    const auto it = files_.find(PathKey(path));
    if (it == files_.end()) return std::nullopt;
    return it->second.bytes;
}

bool MemoryPlatform::ReadShortcut(std::string_view linkFile, ShortcutData& out) {
    if (Faulty(Op::ReadShortcut, Hive::CurrentUser, linkFile)) return false;
    const auto bytes = GetFile(linkFile);
    if (!bytes) return false;
    std::vector<std::string> parts;
    std::size_t start = 0;
    while (true) {
        const auto end = bytes->find('\n', start);
        parts.push_back(bytes->substr(start, end == std::string::npos ? std::string::npos : end - start));
        if (end == std::string::npos) break;
        start = end + 1;
    }
    if ((parts.size() != 9 && parts.size() != 10) || parts[0] != kLinkMagic) return false;
    ShortcutData d;
    d.target = UnescapeField(parts[1]);
    d.arguments = UnescapeField(parts[2]);
    d.description = UnescapeField(parts[3]);
    d.workingDirectory = UnescapeField(parts[4]);
    d.iconFile = UnescapeField(parts[5]);
    int n = 0;
    if (text::ParseInt(parts[6], n)) d.iconIndex = n;
    if (text::ParseInt(parts[7], n)) d.hotKey = static_cast<std::uint16_t>(n);
    if (text::ParseInt(parts[8], n)) d.showCmd = n;
    if (parts.size() == 10) d.itemPath = UnescapeField(parts[9]);
    out = std::move(d);
    return true;
}

bool MemoryPlatform::WriteShortcut(std::string_view linkFile, const ShortcutData& data) {
    if (WriteDenied(linkFile)) return false;
    if (Faulty(Op::WriteShortcut, Hive::CurrentUser, linkFile)) return false;
    if (folders_.count(PathKey(linkFile))) return false;  // a folder of that name
    PutShortcut(linkFile, data);
    return true;
}

std::vector<std::string> MemoryPlatform::ListShortcutFiles(std::string_view folder) {
    const auto key = PathKey(folder);
    std::vector<std::string> names;
    if (Faulty(Op::ListFolder, Hive::CurrentUser, folder)) return names;
    for (const auto& [k, f] : files_) {
        if (ParentOf(k) != key || f.hidden || f.system) continue;
        const auto slash = f.path.find_last_of("\\/");
        const auto name = slash == std::string::npos ? f.path : f.path.substr(slash + 1);
        if (EndsWithLnk(name)) names.push_back(name);
    }
    return names;
}

bool MemoryPlatform::FolderListable(std::string_view folder) {
    return !Faulty(Op::ListFolder, Hive::CurrentUser, folder);
}

bool MemoryPlatform::FileExists(std::string_view path) {
    return files_.count(PathKey(path)) > 0;
}

bool MemoryPlatform::RemoveFile(std::string_view path) {
    if (FileExists(path) && WriteDenied(path)) return false;
    if (Faulty(Op::DeleteFile, Hive::CurrentUser, path)) return false;
    return files_.erase(PathKey(path)) > 0;
}

std::size_t MemoryPlatform::FileReadsOf(std::string_view path) const {
    const auto it = fileReadsOf_.find(PathKey(path));
    return it == fileReadsOf_.end() ? 0 : it->second;
}

FileRead MemoryPlatform::ReadFile(std::string_view path) {
    ++fileReads_;
    ++fileReadsOf_[PathKey(path)];
    const auto it = files_.find(PathKey(path));
    if (it == files_.end()) return {ReadOutcome::NotFound, {}, {}};
    if (Faulty(Op::ReadFile, Hive::CurrentUser, path)) return {ReadOutcome::Failed, {}, "Access is denied."};
    return {ReadOutcome::Ok, it->second.bytes, {}};
}

Status MemoryPlatform::WriteFileAtomic(std::string_view path, std::string_view bytes) {
    ++writesAttempted_;
    if (!WriterLockHeld(path)) ++unlockedWrites_[PathKey(path)];
    if (WriteDenied(path)) return Status::Fail("Access is denied.");
    if (Faulty(Op::WriteFile, Hive::CurrentUser, path)) return Status::Fail("There is not enough space on the disk.");
    const auto key = PathKey(path);
    if (folders_.count(key)) return Status::Fail("Access is denied.");
    const auto it = files_.find(key);
    if (it != files_.end()) {
        it->second.bytes = std::string(bytes);
        it->second.usn = ++usn_;
    } else {
        PutFile(path, bytes);
    }
    return Status::Ok();
}

bool MemoryPlatform::CopyFileBytes(std::string_view from, std::string_view to) {
    const auto source = files_.find(PathKey(from));
    if (source == files_.end() || Faulty(Op::ReadFile, Hive::CurrentUser, from)) return false;
    ++writesAttempted_;
    if (WriteDenied(to) || Faulty(Op::WriteFile, Hive::CurrentUser, to) || folders_.count(PathKey(to))) return false;
    const std::string bytes = source->second.bytes;
    PutFile(to, bytes);
    return true;
}

void MemoryPlatform::SetKnownFolder(KnownFolder folder, std::optional<std::string> path) {
    knownFolders_[folder] = std::move(path);
}

std::optional<std::string> MemoryPlatform::KnownFolderPath(KnownFolder folder) {
    const auto it = knownFolders_.find(folder);
    return it == knownFolders_.end() ? std::nullopt : it->second;
}

bool MemoryPlatform::CreateFolder(std::string_view path) {
    if (FolderExists(path)) return true;
    if (WriteDenied(path) || files_.count(PathKey(path))) return false;
    AddFolder(path);
    return true;
}

}  // namespace vantorell::platform
