#include "platform/Errors.h"
#include "store/PlaceKinds.h"

namespace vantorell::store {

std::optional<platform::RegistryKey> ValuesPlace::OpenForListing() {
    // Read access when full access is refused: a standard user still sees the machine's items.
    if (location_.policy)
        return platform::RegistryKey::OpenExisting(store_.Facets().registry, location_.hive, location_.keyOrFolderValue,
                                                   location_.view);
    return platform::RegistryKey::OpenForListing(store_.Facets().registry, location_.hive, location_.keyOrFolderValue,
                                                 location_.view);
}

std::optional<platform::RegistryKey> ValuesPlace::OpenForChange() {
    return platform::RegistryKey::Open(store_.Facets().registry, location_.hive, location_.keyOrFolderValue, true,
                                       location_.view);
}

void ValuesPlace::AppendItems(std::vector<StartupEntry>& entries) {
    auto key = OpenForListing();
    if (!key) return;
    // Names and data in one enumeration: one open per place, and where the
    // system can, one call per value. A number or raw bytes is no command to show.
    for (auto& [name, value] : key->Values())
        entries.push_back(ActiveEntry(std::move(name), location_, platform::StringData(value).value_or(std::string())));
}

std::string ValuesPlace::CommandOf(const ItemRef& item) {
    const std::string& name = item.name;
    auto key = OpenForListing();
    if (!key) return {};
    try {
        return key->ReadString(name);
    } catch (const AppError&) {
        return {};  // a number or raw bytes: no command to show
    }
}

PlaceItem ValuesPlace::Read(const ItemRef& ref, bool presenceOnly) {
    const std::string& name = ref.name;
    PlaceItem item;
    auto key = OpenForListing();
    if (!key) return item;
    if (!key->ValueExists(name)) {
        // Listed but not readable is a failure, not an entry that has gone:
        // doing nothing then would look like success.
        if (ValueListed(store_.Facets().locale, *key, name)) throw AppError(ReadFailedMessage(name));
        return item;
    }
    item.present = true;
    if (presenceOnly) return item;
    // A value that is not a string throws here, before anything has changed.
    item.command = key->ReadString(name);
    if (item.command.empty()) {
        // A read that failed gives the empty text too; recording that would
        // lose the command. Read once more, and believe an empty text only
        // from a value that is still there to be read.
        item.command = key->ReadString(name);
        if (item.command.empty() && !key->ValueExists(name)) throw AppError(ReadFailedMessage(name));
    }
    return item;
}

void ValuesPlace::TakeOut(const ItemRef& ref) {
    const std::string& name = ref.name;
    auto key = OpenForChange();
    if (!key) throw AppError(DeleteFailedMessage(name));
    if (!key->DeleteValue(name) && key->ValueExists(name)) throw AppError(DeleteFailedMessage(name));
}

void ValuesPlace::PutBack(const StartupRecord& record) {
    auto key = OpenForChange();
    // "Failed to set data for '%s'", also when the key did not open
    if (!key) throw AppError(WriteFailedMessage(record.name));
    // Two records of one name (a program that came back with another command
    // and was switched off again): the value of the one put back first is not
    // written over by the other.
    if (key->ValueExists(record.name)) {
        std::optional<std::string> now;
        try {
            now = key->ReadString(record.name);
        } catch (const AppError&) {
        }
        if (now == record.command) return;  // back already
        throw AppError("'" + record.name + "' (" + record.location +
                       ") holds another command now: take that out first, so that it is not lost");
    }
    if (HasEnvironmentReference(record.command))
        key->WriteExpandString(record.name, record.command);
    else
        key->WriteString(record.name, record.command);
}

}  // namespace vantorell::store
