#include <algorithm>

#include "platform/Errors.h"
#include "platform/RegistryKey.h"
#include "platform/Text.h"
#include "store/PlaceKinds.h"

namespace vantorell::store {
namespace {

std::string ShortcutReadFailedMessage(std::string_view path) {
    return platform::QuotedMessage("Failed to read the shortcut", path);
}
std::string ShortcutWriteFailedMessage(std::string_view path) {
    return platform::QuotedMessage("Failed to create the shortcut", path);
}
std::string KeepFailedMessage(std::string_view path) {
    return platform::QuotedMessage("Failed to keep a copy of the shortcut", path);
}

// The text after the last '\', '/' or ':': a record's name never leads out of
// its Startup folder.
std::string_view FileNamePart(std::string_view name) {
    const auto cut = name.find_last_of("\\/:");
    return cut == std::string_view::npos ? name : name.substr(cut + 1);
}

// A file name without its extension (the text before its last '.').
std::string_view WithoutExtension(std::string_view fileName) {
    const auto dot = fileName.rfind('.');
    return dot == std::string_view::npos ? fileName : fileName.substr(0, dot);
}

}  // namespace

std::string ShortcutsPlace::Target(std::string_view folder, std::string_view name) {
    auto& link = store_.Shlnk();
    link.LinkFile = text::JoinPath(folder, name);
    return link.Read() ? link.ProgramFile : std::string();
}

void ShortcutsPlace::AppendItems(std::vector<StartupEntry>& entries) {
    const std::string folder = store_.StartupFolderPath(location_.code);
    // The order of platform::ListShortcuts, sorted through the platform's keys.
    auto names = store_.Facets().files.ListShortcutFiles(folder);
    text::SortNoCase(store_.Facets().locale, names);
    for (auto& name : names) {
        auto command = Target(folder, name);
        entries.push_back(ActiveEntry(std::move(name), location_, std::move(command)));
    }
}

std::string ShortcutsPlace::CommandOf(const ItemRef& item) {
    const std::string& name = item.name;
    return Target(store_.StartupFolderPath(location_.code), name);
}

PlaceItem ShortcutsPlace::Read(const ItemRef& ref, bool presenceOnly) {
    const std::string& name = ref.name;
    PlaceItem item;
    const std::string path = text::JoinPath(store_.StartupFolderForChange(location_.code), name);
    if (!store_.Facets().files.FileExists(path)) return item;
    item.present = true;
    if (presenceOnly) return item;
    auto& link = store_.Shlnk();
    link.LinkFile = path;
    // Deleting a shortcut that could not be read would lose its target.
    if (!link.Read()) throw AppError(ShortcutReadFailedMessage(path));
    item.command = link.ProgramFile;
    item.arguments = link.Arguments;
    return item;
}

void ShortcutsPlace::Keep(const StartupRecord& record) {
    const std::string from = text::JoinPath(store_.StartupFolderForChange(location_.code), record.name);
    const std::string to = store_.KeptShortcutPath(record);
    // The .lnk itself, byte for byte: its icon, hot key, show state and a target
    // that is no file (a shell item) come back with it.
    if (to.empty() || !store_.Facets().files.CopyFileBytes(from, to)) throw AppError(KeepFailedMessage(from));
}

void ShortcutsPlace::TakeOut(const ItemRef& ref) {
    const std::string& name = ref.name;
    auto& system = store_.Facets();
    const std::string path = text::JoinPath(store_.StartupFolderForChange(location_.code), name);
    if (!system.files.RemoveFile(path) && system.files.FileExists(path)) throw AppError(DeleteFailedMessage(path));
}

void ShortcutsPlace::PutBack(const StartupRecord& record) {
    const std::string folder = store_.StartupFolderForChange(location_.code);
    const std::string_view fileName = FileNamePart(record.name);
    if (const std::string live = text::JoinPath(folder, fileName);
        !fileName.empty() && store_.Facets().files.FileExists(live)) {
        // The record's own shortcut, back already (a crash, or a copy that put
        // itself back): nothing to write. Another shortcut of that name is
        // never written over.
        platform::ShortcutData there;
        if (store_.Facets().files.ReadShortcut(live, there) && there.target == record.command &&
            there.arguments == record.arguments)
            return;
        throw AppError("Another shortcut named '" + std::string(fileName) + "' is in \"" + folder +
                       "\"; Vantorell does not write over it. Rename or remove that one, then enable again");
    }
    if (const std::optional<std::string> kept = store_.KeptShortcutFor(record)) {
        const std::string path = text::JoinPath(folder, fileName);
        if (fileName.empty() || !store_.Facets().files.CopyFileBytes(*kept, path))
            throw AppError(ShortcutWriteFailedMessage(path));
        return;
    }
    // No kept copy (a record of an older version): built from the record.
    auto& link = store_.Shlnk();
    // The record keeps no icon, hot key or show state: the shortcut gets
    // neutral ones, not those of the shortcut that was read last.
    link.ResetAppearance();
    link.Description = std::string(WithoutExtension(fileName));
    link.Arguments = record.arguments;
    link.ProgramFile = record.command;
    link.WorkingDirectory = folder;
    link.LinkFile = text::JoinPath(folder, fileName);
    if (fileName.empty() || !link.Write()) throw AppError(ShortcutWriteFailedMessage(link.LinkFile));
}

void ShortcutsPlace::Release(const StartupRecord& record) {
    // A record of the same item that is still listed keeps its copy.
    const auto& records = store_.Table().storedRecords;
    if (std::any_of(records.begin(), records.end(), [&](const StartupRecord& r) { return r.SameItem(record); })) return;
    if (const std::optional<std::string> kept = store_.KeptShortcutFor(record)) store_.Facets().files.RemoveFile(*kept);
}

std::vector<platform::WatchPlace> ShortcutsPlace::Watched() {
    return {{platform::WatchPlace::Kind::Folder, location_.hive, platform::RegView::Bits64,
             store_.StartupFolderPath(location_.code)}};
}

}  // namespace vantorell::store
