#include "app/common/ProgramStart.h"

#include "identity/IdentityHelper.h"

#include <algorithm>
#include <map>

#include "control/SelfProtection.h"
#include "platform/Errors.h"
#include "platform/Text.h"
#include "store/StartupRecord.h"
#include "ui/GridModel.h"
#include "ui/NameLists.h"

namespace vantorell::app {

using platform::Hive;
using platform::RegistryKey;

Switches ParseSwitches(const std::vector<std::string>& arguments) {
    Switches s;
    for (const auto& a : arguments) {
        if (a == "-b" || a == "/b" || a == "b") s.logon = true;
        if (a == "-u" || a == "/u" || a == "u") s.uninstall = true;
        if (a == "-m" || a == "/m") s.uninstallMachine = true;
        if (a == "-k" || a == "/k") s.keepUnreturned = true;
        if (a == "-upgrade") s.upgradeList = true;
        if (a == identity::kIdentifySwitch) s.identify = true;
    }
    return s;
}

std::string BesideExecutable(platform::Platform& platform, std::string_view fileName) {
    return text::JoinPath(text::FolderOf(platform.processes.ExecutablePath()), fileName);
}

std::string OwnRunCommand(std::string_view executablePath) {
    std::string command;
    if (executablePath.find(' ') != std::string_view::npos) {
        command = "\"" + std::string(executablePath) + "\"";
    } else {
        command = std::string(executablePath);
    }
    return command + " -b";
}

namespace {

// The data of the own Run value in `hive`; nullopt when there is none.
std::optional<std::string> OwnRunValue(platform::Platform& platform, Hive hive) {
    auto key = RegistryKey::OpenForListing(platform.registry, hive, kRunKey);
    if (!key || !key->ValueExists(kOwnRunValue)) return std::nullopt;
    try {
        return key->ReadString(kOwnRunValue);
    } catch (const AppError&) {
        return std::string();  // there, but no text: still a value that stands
    }
}

// Writes the own Run value; false when the key or value cannot be written.
bool WriteOwnRunValue(platform::Platform& platform, Hive hive, const std::string& command) {
    auto key = RegistryKey::Open(platform.registry, hive, kRunKey, true);
    if (!key) return false;
    try {
        key->WriteString(kOwnRunValue, command);
    } catch (const AppError&) {
        return false;
    }
    return true;
}

bool DeleteOwnRunValue(platform::Platform& platform, Hive hive) {
    auto key = RegistryKey::Open(platform.registry, hive, kRunKey, true);
    return key && key->DeleteValue(kOwnRunValue);
}

AppError UserRunValueError() {
    return AppError(platform::QuotedMessage("Failed to set data for", kOwnRunValue));
}

}  // namespace

RegisteredIn RegisterAutostart(platform::Platform& platform, std::string_view executablePath, bool installed) {
    const std::string command = OwnRunCommand(executablePath);
    const auto machine = OwnRunValue(platform, Hive::LocalMachine);
    const auto user = OwnRunValue(platform, Hive::CurrentUser);
    if (installed) {
        // Only with the rights for it; a refusal is no error, the setup's value stands.
        if (machine && *machine != command) WriteOwnRunValue(platform, Hive::LocalMachine, command);
        if (machine || WriteOwnRunValue(platform, Hive::LocalMachine, command)) {
            if (user) DeleteOwnRunValue(platform, Hive::CurrentUser);  // two values would start two copies
            return RegisteredIn::Machine;
        }
    } else if (machine) {
        const bool ours = control::IsOwnCommand(*machine, executablePath);
        if (!ours || !DeleteOwnRunValue(platform, Hive::LocalMachine)) return RegisteredIn::Neither;
    }
    if (user != command && !WriteOwnRunValue(platform, Hive::CurrentUser, command)) throw UserRunValueError();
    return RegisteredIn::User;
}

std::optional<std::vector<int>> ParseNumberList(std::string_view text, std::size_t count) {
    std::vector<int> numbers;
    for (;;) {
        const std::size_t comma = text.find(',');
        int number = 0;
        if (!text::ParseInt(text.substr(0, comma), number)) return std::nullopt;
        numbers.push_back(number);
        if (comma == std::string_view::npos) break;
        text.remove_prefix(comma + 1);
    }
    if (numbers.size() != count) return std::nullopt;
    return numbers;
}

namespace {

std::string NumberList(const std::vector<int>& numbers) {
    std::string text;
    for (const int n : numbers) text.append(text.empty() ? "" : ",").append(text::ToDecimal(n));
    return text;
}

// The user's own layout: only where the user left it, never the machine's.
void LoadLayout(platform::Platform& platform, Options& options) {
    auto key = RegistryKey::OpenForListing(platform.registry, Hive::CurrentUser, kOptionsKey);
    if (!key) return;
    const auto read = [&](std::string_view name, std::size_t count) -> std::optional<std::vector<int>> {
        if (!key->ValueExists(name)) return std::nullopt;
        try {
            return ParseNumberList(key->ReadString(name), count);
        } catch (const AppError&) {
            return std::nullopt;  // another type: as if nothing were stored
        }
    };
    if (auto widths = read(kColumnWidthsValue, ui::kGridColumnCount)) options.columnWidths = std::move(*widths);
    if (auto place = read(kWindowPlaceValue, 4); place && (*place)[2] > 0 && (*place)[3] > 0)
        options.window = ui::WindowPlace{(*place)[0], (*place)[1], (*place)[2], (*place)[3]};
}

}  // namespace

void LoadOptions(platform::Platform& platform, Options& options) {
    const std::pair<std::string_view, bool*> values[] = {{kWarnValue, &options.warnNew},
                                                         {kKillValue, &options.autoKill},
                                                         {kMinValue, &options.minimize},
                                                         {kHideWindowsValue, &options.hideWindowsOwn}};
    // The machine's values are the defaults; the user's own override them.
    for (const Hive hive : {Hive::LocalMachine, Hive::CurrentUser}) {
        auto key = RegistryKey::OpenForListing(platform.registry, hive, kOptionsKey);
        if (!key) continue;
        for (const auto& [name, flag] : values) {
            if (key->ValueExists(name)) *flag = key->ReadInteger(name) == 1;
        }
        for (const auto& [name, number] :
             {std::pair{kSortColumnValue, &options.sortColumn}, std::pair{kSortDirectionValue, &options.sortDirection}})
            if (key->ValueExists(name)) *number = key->ReadInteger(name);
        if (key->ValueExists(kMeasureSecondsValue))
            options.measureSeconds = std::clamp(key->ReadInteger(kMeasureSecondsValue), 5u, 600u);
    }
    LoadLayout(platform, options);
}

void SaveOptions(platform::Platform& platform, const Options& options) {
    auto key = RegistryKey::Open(platform.registry, Hive::CurrentUser, kOptionsKey, true);
    if (!key) throw AppError(platform::QuotedMessage("Failed to set data for", kWarnValue));
    key->WriteInteger(kWarnValue, options.warnNew ? 1 : 0);
    key->WriteInteger(kKillValue, options.autoKill ? 1 : 0);
    key->WriteInteger(kMinValue, options.minimize ? 1 : 0);
    key->WriteInteger(kHideWindowsValue, options.hideWindowsOwn ? 1 : 0);
    key->WriteInteger(kSortColumnValue, options.sortColumn);
    key->WriteInteger(kSortDirectionValue, options.sortDirection);
    if (!options.columnWidths.empty()) key->WriteString(kColumnWidthsValue, NumberList(options.columnWidths));
    if (const auto& w = options.window)
        key->WriteString(kWindowPlaceValue, NumberList({w->left, w->top, w->width, w->height}));
}

namespace {

// Appends the records of `incoming` that the lists do not hold yet, counted
// line by line: a move of records that was saved and then stopped before its
// source was gone adds nothing twice when it runs again.
void AppendMissing(std::vector<store::StartupRecord>& records, std::vector<store::StartupRecord> incoming) {
    std::map<std::string, int> held;
    for (const auto& record : records) ++held[record.Line()];
    for (auto& record : incoming) {
        if (auto it = held.find(record.Line()); it != held.end() && it->second > 0) {
            --it->second;
            continue;
        }
        records.push_back(std::move(record));
    }
}

}  // namespace

std::size_t ImportOldList(platform::Platform& platform, store::AutostartStore& store) {
    return ImportOldList(platform, store, FileLayout::Detect(platform));
}

std::size_t ImportOldList(platform::Platform& platform, store::AutostartStore& store, const FileLayout& layout) {
    const std::string oldList = layout.UserFile(kOldListFile);
    if (!platform.files.FileExists(oldList)) return 0;
    // A writer like any other: the lists are read and saved under their locks.
    const auto locks = store.LockLists(control::kWriterLockTimeoutMs);
    if (locks.empty()) return 0;  // another writer holds one for long: imported at the next start
    const auto lines = text::LoadLines(platform.files, platform.locale, oldList);
    store.LoadStoredRecords();
    std::vector<store::StartupRecord> converted;
    for (const auto& line : lines) {
        // The old list's fields: name, place, command, (unused), "Y" to
        // confirm, delay, arguments.
        store::StartupRecord record(store::RecordField(line, 0), store::RecordField(line, 1),
                                    store::RecordField(line, 2), store::RecordField(line, 6));
        record.confirm = store::RecordField(line, 4) == "Y";
        record.delay = store::DelaySeconds::Read(store::RecordField(line, 5));
        converted.push_back(std::move(record));
    }
    AppendMissing(store.Table().storedRecords, std::move(converted));
    // The converted records are safe in the lists before the old file goes.
    store.SaveStoredRecords();
    if (!platform.files.RemoveFile(oldList)) {
        // Never import the same lines twice: an old list that cannot be deleted is emptied.
        if (auto st = platform.files.WriteFileAtomic(oldList, ""); !st)
            throw AppError("The old list \"" + oldList + "\" was imported but cannot be deleted: " + st.message);
    }
    return lines.size();
}

namespace {

// The codes of the machine's Run-type keys, which a 32-bit 0.1.0 on 64-bit
// Windows read and wrote in the 32-bit view; "…32" names that view now.
constexpr std::string_view kViewCodes[] = {"lrun", "lruns", "lrunsex", "lrunsonce", "lrunonce", "lrunonceex"};

constexpr std::string_view kUpgradeBackup = ".0.1.0";

}  // namespace

bool ReplacedBuildMeant32BitView(platform::Platform& platform) {
    return sizeof(void*) == 4 && platform.registry.HasTwoRegistryViews();
}

std::size_t UpgradeInstalledList(platform::Platform& platform, store::AutostartStore& store, const FileLayout& layout,
                                 bool meant32BitView, bool quietWithoutRights) {
    if (!layout.IsInstalled()) return 0;
    const std::string oldList = layout.ListBesideExecutable();
    if (!platform.files.FileExists(oldList)) return 0;
    const auto locks = store.LockLists(control::kWriterLockTimeoutMs);
    if (locks.empty()) {
        if (quietWithoutRights) return 0;  // the next start moves it
        throw AppError(std::string(control::kListsBusyMessage));
    }
    const auto lines = text::LoadLines(platform.files, platform.locale, oldList);
    if (lines.empty()) {
        platform.files.RemoveFile(oldList);  // nothing in it to keep
        return 0;
    }
    // The backup first: a folder this user may not write ends it here, before
    // any list changed.
    std::string backup = oldList + std::string(kUpgradeBackup) + ".bak";
    for (int n = 2; platform.files.FileExists(backup); ++n)
        backup = oldList + std::string(kUpgradeBackup) + "." + std::to_string(n) + ".bak";
    if (!platform.files.CopyFileBytes(oldList, backup)) {
        if (quietWithoutRights) return 0;
        throw AppError("The list of an earlier version, \"" + oldList + "\", cannot be copied to \"" + backup +
                       "\"; it is still there, and still given back at uninstall.");
    }
    store.LoadStoredRecords();
    std::vector<store::StartupRecord> moved;
    for (const std::string& line : lines) {
        moved.push_back(store::StartupRecord::Parse(line));
        auto& record = moved.back();
        if (meant32BitView &&
            std::find(std::begin(kViewCodes), std::end(kViewCodes), record.location) != std::end(kViewCodes))
            record.location += "32";
    }
    AppendMissing(store.Table().storedRecords, std::move(moved));
    // The records are safe in the lists before the old file goes.
    store.SaveStoredRecords();
    if (!platform.files.RemoveFile(oldList)) {
        // Never moved twice: an old list that cannot be deleted is emptied.
        if (auto st = platform.files.WriteFileAtomic(oldList, ""); !st)
            throw AppError("The list of an earlier version, \"" + oldList +
                           "\", was moved into the lists but cannot be deleted: " + st.message);
    }
    return lines.size();
}

int RunListUpgrade(platform::Platform& platform) {
    try {
        const FileLayout layout = FileLayout::Detect(platform);
        layout.CreateUserFolder(platform);
        store::AutostartStore store(platform, layout.Lists().front().path, layout.MachineList());
        UpgradeInstalledList(platform, store, layout, ReplacedBuildMeant32BitView(platform), false);
        return 0;
    } catch (const std::exception&) {
        return 1;  // the old list stands; the setup says so and the next start tries again
    }
}

void OpenPendingNotice(platform::Platform& platform) {
    OpenPendingNotice(platform, FileLayout::Detect(platform));
}

void OpenPendingNotice(platform::Platform& platform, const FileLayout& layout) {
    const std::string notice = layout.UserFile(kNoticeFile);
    if (platform.files.FileExists(notice)) platform.shell.ShellOpen(notice, "open");
}

namespace {

// Moves the records of `path` into the store's lists (each to the list of its
// place), then deletes it. The records are saved before the file goes.
void AdoptList(store::AutostartStore& store, const std::string& path) {
    auto& platform = store.Facets();
    if (path.empty() || !platform.files.FileExists(path)) return;
    const auto locks = control::LockListsForChange(store);
    const auto strayLock = platform.locks.LockForWriting(path, control::kWriterLockTimeoutMs);
    const auto lines = text::LoadLines(platform.files, platform.locale, path);
    store.LoadStoredRecords();
    std::vector<store::StartupRecord> adopted;
    for (const std::string& line : lines) adopted.push_back(store::StartupRecord::Parse(line));
    AppendMissing(store.Table().storedRecords, std::move(adopted));
    store.SaveStoredRecords();
    if (!platform.files.RemoveFile(path) && platform.files.FileExists(path))
        throw AppError("The records of \"" + path + "\" were taken over but the file cannot be deleted.");
    platform.files.RemoveFile(path + std::string(platform::kWriterLockSuffix));
}

// Writes `record` into the kept file beside its list, then takes it out of
// the list; nothing when another writer took it out meanwhile.
void KeepRecord(store::AutostartStore& store, const store::StartupRecord& record) {
    auto& platform = store.Facets();
    const auto locks = control::LockListsForChange(store);
    store.LoadStoredRecords();
    auto& records = store.Table().storedRecords;
    const auto it = std::find(records.begin(), records.end(), record);
    if (it == records.end()) return;
    const std::string kept = text::JoinPath(text::FolderOf(store.ListFileOf(record.location)), store::kKeptListFile);
    std::vector<std::string> lines;
    if (platform.files.FileExists(kept)) lines = text::LoadLines(platform.files, platform.locale, kept);
    if (std::find(lines.begin(), lines.end(), record.Line()) == lines.end()) lines.push_back(record.Line());
    text::SaveLines(platform.files, kept, lines);
    records.erase(it);
    store.SaveStoredRecords();
}

}  // namespace

void Uninstall(control::EntryControl& control, const std::string& strayList, UninstallPart part,
               const KeepOffer& offerKeep) {
    auto& store = control.Store();
    auto& system = store.Facets();
    // The own Run value goes first, so no logon starts the program while its
    // entries are given back. One that is there and stays is reported at the
    // end, after the entries, which matter more.
    std::string ownValueError;
    std::vector<Hive> hives;
    if (part != UninstallPart::User) hives.push_back(Hive::LocalMachine);
    if (part != UninstallPart::Machine) hives.push_back(Hive::CurrentUser);
    for (const Hive hive : hives) {
        if (auto key = platform::RegistryKey::Open(system.registry, hive, kRunKey, true);
            key && key->DeleteValue(kOwnRunValue))
            continue;
        auto key = platform::RegistryKey::OpenForListing(system.registry, hive, kRunKey);
        if (!key) continue;  // no such key: no value to remove
        const bool stays = key->ValueExists(kOwnRunValue) || store::ValueListed(system.locale, *key, kOwnRunValue);
        if (stays && ownValueError.empty())
            ownValueError = "Failed to delete '" + std::string(kOwnRunValue) + "' from " +
                            (hive == Hive::LocalMachine ? "HKEY_LOCAL_MACHINE\\" : "HKEY_CURRENT_USER\\") +
                            std::string(kRunKey) + ": Vantorell will still be started at logon";
    }
    AdoptList(store, strayList);
    store.ScanEntries();
    bool keeping = false;
    while (!control.Entries().storedRecords.empty()) {
        const std::size_t before = control.Entries().storedRecords.size();
        try {
            control.EnableEntry(0);
        } catch (const ChangedMeanwhile&) {
            throw;  // another writer, or a busy list: worth another try, not a record to keep
        } catch (const AppError& e) {
            if (control.Entries().storedRecords.empty()) throw;
            const store::StartupRecord record = control.Entries().storedRecords[0];
            if (!keeping && !(offerKeep && offerKeep(record.name, e.what()))) throw;
            keeping = true;
            KeepRecord(store, record);
            store.ScanEntries();
            continue;
        }
        if (control.Entries().storedRecords.size() >= before)  // never loop for ever on a record that stays
            throw AppError("Vantorell could not give back the entry \"" + store.Table().storedRecords[0].name + "\".");
    }
    {
        const auto locks = store.LockLists(control::kWriterLockTimeoutMs);
        // The lock files too: held by this process, they go once it lets go of them.
        for (const std::string& list : store.ListFilePaths()) {
            system.files.RemoveFile(list);
            system.files.RemoveFile(list + std::string(platform::kWriterLockSuffix));
        }
    }
    if (!ownValueError.empty()) throw AppError(ownValueError);
}

namespace {

// An uninstall on a store of the one list `list`, with nothing that shows the entries.
void UninstallList(platform::Platform& platform, const std::string& list, const std::string& strayList,
                   UninstallPart part, const KeepOffer& offerKeep = {}) {
    store::AutostartStore store(platform, list);
    control::NothingShown shown;
    control::EntryControl control(store, platform.processes, shown);
    Uninstall(control, strayList, part, offerKeep);
}

}  // namespace

void UninstallUserPart(platform::Platform& platform, const FileLayout& layout, const KeepOffer& offerKeep) {
    UninstallList(platform, layout.Lists().front().path, {}, UninstallPart::User, offerKeep);
}

void UninstallMachinePart(platform::Platform& platform, const FileLayout& layout, const KeepOffer& offerKeep) {
    if (!layout.IsInstalled()) throw AppError("Only an installed Vantorell has a machine's part to uninstall.");
    UninstallList(platform, layout.MachineList(), layout.ListBesideExecutable(), UninstallPart::Machine, offerKeep);
}

int RunMachineUninstall(platform::Platform& platform, bool keepUnreturned) {
    try {
        KeepOffer keep;
        if (keepUnreturned) keep = [](std::string_view, std::string_view) { return true; };
        UninstallMachinePart(platform, FileLayout::Detect(platform), keep);
        return 0;
    } catch (const std::exception&) {
        return 1;  // the uninstaller finds the records left and says so
    }
}

}  // namespace vantorell::app
