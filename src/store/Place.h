// The kinds of autostart place. Each kind knows how its items are read, taken
// out and put back, and what it refuses; the entry operations (control/) decide
// what is done and call the same few members for every kind:
//
//   AppendItems   the scan: the place's items as active entries
//   Read          one item, as its record keeps it
//   Keep          what must be kept beside the record before the item goes
//   TakeOut       the item out of its place
//   PutBack       the item of a record back into its place
//   Release       what Keep kept, once the record is gone
//   Delete        the item out of its place for good, without a record
//   DeleteRecorded  what is left of a recorded item that is deleted
//   Refusal       the change this place does not allow for an item
//   Watched       where a change of the place's items shows
//
// A place object is made for one operation and holds no state of its own
// between calls; it reads the registry and the folders through the store.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "store/AutostartStore.h"

namespace vantorell::store {

// An item of a place as a change reads it.
struct PlaceItem {
    bool present = false;   // the item is in its place
    std::string command;    // what the record keeps as the command
    std::string arguments;  // what the record keeps as the arguments
};

// Which item of a place an operation is for. Names repeat where a place
// holds its items by something else than their names (two Active Setup
// components may show one name): `subKey` then names the component, and a
// name alone that two items share is refused. `command`, when given, is what
// the item must still hold: a place that holds another command now changed
// meanwhile, and its item is left as it is.
struct ItemRef {
    std::string name;
    std::string subKey{};
    std::optional<std::string> command{};
};

// The item of an entry of the table, with the command the entry holds when
// `withCommand`.
ItemRef ItemOf(const StartupEntry& entry, bool withCommand);

// The changes a place may refuse.
enum class PlaceChange {
    TakeOut,      // disable
    Delete,       // delete: out of its place without a record
    HandOver,     // confirm, delay: the item is taken out and Vantorell starts it at logon
    AutoTakeOut,  // AutoKill taking out a recorded item that came back
};

class Place {
public:
    Place(AutostartStore& store, const AutostartLocation& location) : store_(store), location_(location) {}
    virtual ~Place() = default;
    Place(const Place&) = delete;
    Place& operator=(const Place&) = delete;

    const AutostartLocation& Location() const { return location_; }

    // Appends the place's items, in the place's own order, as active entries.
    virtual void AppendItems(std::vector<StartupEntry>& entries) = 0;
    // The run command of item `item`, read afresh; empty when it is not there
    // or holds no command.
    virtual std::string CommandOf(const ItemRef& item) = 0;
    // Reads what a record needs to put item `item` back (with `presenceOnly`,
    // only whether it is there). Throws AppError for an item that is there but
    // cannot be read whole (taking it out then would lose it), and for a name
    // that does not tell one item from another.
    virtual PlaceItem Read(const ItemRef& item, bool presenceOnly) = 0;
    // Keeps what the new `record` cannot hold of its item, before the item is
    // taken out. Throws AppError when that cannot be kept.
    virtual void Keep(const StartupRecord& /*record*/) {}
    // Takes item `item` out of the place. Throws AppError when it is still
    // there, ChangedMeanwhile when it holds another command than `item` says.
    virtual void TakeOut(const ItemRef& item) = 0;
    // Takes item `item` out for good (the user deleted it): as TakeOut where
    // taking out leaves nothing to put back.
    virtual void Delete(const ItemRef& item) { TakeOut(item); }
    // The user deleted the record `record`: what its place still holds of the
    // item goes too, where the place keeps something (nothing by default).
    virtual void DeleteRecorded(const StartupRecord& /*record*/) {}
    // Puts the item of `record` back. Throws AppError when it cannot be written.
    virtual void PutBack(const StartupRecord& record) = 0;
    // Drops what Keep kept for `record`, once the record is gone.
    virtual void Release(const StartupRecord& /*record*/) {}
    // The message for a change of item `name` (run command `command`) that the
    // place does not allow; nullopt when it allows it.
    virtual std::optional<std::string> Refusal(PlaceChange /*change*/, std::string_view /*name*/,
                                               std::string_view /*command*/) const {
        return std::nullopt;
    }

    // Where the system reports a change of the place's items.
    virtual std::vector<platform::WatchPlace> Watched();

protected:
    AutostartStore& store_;
    const AutostartLocation& location_;
};

// Whether the change takes the item out of its place: a disable or a delete.
inline bool TakesOut(PlaceChange change) {
    return change == PlaceChange::TakeOut || change == PlaceChange::Delete;
}

// The place object of `location`, for one operation on `store`.
std::unique_ptr<Place> OpenPlace(AutostartStore& store, const AutostartLocation& location);

// An active entry of `location`.
StartupEntry ActiveEntry(std::string name, const AutostartLocation& location, std::string command);

}  // namespace vantorell::store
