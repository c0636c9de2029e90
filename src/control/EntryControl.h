// Taking entries out of their autostart places and putting them back, handing
// them over for a confirmed or delayed start, and deleting them. Every
// operation ends with the refresh: the list file is saved, the table rescanned
// and whoever shows the entries told (EntriesChanged).
//
// Nothing the user had may be lost, so every move writes the new home first
// and clears the old one after: a disable saves the record before it deletes
// the value or shortcut, an enable writes the value or shortcut before it
// removes the record. A failure throws AppError with the text the user sees;
// the step that failed and every later one are not done, and the table is left
// as it was.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "control/EntriesChanged.h"
#include "platform/Processes.h"
#include "store/AutostartStore.h"
#include "store/Place.h"

namespace vantorell::control {

// What identifies an entry across rescans: its name, its place, whether it
// is recorded in the list file or active in its place, and where a place can
// hold two items of one name (Active Setup), what tells them apart.
struct EntryKey {
    std::string name;
    std::string location;
    bool recorded = false;
    std::string subKey{};
    friend bool operator==(const EntryKey&, const EntryKey&) = default;
};

// The key of entry `index`; nullopt outside the table.
std::optional<EntryKey> KeyOfEntry(const store::EntryTable& table, std::size_t index);
// The index the entry of `key` has now: `hint` when that entry still has the
// key, else the first entry that has it; nullopt when it is gone.
std::optional<std::size_t> FindEntry(const store::EntryTable& table, const EntryKey& key, std::size_t hint);

// What a row showed of its entry: its identity and the texts a change must
// find unchanged. For a record, the record's command, arguments, confirm flag
// and delay; for an active value, its command; for an active shortcut nothing
// more (its .lnk is taken as it is, whole).
struct EntrySeen {
    EntryKey key;
    std::string command, arguments;
    store::ConfirmFlag confirm;
    store::DelaySeconds delay;
    friend bool operator==(const EntrySeen&, const EntrySeen&) = default;
};

// What entry `index` holds now; nullopt outside the table.
std::optional<EntrySeen> SeenOfEntry(const store::EntryTable& table, std::size_t index);
// The index of the entry that holds `seen` now: `hint` when that one does,
// else the first that does; nullopt when none does.
std::optional<std::size_t> FindSeen(const store::EntryTable& table, const EntrySeen& seen, std::size_t hint);

// "'NAME' (LOCATION) changed meanwhile, try again".
std::string ChangedMessage(std::string_view name, std::string_view location);

// How long a change waits for another writer to finish with the list.
inline constexpr unsigned kWriterLockTimeoutMs = 10000;

// What a change says when another writer keeps a list's lock.
inline constexpr std::string_view kListsBusyMessage = "Another Vantorell is changing the lists; try again in a moment";

// Takes the writers' locks of every list of `store`. Throws ListsBusy when
// another writer holds one for longer than kWriterLockTimeoutMs.
store::ListLocks LockListsForChange(store::AutostartStore& store);

// One writer at a time, always on fresh data: every operation below takes the
// list's writers' lock (platform::Locks::LockForWriting), re-reads the list
// and the places inside it, finds its entry again by identity, applies its one
// change to what it read, saves and releases. When the entry no longer holds
// what the caller's table showed (gone, or another command, arguments, confirm
// flag or delay) it throws ChangedMeanwhile and changes nothing.
class EntryControl {
public:
    // `shown` is told of every table built anew; `processes` names this
    // program's own executable, whose entries are never changed. All must
    // outlive the control.
    EntryControl(store::AutostartStore& store, platform::Processes& processes, EntriesChanged& shown)
        : store_(store), processes_(processes), shown_(shown) {}

    // Takes entry `index` out of its place, with Windows' switch of it;
    // appends its record unless `discard`.
    // With `discard` false the record is saved before the value or shortcut is
    // deleted; if the deletion then fails the record is taken back. An entry
    // whose value or shortcut is no longer there gets no record; one that is
    // listed but cannot be read is an error. A copy standing beside an
    // identical record is taken out without a second record. An index outside
    // the table does nothing.
    void DisableEntry(std::size_t index, bool discard);
    // Re-creates the entry of record `listIndex` in its place and removes the
    // record. If the value or shortcut cannot be written, the record stays. A
    // deferred record is made a disabled one before the place is written, so
    // that an entry left both in its place and recorded is never started twice;
    // it gets its confirm flag and delay back when the place cannot be written. A
    // record whose location code is unknown is removed without anything being
    // written. An index outside the records does nothing.
    void EnableEntry(std::size_t listIndex);
    // Confirm flag "1"; an active entry is taken over first.
    void SetConfirmStartup(std::size_t index);
    // Confirm flag "0"; the entry stays recorded.
    void ClearConfirmStartup(std::size_t index);
    // Delay `seconds` (brought into 0..240); an active entry is taken over first
    // when the delay is above 0.
    void SetStartupDelay(std::size_t index, int seconds);
    // Turns Windows' own switch of active entry `index` back on; the entry is
    // not moved. Does nothing for an entry that Windows has not switched off.
    void SwitchOnForWindows(std::size_t index);
    // Deletes entry `index`: an active entry is taken out of its place for good,
    // without a record; a recorded one loses its record, and its place drops
    // what it still holds of the item (Place::DeleteRecorded). What the place
    // refuses to delete (PlaceChange::Delete) is left as it is.
    void DeleteEntry(std::size_t index);
    // Rescans and tells whoever shows the entries.
    void Refresh();
    // The table, read again first when a change was made since the last scan
    // and nobody was shown it (EntriesChanged::ShowsEntries).
    const store::EntryTable& Entries();
    // Whether entry `index` is the program's own logon entry, which no
    // operation here changes (they throw the self-protection message).
    bool IsOwn(std::size_t index);

    store::AutostartStore& Store() { return store_; }
    platform::Processes& Processes() { return processes_; }

    // Holds the writers' lock for the operations made while it lives: taken
    // and the table read once when it is made, and no operation inside takes
    // or reads again, but after a change that nothing showed. So each change
    // of a caller that shows nothing costs one scan, under the lock.
    class WriteScope {
    public:
        explicit WriteScope(EntryControl& control);
        ~WriteScope();
        WriteScope(const WriteScope&) = delete;
        WriteScope& operator=(const WriteScope&) = delete;

    private:
        EntryControl& control_;
        store::ListLocks locks_;
    };

private:
    std::optional<EntrySeen> SeenOf(std::size_t index) { return SeenOfEntry(Entries(), index); }
    void Scan();
    // After an operation's change: the table is shown again, or marked to be
    // read again when next needed.
    void Changed();
    // Inside a WriteScope: the index the seen entry has in the fresh table;
    // throws ChangedMeanwhile (after showing the table) when it is gone or changed.
    std::size_t Recheck(const EntrySeen& seen, std::size_t hint);
    // DisableEntry, or with `change` Delete the item deleted for good.
    void TakeOutEntry(std::size_t index, bool discard, store::PlaceChange change);

    // Throws the place's message when it does not allow `change` of the item.
    static void RefusePlaceChange(const store::Place& place, store::PlaceChange change, std::string_view name,
                                  std::string_view command);
    // Throws when the place of entry `index` does not let Vantorell start it at logon.
    void RefuseHandOver(std::size_t index);
    void RefuseOwnEntry(std::string_view name, std::string_view code, std::string_view command);
    // Disables an active entry, keeping its record; the index of that record, or
    // nullopt when nothing was recorded.
    std::optional<std::size_t> TakeOver(std::size_t index);
    // Sets the confirm flag or the delay of record `index` (nothing for an
    // active entry), saves and refreshes; the table is restored when saving fails.
    void StoreOption(std::size_t index, std::optional<store::ConfirmFlag> confirm,
                     std::optional<store::DelaySeconds> delay);
    // Saves the records; on failure puts `before` back into the table and rethrows.
    void SaveRecordsOrRestore(std::vector<store::StartupRecord> before);

    store::AutostartStore& store_;
    platform::Processes& processes_;
    EntriesChanged& shown_;
    int writers_ = 0;     // nested operations inside one WriteScope
    bool stale_ = false;  // changed since the last scan, and not read again
};

}  // namespace vantorell::control
