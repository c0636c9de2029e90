#include "app/common/ProgramStart.h"

#include "control/SelfProtection.h"
#include "platform/Errors.h"
#include "platform/Text.h"
#include "store/StartupRecord.h"

namespace vantorell::app {

using platform::Hive;
using platform::RegistryAccessor;

Switches ParseSwitches(const std::vector<std::string>& arguments) {
    Switches s;
    for (const auto& a : arguments) {
        if (a == "-b" || a == "/b" || a == "b") s.logon = true;
        if (a == "-u" || a == "/u" || a == "u") s.uninstall = true;
    }
    return s;
}

std::string BesideExecutable(platform::Platform& platform, std::string_view fileName) {
    return text::JoinPath(text::FolderOf(platform.ExecutablePath()), fileName);
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
std::optional<std::string> OwnRunValue(RegistryAccessor& registry, Hive hive) {
    platform::KeyCloser closer(registry);
    registry.SetRoot(hive);
    if (!registry.OpenKeyForListing(kRunKey) || !registry.ValueExists(kOwnRunValue)) return std::nullopt;
    try {
        return registry.ReadString(kOwnRunValue);
    } catch (const AppError&) {
        return std::string();  // there, but no text: still a value that stands
    }
}

// Writes the own Run value; false when the key or value cannot be written.
bool WriteOwnRunValue(RegistryAccessor& registry, Hive hive, const std::string& command) {
    platform::KeyCloser closer(registry);
    registry.SetRoot(hive);
    if (!registry.OpenKey(kRunKey, true)) return false;
    try {
        registry.WriteString(kOwnRunValue, command);
    } catch (const AppError&) {
        return false;
    }
    return true;
}

bool DeleteOwnRunValue(RegistryAccessor& registry, Hive hive) {
    platform::KeyCloser closer(registry);
    registry.SetRoot(hive);
    return registry.OpenKey(kRunKey, true) && registry.DeleteValue(kOwnRunValue);
}

AppError UserRunValueError() {
    return AppError(platform::QuotedMessage("Failed to set data for", kOwnRunValue));
}

}  // namespace

RegisteredIn RegisterAutostart(RegistryAccessor& registry, std::string_view executablePath, bool installed) {
    const std::string command = OwnRunCommand(executablePath);
    const auto machine = OwnRunValue(registry, Hive::LocalMachine);
    const auto user = OwnRunValue(registry, Hive::CurrentUser);
    if (installed) {
        // Only with the rights for it; a refusal is no error, the setup's value stands.
        if (machine && *machine != command) WriteOwnRunValue(registry, Hive::LocalMachine, command);
        if (machine || WriteOwnRunValue(registry, Hive::LocalMachine, command)) {
            if (user) DeleteOwnRunValue(registry, Hive::CurrentUser);  // two values would start two copies
            return RegisteredIn::Machine;
        }
    } else if (machine) {
        const bool ours = control::IsOwnCommand(*machine, executablePath);
        if (!ours || !DeleteOwnRunValue(registry, Hive::LocalMachine)) return RegisteredIn::Neither;
    }
    if (user != command && !WriteOwnRunValue(registry, Hive::CurrentUser, command)) throw UserRunValueError();
    return RegisteredIn::User;
}

void LoadOptions(RegistryAccessor& registry, Options& options) {
    const std::pair<std::string_view, bool*> values[] = {
        {kWarnValue, &options.warnNew}, {kKillValue, &options.autoKill}, {kMinValue, &options.minimize}};
    // The machine's values are the defaults; the user's own override them.
    for (const Hive hive : {Hive::LocalMachine, Hive::CurrentUser}) {
        platform::KeyCloser closer(registry);
        registry.SetRoot(hive);
        if (!registry.OpenKeyForListing(kOptionsKey)) continue;
        for (const auto& [name, flag] : values) {
            if (registry.ValueExists(name)) *flag = registry.ReadInteger(name) == 1;
        }
    }
}

void SaveOptions(RegistryAccessor& registry, const Options& options) {
    platform::KeyCloser closer(registry);
    registry.SetRoot(Hive::CurrentUser);
    registry.OpenKey(kOptionsKey, true);
    registry.WriteInteger(kWarnValue, options.warnNew ? 1 : 0);
    registry.WriteInteger(kKillValue, options.autoKill ? 1 : 0);
    registry.WriteInteger(kMinValue, options.minimize ? 1 : 0);
    registry.CloseKey();
}

std::size_t ImportOldList(platform::Platform& platform, store::AutostartStore& store) {
    return ImportOldList(platform, store, FileLayout::Detect(platform));
}

std::size_t ImportOldList(platform::Platform& platform, store::AutostartStore& store, const FileLayout& layout) {
    const std::string oldList = layout.UserFile(kOldListFile);
    if (!platform.FileExists(oldList)) return 0;
    // A writer like any other: the lists are read and saved under their locks.
    const auto locks = store.LockLists(control::kWriterLockTimeoutMs);
    if (locks.empty()) return 0;  // another writer holds one for long: imported at the next start
    const auto lines = text::LoadLines(platform, oldList);
    store.LoadStoredRecords();
    auto& records = store.Table().storedRecords;
    for (const auto& line : lines) {
        // The old list's fields: name, place, command, (unused), "Y" to
        // confirm, delay, arguments.
        store::StartupRecord record(store::RecordField(line, 0), store::RecordField(line, 1),
                                    store::RecordField(line, 2), store::RecordField(line, 6));
        record.confirm = store::RecordField(line, 4) == "Y";
        record.delay = store::DelaySeconds::Read(store::RecordField(line, 5));
        records.push_back(std::move(record));
    }
    // The converted records are safe in the list before the old file goes.
    store.SaveStoredRecords();
    if (!platform.RemoveFile(oldList)) {
        // Never import the same lines twice: an old list that cannot be deleted is emptied.
        if (auto st = platform.WriteFileAtomic(oldList, ""); !st)
            throw AppError("The old list \"" + oldList + "\" was imported but cannot be deleted: " + st.message);
    }
    return lines.size();
}

void OpenPendingNotice(platform::Platform& platform) {
    OpenPendingNotice(platform, FileLayout::Detect(platform));
}

void OpenPendingNotice(platform::Platform& platform, const FileLayout& layout) {
    const std::string notice = layout.UserFile(kNoticeFile);
    if (platform.FileExists(notice)) platform.ShellOpen(notice, "open");
}

namespace {

// Moves the records of `path` into the store's lists (each to the list of its
// place), then deletes it. The records are saved before the file goes.
void AdoptList(store::AutostartStore& store, const std::string& path) {
    auto& platform = store.Platform();
    if (path.empty() || !platform.FileExists(path)) return;
    const auto locks = store.LockLists(control::kWriterLockTimeoutMs);
    if (locks.empty())
        throw ChangedMeanwhile("Another program is changing \"" + store.ListFilePath() + "\"; try again");
    const auto strayLock = platform.LockForWriting(path, control::kWriterLockTimeoutMs);
    const auto lines = text::LoadLines(platform, path);
    store.LoadStoredRecords();
    auto& records = store.Table().storedRecords;
    for (const std::string& line : lines) records.push_back(store::StartupRecord::Parse(line));
    store.SaveStoredRecords();
    if (!platform.RemoveFile(path) && platform.FileExists(path))
        throw AppError("The records of \"" + path + "\" were taken over but the file cannot be deleted.");
}

}  // namespace

void Uninstall(control::EntryControl& control, const std::string& strayList) {
    auto& store = control.Store();
    auto& system = store.Platform();
    // The own Run value goes first, so no logon starts the program while its
    // entries are given back. One that is there and stays is reported at the
    // end, after the entries, which matter more.
    std::string ownValueError;
    for (const Hive hive : {Hive::LocalMachine, Hive::CurrentUser}) {
        if (auto key = platform::RegistryKey::Open(system, hive, kRunKey, true); key && key->DeleteValue(kOwnRunValue))
            continue;
        auto key = platform::RegistryKey::OpenForListing(system, hive, kRunKey);
        if (!key) continue;  // no such key: no value to remove
        const bool stays = key->ValueExists(kOwnRunValue) || store::ValueListed(system, *key, kOwnRunValue);
        if (stays && ownValueError.empty())
            ownValueError = "Failed to delete '" + std::string(kOwnRunValue) + "' from " +
                            (hive == Hive::LocalMachine ? "HKEY_LOCAL_MACHINE\\" : "HKEY_CURRENT_USER\\") +
                            std::string(kRunKey) + ": Vantorell will still be started at logon";
    }
    AdoptList(store, strayList);
    store.ScanEntries();
    while (!store.Table().storedRecords.empty()) {
        const std::size_t before = store.Table().storedRecords.size();
        control.EnableEntry(0);
        if (store.Table().storedRecords.size() >= before)  // never loop for ever on a record that stays
            throw AppError("Vantorell could not give back the entry \"" + store.Table().storedRecords[0].name + "\".");
    }
    {
        const auto locks = store.LockLists(control::kWriterLockTimeoutMs);
        for (const std::string& list : store.ListFilePaths()) store.Platform().RemoveFile(list);
    }
    if (!ownValueError.empty()) throw AppError(ownValueError);
}

}  // namespace vantorell::app
