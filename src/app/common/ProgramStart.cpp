#include "app/common/ProgramStart.h"

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

RegisteredIn RegisterAutostart(RegistryAccessor& registry, std::string_view executablePath) {
    const std::string command = OwnRunCommand(executablePath);
    std::string machineError;
    registry.SetRoot(Hive::LocalMachine);
    try {
        if (!registry.OpenKey(kRunKey, true))
            throw AppError("Failed to set data for '" + std::string(kOwnRunValue) + "'");
        registry.WriteString(kOwnRunValue, command);
        registry.CloseKey();
        return RegisteredIn::Machine;
    } catch (const AppError& e) {
        machineError = e.what();
    }
    // Without rights to the machine hive: start at logon for this user at least.
    registry.SetRoot(Hive::CurrentUser);
    if (registry.OpenKey(kRunKey, true)) {
        try {
            registry.WriteString(kOwnRunValue, command);
        } catch (const AppError&) {
        }
    }
    registry.CloseKey();
    throw AppError(machineError);
}

namespace {


}  // namespace

void LoadOptions(RegistryAccessor& registry, Options& options) {
    platform::KeyCloser closer(registry);
    registry.SetRoot(Hive::LocalMachine);
    if (!registry.OpenKey(kOptionsKey, true) && !registry.OpenKeyForListing(kOptionsKey)) return;
    const std::pair<std::string_view, bool*> values[] = {
        {kWarnValue, &options.warnNew}, {kKillValue, &options.autoKill}, {kMinValue, &options.minimize}};
    for (const auto& [name, flag] : values) {
        if (registry.ValueExists(name)) *flag = registry.ReadInteger(name) == 1;
    }
    registry.CloseKey();
}

void SaveOptions(RegistryAccessor& registry, const Options& options) {
    platform::KeyCloser closer(registry);
    registry.SetRoot(Hive::LocalMachine);
    registry.OpenKey(kOptionsKey, true);
    registry.WriteInteger(kWarnValue, options.warnNew ? 1 : 0);
    registry.WriteInteger(kKillValue, options.autoKill ? 1 : 0);
    registry.WriteInteger(kMinValue, options.minimize ? 1 : 0);
    registry.CloseKey();
}

std::size_t ImportOldList(platform::Platform& platform, store::AutostartStore& store) {
    const std::string oldList = BesideExecutable(platform, kOldListFile);
    if (!platform.FileExists(oldList)) return 0;
    // A writer like any other: the list is read and saved under its lock.
    const auto lock = platform.LockForWriting(store.ListFilePath(), control::kWriterLockTimeoutMs);
    if (!lock) return 0;  // another writer holds it for long: imported at the next start
    const auto lines = text::LoadLines(platform, oldList);
    auto& records = store.Table().storedRecords;
    records = text::LoadLines(platform, store.ListFilePath());
    for (const auto& line : lines) {
        const std::string confirm = store::RecordField(line, 4) == "Y" ? "1" : "0";
        records.push_back(store::MakeRecord(store::RecordField(line, 0), store::RecordField(line, 1),
                                            store::RecordField(line, 2), store::RecordField(line, 6), confirm,
                                            store::RecordField(line, 5)));
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
    const std::string notice = BesideExecutable(platform, kNoticeFile);
    if (platform.FileExists(notice)) platform.ShellOpen(notice, "open");
}

void Uninstall(control::EntryControl& control) {
    auto& store = control.Store();
    auto& registry = store.Registry();
    // The own Run value goes first, so no logon starts the program while its
    // entries are given back. One that is there and stays is reported at the
    // end, after the entries, which matter more.
    std::string ownValueError;
    for (const Hive hive : {Hive::LocalMachine, Hive::CurrentUser}) {
        platform::KeyCloser closer(registry);
        registry.SetRoot(hive);
        if (registry.OpenKey(kRunKey, true) && registry.DeleteValue(kOwnRunValue)) continue;
        if (!registry.OpenKeyForListing(kRunKey)) continue;  // no such key: no value to remove
        const bool stays =
            registry.ValueExists(kOwnRunValue) || store::ValueListed(store.Platform(), registry, kOwnRunValue);
        if (stays && ownValueError.empty())
            ownValueError = "Failed to delete '" + std::string(kOwnRunValue) + "' from " +
                            (hive == Hive::LocalMachine ? "HKEY_LOCAL_MACHINE\\" : "HKEY_CURRENT_USER\\") +
                            std::string(kRunKey) + ": Vantorell will still be started at logon";
    }
    store.ScanEntries();
    while (!store.Table().storedRecords.empty()) {
        const std::size_t before = store.Table().storedRecords.size();
        control.EnableEntry(0);
        if (store.Table().storedRecords.size() >= before)  // never loop for ever on a record that stays
            throw AppError("Vantorell could not give back the entry \"" +
                           store::RecordField(store.Table().storedRecords[0], 0) + "\".");
    }
    {
        const auto lock = store.Platform().LockForWriting(store.ListFilePath(), control::kWriterLockTimeoutMs);
        store.Platform().RemoveFile(store.ListFilePath());
    }
    if (!ownValueError.empty()) throw AppError(ownValueError);
}

}  // namespace vantorell::app
