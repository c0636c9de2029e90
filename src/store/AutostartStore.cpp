#include "store/AutostartStore.h"

#include <algorithm>
#include <cstdint>
#include <utility>

#include "platform/Errors.h"
#include "platform/Text.h"
#include "store/DisplayPositions.h"
#include "store/Place.h"
#include "store/PlaceKinds.h"
#include "store/WindowsSwitch.h"

namespace vantorell::store {
namespace {

constexpr std::string_view kNoFolder = "C:\\";
constexpr std::size_t kSpareEntries = 16;
constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

StartupEntry RecordedEntry(const StartupRecord& record) {
    StartupEntry e;
    e.name = record.name;
    e.location = record.location;
    e.state = record.Deferred() ? EntryState::Deferred : EntryState::Disabled;
    e.confirm = record.confirm;
    e.delay = record.delay;
    e.command = record.command;
    e.place = FindLocation(e.location);
    // The component an Active Setup record was taken from, as its origin keeps it.
    if (e.place && e.place->Kind() == PlaceKind::StubPaths) e.subKey = ParseOrigin(record.arguments).where;
    return e;
}

// Marks the entries of one place that Windows' switches have turned off.
void ReadWindowsSwitches(platform::Registry& registry, const AutostartLocation& location, StartupEntry* first,
                         StartupEntry* end) {
    if (first == end) return;
    auto key = OpenSwitchKey(registry, location, platform::KeyAccess::Read);
    if (!key) return;
    for (auto* e = first; e != end; ++e) {
        const auto value = key->Query(e->name);
        e->windowsOff = value && IsSwitchedOff(*value);
    }
}

std::string FolderReadFailedMessage(std::string_view valueName) {
    return "Failed to get data for '" + std::string(valueName) + "'";
}

}  // namespace

bool ValueListed(platform::Locale& locale, platform::RegistryKey& key, std::string_view name) {
    const std::string folded = locale.FoldCase(name);
    for (const auto& listed : key.ValueNames())
        if (locale.FoldCase(listed) == folded) return true;
    return false;
}

AutostartStore::AutostartStore(StoreFacets facets, std::string listFilePath) : facets_(facets), shlnk_(facets.files) {
    lists_.push_back({std::move(listFilePath), false, true, {}});
}

AutostartStore::AutostartStore(StoreFacets facets, std::string userList, std::string machineList)
    : AutostartStore(facets, std::move(userList)) {
    if (!machineList.empty()) lists_.push_back({std::move(machineList), true, true, {}});
}

// ------------------------------------------------------------------ the list files

std::vector<std::string> AutostartStore::ListFilePaths() const {
    std::vector<std::string> paths;
    for (const ListFile& list : lists_) paths.push_back(list.path);
    return paths;
}

const std::string& AutostartStore::ListFileOf(std::string_view code) const {
    const bool machine = IsMachinePlace(code);
    for (const ListFile& list : lists_)
        if (list.machine == machine) return list.path;
    return lists_.front().path;
}

ListLocks AutostartStore::LockLists(unsigned timeoutMs) {
    ListLocks locks;
    for (const ListFile& list : lists_) {
        auto lock = facets_.locks.LockForWriting(list.path, timeoutMs);
        if (!lock) return {};
        locks.push_back(std::move(lock));
    }
    return locks;
}

bool AutostartStore::ListFileReadable() const {
    return std::all_of(lists_.begin(), lists_.end(), [](const ListFile& list) { return list.readable; });
}

std::vector<StartupRecord> AutostartStore::ReadListFile() {
    // Every list is read before any is taken: a failure leaves them all as they were.
    std::vector<std::vector<std::string>> read;
    for (ListFile& list : lists_) {
        try {
            read.push_back(text::LoadLines(facets_.files, facets_.locale, list.path));
            list.readable = true;
        } catch (const AppError&) {
            list.readable = false;
            throw;
        }
    }
    std::vector<StartupRecord> records;
    for (std::size_t i = 0; i < lists_.size(); ++i) {
        for (const std::string& line : read[i]) {
            records.push_back(StartupRecord::Parse(line));
            if (lists_.size() > 1) records.back().fromList = i;
        }
        lists_[i].loaded = std::move(read[i]);
    }
    return records;
}

bool AutostartStore::ListsChangedOnDisk() {
    try {
        for (const ListFile& list : lists_)
            if (text::LoadLines(facets_.files, facets_.locale, list.path) != list.loaded) return true;
    } catch (const AppError&) {
    }
    return false;
}

void AutostartStore::LoadStoredRecords() {
    table_.storedRecords = ReadListFile();
}

std::size_t AutostartStore::ListIndexFor(const StartupRecord& record) const {
    // A record stays in the list it was read from, changed or not, so no save
    // moves a record from one list to the other; a new one goes where its
    // place belongs.
    if (record.fromList && *record.fromList < lists_.size()) return *record.fromList;
    const bool machine = IsMachinePlace(record.location);
    for (std::size_t i = 0; i < lists_.size(); ++i)
        if (lists_[i].machine == machine) return i;
    return 0;
}

namespace {

// Whether `after` holds a line more often than `before` does.
bool GainsALine(const std::vector<std::string>& after, const std::vector<std::string>& before) {
    std::map<std::string_view, int> count;
    for (const std::string& line : before) ++count[line];
    return std::any_of(after.begin(), after.end(), [&](const std::string& line) { return --count[line] < 0; });
}

}  // namespace

void AutostartStore::WriteList(const ListFile& list, const std::vector<std::string>& lines) {
    if (!lines.empty() && lines.front().compare(0, kByteOrderMark.size(), kByteOrderMark) == 0) {
        // The reader takes a leading U+FEFF for a byte-order mark and drops it:
        // a first record that begins with one gets a mark of its own before it.
        if (auto st = facets_.files.WriteFileAtomic(list.path, std::string(kByteOrderMark) + text::JoinLines(lines));
            !st)
            throw AppError("Cannot write the file \"" + list.path + "\": " + st.message);
    } else {
        text::SaveLines(facets_.files, list.path, lines);
    }
}

void AutostartStore::SaveStoredRecords() {
    std::vector<std::vector<std::string>> parts(lists_.size());
    for (const StartupRecord& record : table_.storedRecords) parts[ListIndexFor(record)].push_back(record.Line());

    std::vector<std::size_t> toWrite;
    for (std::size_t i = 0; i < lists_.size(); ++i) {
        const ListFile& list = lists_[i];
        if (lists_.size() > 1 && parts[i] == list.loaded) continue;
        if (!list.readable) {
            std::string message = "The file \"";
            message.append(list.path).append("\" could not be read, so it was not written over");
            throw AppError(message);
        }
        toWrite.push_back(i);
    }
    // A record that comes into one list and leaves another is in both for a
    // moment, never in neither.
    std::stable_partition(toWrite.begin(), toWrite.end(),
                          [&](std::size_t i) { return GainsALine(parts[i], lists_[i].loaded); });
    std::size_t written = 0;
    try {
        for (; written < toWrite.size(); ++written) WriteList(lists_[toWrite[written]], parts[toWrite[written]]);
    } catch (const AppError&) {
        // Every list as it was: what came into one list may have left another.
        while (written-- > 0) {
            const ListFile& list = lists_[toWrite[written]];
            try {
                WriteList(list, list.loaded);
            } catch (const AppError&) {
                // Left with the new lines: then a record stands in two lists,
                // which loses nothing.
            }
        }
        throw;
    }
    for (const std::size_t i : toWrite) lists_[i].loaded = std::move(parts[i]);
}

void AutostartStore::StoreEntryOptions() {
    auto& records = table_.storedRecords;
    for (std::size_t i = 0; i < records.size(); ++i) {
        StartupRecord& record = records[i];
        // Every record comes out with six fields, its first four as they stand.
        record.Rewrite();
        if (i >= table_.entries.size()) continue;
        record.confirm = table_.entries[i].confirm;
        record.delay = table_.entries[i].delay;
    }
    SaveStoredRecords();
}

// ------------------------------------------------------------------ kept shortcuts

namespace {

// The folder of the kept copies of place `code` beside `listFile` and the file
// name part of `name`; both empty when either cannot name a file.
std::pair<std::string, std::string_view> KeptFolderAndName(const std::string& listFile, std::string_view code,
                                                           std::string_view name) {
    // Only the file name part: a record's name never leads out of its folder.
    const auto cut = name.find_last_of("\\/:");
    const std::string_view fileName = cut == std::string_view::npos ? name : name.substr(cut + 1);
    if (fileName.empty() || code.empty() || code.find_first_of("\\/:.") != std::string_view::npos) return {};
    return {text::JoinPath(text::JoinPath(text::FolderOf(listFile), kKeptShortcutsFolder), code), fileName};
}

// 64-bit FNV-1a of the record's name, place, target and arguments, as 16 hex digits.
std::string RecordHash(const StartupRecord& record) {
    std::uint64_t hash = 14695981039346656037ULL;
    for (const std::string* field : {&record.name, &record.location, &record.command, &record.arguments}) {
        for (const char c : *field) hash = (hash ^ static_cast<unsigned char>(c)) * 1099511628211ULL;
        hash = (hash ^ 0x1F) * 1099511628211ULL;  // between fields: no two splits of one text meet
    }
    std::string hex(16, '0');
    for (int i = 15; i >= 0; --i, hash >>= 4) hex[static_cast<std::size_t>(i)] = "0123456789abcdef"[hash & 0xF];
    return hex;
}

}  // namespace

std::string AutostartStore::KeptShortcutPath(const StartupRecord& record) const {
    const auto [folder, fileName] = KeptFolderAndName(ListFileOf(record.location), record.location, record.name);
    if (fileName.empty()) return {};
    return text::JoinPath(folder, RecordHash(record) + "-" + std::string(fileName));
}

std::optional<std::string> AutostartStore::KeptShortcutFor(const StartupRecord& record) {
    const AutostartLocation* location = FindLocation(record.location);
    if (!location || !location->isFolder) return std::nullopt;
    const auto [folder, fileName] = KeptFolderAndName(ListFileOf(record.location), record.location, record.name);
    if (fileName.empty()) return std::nullopt;
    for (std::string path : {KeptShortcutPath(record), text::JoinPath(folder, fileName)}) {
        if (!facets_.files.FileExists(path)) continue;
        platform::ShortcutData kept;
        if (!facets_.files.ReadShortcut(path, kept)) continue;
        if (kept.target == record.command && kept.arguments == record.arguments) return path;
    }
    return std::nullopt;
}

// ------------------------------------------------------------------ places

std::string AutostartStore::StartupFolderPath(std::string_view code) {
    return FolderOfPlace(code, false);
}

std::string AutostartStore::EntryWhere(std::size_t index) {
    if (index >= table_.entries.size() || !table_.entries[index].place) return {};
    const StartupEntry& e = table_.entries[index];
    std::string item;
    if (e.place->isFolder)
        item = StartupFolderPath(e.place->code);
    else if (e.place->Kind() == PlaceKind::StubPaths)
        item = e.IsActive() || index >= table_.RecordCount() ? e.subKey
                                                             : ParseOrigin(table_.storedRecords[index].arguments).where;
    else if (e.place->Kind() == PlaceKind::Services)
        item = e.name;
    return PlaceWhere(*e.place, item, table_.twoViews);
}

std::string AutostartStore::StartupFolderForChange(std::string_view code) {
    return FolderOfPlace(code, true);
}

std::string AutostartStore::FolderOfPlace(std::string_view code, bool strict) {
    const AutostartLocation* location = FindLocation(code);
    if (!location || !location->isFolder) return {};
    auto key = platform::RegistryKey::OpenForListing(facets_.registry, location->hive, kShellFoldersKey);
    if (!key) return std::string(kNoFolder);
    const std::string_view valueName = location->keyOrFolderValue;
    if (!key->ValueExists(valueName)) {
        // Missing, or there and not readable: only the listing tells them apart.
        if (strict && ValueListed(facets_.locale, *key, valueName)) throw AppError(FolderReadFailedMessage(valueName));
        return std::string(kNoFolder);
    }
    std::string folder;
    try {
        folder = key->ReadString(valueName);
    } catch (const AppError&) {
        return std::string(kNoFolder);  // not a text: no folder can be named by it (the scan says the same)
    }
    // The value was there a moment ago; an empty text names no folder a
    // shortcut could be written to or found in.
    if (strict && folder.empty()) throw AppError(FolderReadFailedMessage(valueName));
    return folder;
}

// ------------------------------------------------------------------ the scan

void AutostartStore::ScanEntries() {
    EntryTable fresh;
    fresh.storedRecords = ReadListFile();
    fresh.twoViews = facets_.registry.HasTwoRegistryViews();
    // Room for as many entries as the last scan found, so the table rarely grows.
    fresh.entries.reserve(std::max(fresh.storedRecords.size(), table_.entries.size()) + kSpareEntries);
    for (const auto& record : fresh.storedRecords) fresh.entries.push_back(RecordedEntry(record));
    for (const auto& location : Locations()) {
        if (!PlaceExists(facets_.registry, location)) continue;
        const std::size_t first = fresh.entries.size();
        OpenPlace(*this, location)->AppendItems(fresh.entries);
        ReadWindowsSwitches(facets_.registry, location, fresh.entries.data() + first,
                            fresh.entries.data() + fresh.entries.size());
    }
    AssignDisplayPositions(facets_.locale, fresh.entries);
    table_ = std::move(fresh);
}

std::string AutostartStore::RunCommandOf(std::size_t index) {
    if (index >= table_.entries.size()) return {};
    const StartupEntry& e = table_.entries[index];
    if (!e.IsActive()) return index < table_.storedRecords.size() ? table_.storedRecords[index].command : std::string();
    const AutostartLocation* location = FindLocation(e.location);
    return location ? OpenPlace(*this, *location)->CommandOf(ItemOf(e, false)) : std::string();
}

}  // namespace vantorell::store
