#include "control/EntryControl.h"

#include <algorithm>
#include <utility>

#include "control/SelfProtection.h"
#include "platform/Errors.h"
#include "platform/RegistryKey.h"
#include "platform/Text.h"
#include "store/Place.h"
#include "store/WindowsSwitch.h"

namespace vantorell::control {
namespace {

std::string SwitchWriteFailedMessage(std::string_view name) {
    return platform::QuotedMessage("Failed to set data for", name);
}

// A name holding NUL reaches, in every registry call, the value named by the
// part before it: changing such an entry would change another one.
void RefuseNulName(std::string_view name) {
    if (name.find('\0') == std::string_view::npos) return;
    std::string shown;
    for (char c : name) shown += c == '\0' ? std::string("\\0") : std::string(1, c);
    throw AppError("Vantorell cannot change '" + shown +
                   "': its name holds a NUL character, and Windows would act on another entry instead");
}

// The record with confirm flag and delay both off, fields 0 to 3 as they stand.
store::StartupRecord DisabledRecord(store::StartupRecord record) {
    record.confirm = false;
    record.delay = 0;
    record.Rewrite();
    return record;
}

// Whether a record holds the same name, place, command and arguments as `record`.
bool HasRecord(const store::EntryTable& table, const store::StartupRecord& record) {
    return std::any_of(table.storedRecords.begin(), table.storedRecords.end(),
                       [&](const store::StartupRecord& r) { return r.SameItem(record); });
}

}  // namespace

std::optional<EntryKey> KeyOfEntry(const store::EntryTable& table, std::size_t index) {
    if (index >= table.entries.size()) return std::nullopt;
    const auto& e = table.entries[index];
    return EntryKey{e.name, e.location, index < table.RecordCount(), e.subKey};
}

std::optional<std::size_t> FindEntry(const store::EntryTable& table, const EntryKey& key, std::size_t hint) {
    if (KeyOfEntry(table, hint) == key) return hint;
    for (std::size_t i = 0; i < table.entries.size(); ++i)
        if (KeyOfEntry(table, i) == key) return i;
    return std::nullopt;
}

std::optional<EntrySeen> SeenOfEntry(const store::EntryTable& table, std::size_t index) {
    auto key = KeyOfEntry(table, index);
    if (!key) return std::nullopt;
    const auto& e = table.entries[index];
    EntrySeen seen{*key, e.command, {}, e.confirm, e.delay};
    // An active shortcut is taken as it is when it is taken out (its .lnk is
    // kept whole): only a value's command must be the one that was seen.
    const store::AutostartLocation* location = store::FindLocation(e.location);
    if (!key->recorded && location && location->isFolder) seen.command.clear();
    if (key->recorded) {
        const store::StartupRecord& record = table.storedRecords[index];
        seen.command = record.command;
        seen.arguments = record.arguments;
        seen.confirm = record.confirm;
        seen.delay = record.delay;
    }
    return seen;
}

std::optional<std::size_t> FindSeen(const store::EntryTable& table, const EntrySeen& seen, std::size_t hint) {
    if (SeenOfEntry(table, hint) == seen) return hint;
    for (std::size_t i = 0; i < table.entries.size(); ++i)
        if (SeenOfEntry(table, i) == seen) return i;
    return std::nullopt;
}

// ------------------------------------------------------------------ one writer at a time

store::ListLocks LockListsForChange(store::AutostartStore& store) {
    store::ListLocks locks = store.LockLists(kWriterLockTimeoutMs);
    if (locks.empty()) throw ListsBusy(std::string(kListsBusyMessage));
    return locks;
}

std::string ChangedMessage(std::string_view name, std::string_view location) {
    std::string text = "'" + std::string(name) + "'";
    if (!location.empty()) text += " (" + std::string(location) + ")";
    return text + " changed meanwhile, try again";
}

EntryControl::WriteScope::WriteScope(EntryControl& control) : control_(control) {
    if (control_.writers_ == 0) {
        locks_ = LockListsForChange(control_.store_);
        // Fresh data: what any other writer saved before this one got the lock.
        control_.Scan();
    } else if (control_.stale_) {
        control_.Scan();  // after a change inside this hold, which nothing showed
    }
    ++control_.writers_;
}

EntryControl::WriteScope::~WriteScope() {
    --control_.writers_;
}

std::size_t EntryControl::Recheck(const EntrySeen& seen, std::size_t hint) {
    if (const auto index = FindSeen(store_.Table(), seen, hint)) return *index;
    shown_.OnEntriesChanged(store_.Table());  // show what is there now
    throw ChangedMeanwhile(ChangedMessage(seen.key.name, seen.key.location));
}

// ------------------------------------------------------------------ the operations

bool EntryControl::IsOwn(std::size_t index) {
    const auto& table = store_.Table();
    if (index >= table.entries.size()) return false;
    const auto& e = table.entries[index];
    return IsOwnEntry(e.name, e.location, e.command, processes_.ExecutablePath());
}

void EntryControl::RefusePlaceChange(const store::Place& place, store::PlaceChange change, std::string_view name,
                                     std::string_view command) {
    if (auto refusal = place.Refusal(change, name, command)) throw AppError(*refusal);
}

void EntryControl::RefuseHandOver(std::size_t index) {
    const auto& e = store_.Table().entries[index];
    if (e.place)
        RefusePlaceChange(*store::OpenPlace(store_, *e.place), store::PlaceChange::HandOver, e.name, e.command);
}

void EntryControl::RefuseOwnEntry(std::string_view name, std::string_view code, std::string_view command) {
    const std::string exe = processes_.ExecutablePath();
    if (IsOwnEntry(name, code, command, exe)) throw AppError(SelfProtectionMessage(exe));
}

void EntryControl::Scan() {
    store_.ScanEntries();
    stale_ = false;
}

void EntryControl::Refresh() {
    Scan();
    shown_.OnEntriesChanged(store_.Table());
}

void EntryControl::Changed() {
    // Nobody to show the new table to: it is read again when it is next
    // needed (Entries(), a nested operation), not after every change.
    if (shown_.ShowsEntries())
        Refresh();
    else
        stale_ = true;
}

const store::EntryTable& EntryControl::Entries() {
    if (stale_) Scan();
    return store_.Table();
}

void EntryControl::SaveRecordsOrRestore(std::vector<store::StartupRecord> before) {
    try {
        store_.SaveStoredRecords();
    } catch (...) {
        store_.Table().storedRecords = std::move(before);
        throw;
    }
}

void EntryControl::DisableEntry(std::size_t index, bool discard) {
    TakeOutEntry(index, discard, store::PlaceChange::TakeOut);
}

void EntryControl::TakeOutEntry(std::size_t index, bool discard, store::PlaceChange change) {
    const auto seen = SeenOf(index);
    if (!seen) return;
    WriteScope scope(*this);
    index = Recheck(*seen, index);
    auto& table = store_.Table();
    const std::string name = table.entries[index].name;
    const std::string code = table.entries[index].location;
    const store::AutostartLocation* location = store::FindLocation(code);
    RefuseNulName(name);
    RefuseOwnEntry(name, code, table.entries[index].command);
    const auto place = location ? store::OpenPlace(store_, *location) : nullptr;
    if (place) RefusePlaceChange(*place, change, name, table.entries[index].command);

    // Nothing to take out of a place that is unknown or no longer holds the entry.
    // The item this entry is, holding the command the entry showed: never a
    // twin of its name, nor a command written meanwhile.
    const store::ItemRef ref = store::ItemOf(table.entries[index], true);
    const store::PlaceItem item = place ? place->Read(ref, discard) : store::PlaceItem{};
    // A copy that came back beside its record (or stayed there after a
    // failure or a crash) is taken out without a second, identical record.
    store::StartupRecord newRecord(name, code, item.command, item.arguments);
    const bool record = item.present && !discard && !HasRecord(table, newRecord);
    if (record) place->Keep(newRecord);

    std::vector<store::StartupRecord> before = table.storedRecords;
    if (record) table.storedRecords.push_back(newRecord);
    SaveRecordsOrRestore(before);

    if (item.present) {
        try {
            if (change == store::PlaceChange::Delete)
                place->Delete(ref);
            else
                place->TakeOut(ref);
        } catch (const AppError&) {
            // The entry is still in its place: take the record back so that it
            // does not stand twice. Should that save fail too, the entry is both
            // in its place and recorded, which loses nothing.
            if (record) {
                table.storedRecords = std::move(before);
                try {
                    store_.SaveStoredRecords();
                } catch (const AppError&) {
                }
            }
            throw;
        }
        // Windows' switch of a value that is gone means nothing, and left
        // behind it would make Windows skip the entry once it is put back.
        store::RemoveWindowsSwitch(store_.Facets().registry, *location, name);
    }
    Changed();
}

void EntryControl::EnableEntry(std::size_t listIndex) {
    if (listIndex >= Entries().RecordCount()) return;
    const auto seen = SeenOf(listIndex);
    if (!seen) return;
    WriteScope scope(*this);
    listIndex = Recheck(*seen, listIndex);
    auto& table = store_.Table();
    // The record can only be removed by saving the list; find out first whether
    // that is possible, before the place is written.
    if (!store_.ListFileReadable()) store_.SaveStoredRecords();  // throws

    const store::StartupRecord record = table.storedRecords[listIndex];
    const store::AutostartLocation* location = store::FindLocation(record.location);
    if (location) RefuseNulName(record.name);
    RefuseOwnEntry(record.name, record.location, record.command);
    const auto place = location ? store::OpenPlace(store_, *location) : nullptr;
    if (place) {
        // A deferred record that stayed beside the re-created entry (the save
        // below failed, or the program was ended in between) would have the
        // entry started twice at logon, by Windows and by the launcher. It is
        // made a plain disabled record first; should the entry then not be
        // written, the record gets its confirm flag and delay back.
        const bool deferred = record.Deferred();
        if (deferred) {
            std::vector<store::StartupRecord> before = table.storedRecords;
            table.storedRecords[listIndex] = DisabledRecord(record);
            SaveRecordsOrRestore(std::move(before));
        }
        try {
            place->PutBack(record);
            // Put back, the entry must also be on for Windows.
            if (!store::ClearWindowsSwitch(store_.Facets().registry, *location, record.name))
                throw AppError(SwitchWriteFailedMessage(record.name));
        } catch (const AppError&) {
            if (deferred) {
                table.storedRecords[listIndex] = record;
                try {
                    store_.SaveStoredRecords();
                } catch (const AppError&) {
                    // Recorded as disabled: the entry is kept, only its handing over is not.
                }
            }
            throw;  // the record stays
        }
    }

    std::vector<store::StartupRecord> before = table.storedRecords;
    table.storedRecords.erase(table.storedRecords.begin() + static_cast<std::ptrdiff_t>(listIndex));
    // A failure here leaves the entry both in its place and recorded.
    SaveRecordsOrRestore(std::move(before));
    if (place) place->Release(record);
    Changed();
}

std::optional<std::size_t> EntryControl::TakeOver(std::size_t index) {
    const auto key = KeyOfEntry(store_.Table(), index);
    if (!key) return std::nullopt;
    DisableEntry(index, false);
    // The new record is the last one; look for it by its name and place rather
    // than by grid row, so that whatever else the rescan found cannot mislead.
    const auto& table = Entries();
    for (std::size_t i = table.RecordCount(); i-- > 0;) {
        const auto& e = table.entries[i];
        if (e.name == key->name && e.location == key->location) return i;
    }
    return std::nullopt;
}

void EntryControl::StoreOption(std::size_t index, std::optional<store::ConfirmFlag> confirm,
                               std::optional<store::DelaySeconds> delay) {
    auto& table = store_.Table();
    if (index >= table.entries.size()) return;
    if (index < table.RecordCount()) {
        // This record only: its first four fields as they stand, its confirm
        // flag and delay with the one change, written as six fields.
        std::vector<store::StartupRecord> before = table.storedRecords;
        store::StartupRecord& record = table.storedRecords[index];
        if (confirm) record.confirm = *confirm;
        if (delay) record.delay = *delay;
        record.Rewrite();
        SaveRecordsOrRestore(std::move(before));
    }
    Changed();
}

void EntryControl::SetConfirmStartup(std::size_t index) {
    const auto seen = SeenOf(index);
    if (!seen) return;
    WriteScope scope(*this);
    index = Recheck(*seen, index);
    RefuseHandOver(index);
    const auto& table = store_.Table();
    if (table.entries[index].IsActive()) {
        const auto taken = TakeOver(index);
        if (!taken) return;
        index = *taken;
    }
    StoreOption(index, true, std::nullopt);
}

void EntryControl::ClearConfirmStartup(std::size_t index) {
    const auto seen = SeenOf(index);
    if (!seen) return;
    WriteScope scope(*this);
    StoreOption(Recheck(*seen, index), false, std::nullopt);
}

void EntryControl::SetStartupDelay(std::size_t index, int seconds) {
    const auto seen = SeenOf(index);
    if (!seen) return;
    WriteScope scope(*this);
    index = Recheck(*seen, index);
    const auto& table = store_.Table();
    seconds = store::ClampDelay(seconds);
    if (seconds > 0) RefuseHandOver(index);
    if (table.entries[index].IsActive() && seconds > 0) {
        const auto taken = TakeOver(index);
        if (!taken) return;
        index = *taken;
    }
    StoreOption(index, std::nullopt, seconds);
}

void EntryControl::SwitchOnForWindows(std::size_t index) {
    const auto seen = SeenOf(index);
    if (!seen) return;
    WriteScope scope(*this);
    index = Recheck(*seen, index);
    const auto& table = store_.Table();
    const auto& e = table.entries[index];
    if (!e.IsActive() || !e.windowsOff || !e.place) return;
    if (!store::ClearWindowsSwitch(store_.Facets().registry, *e.place, e.name))
        throw AppError(SwitchWriteFailedMessage(e.name));
    Changed();
}

void EntryControl::DeleteEntry(std::size_t index) {
    const auto seen = SeenOf(index);
    if (!seen) return;
    WriteScope scope(*this);
    index = Recheck(*seen, index);
    auto& table = store_.Table();
    if (table.entries[index].IsActive()) {
        TakeOutEntry(index, true, store::PlaceChange::Delete);  // saves and refreshes
        return;
    }
    if (index < table.RecordCount()) {
        const store::StartupRecord record = table.storedRecords[index];
        const store::AutostartLocation* location = store::FindLocation(record.location);
        const auto place = location ? store::OpenPlace(store_, *location) : nullptr;
        if (place) RefusePlaceChange(*place, store::PlaceChange::Delete, record.name, record.command);
        std::vector<store::StartupRecord> before = table.storedRecords;
        table.storedRecords.erase(table.storedRecords.begin() + static_cast<std::ptrdiff_t>(index));
        SaveRecordsOrRestore(std::move(before));
        if (place) {
            place->Release(record);
            place->DeleteRecorded(record);
        }
    }
    Changed();
}

}  // namespace vantorell::control
