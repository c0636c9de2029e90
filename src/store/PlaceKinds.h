// The kinds of place, each in a file of its own; made through OpenPlace.
#pragma once

#include <string>
#include <string_view>

#include "store/Place.h"

namespace vantorell::store {

// A Run-type key: each value of the key is an item, named by the value's name;
// its data is the run command.
class ValuesPlace : public Place {
public:
    using Place::Place;
    void AppendItems(std::vector<StartupEntry>& entries) override;
    std::string CommandOf(const ItemRef& item) override;
    PlaceItem Read(const ItemRef& item, bool presenceOnly) override;
    void TakeOut(const ItemRef& item) override;
    void PutBack(const StartupRecord& record) override;

private:
    std::optional<platform::RegistryKey> OpenForListing();
    std::optional<platform::RegistryKey> OpenForChange();
};

// A Startup folder: each .lnk file is an item, named by its file name. A
// shortcut taken out is kept byte for byte beside the list, so that it comes
// back with everything the record cannot hold.
class ShortcutsPlace : public Place {
public:
    using Place::Place;
    void AppendItems(std::vector<StartupEntry>& entries) override;
    std::string CommandOf(const ItemRef& item) override;
    PlaceItem Read(const ItemRef& item, bool presenceOnly) override;
    void Keep(const StartupRecord& record) override;
    void TakeOut(const ItemRef& item) override;
    void PutBack(const StartupRecord& record) override;
    void Release(const StartupRecord& record) override;
    std::vector<platform::WatchPlace> Watched() override;

private:
    // The target of the shortcut `name` of `folder`; empty when it cannot be read.
    std::string Target(std::string_view folder, std::string_view name);
};

// The places whose items are held in a named value of a key: Windows starts
// them before or outside the shell, so Vantorell's logon launcher cannot stand
// in for them (confirm and delay are refused), and where the place says so
// AutoKill only reports a comeback.
class ValueItemPlace : public Place {
public:
    using Place::Place;
    std::optional<std::string> Refusal(PlaceChange change, std::string_view name,
                                       std::string_view command) const override;

protected:
    // The place's key, not created where it is missing.
    std::optional<platform::RegistryKey> OpenExisting(std::string_view subKey = {});
    // The place's value as stored; nullopt when the key or the value is not
    // there. A value the key lists but that cannot be read throws.
    std::optional<platform::RegValue> ReadValue();
    // Whether `item` is Windows' own item of the place (see windowsItem).
    bool IsWindowsItem(std::string_view item) const;
    // The message for Windows' own item.
    std::string WindowsItemMessage(std::string_view item) const;
};

// A value holding a list of programs, separated by commas (Userinit) or by
// blanks and commas (Load, Run): each program is an item, named by its text.
// Taking one out leaves the rest of the text byte for byte.
class ListItemsPlace : public ValueItemPlace {
public:
    using ValueItemPlace::ValueItemPlace;
    void AppendItems(std::vector<StartupEntry>& entries) override;
    std::string CommandOf(const ItemRef& item) override;
    PlaceItem Read(const ItemRef& item, bool presenceOnly) override;
    void TakeOut(const ItemRef& item) override;
    void PutBack(const StartupRecord& record) override;
    std::optional<std::string> Refusal(PlaceChange change, std::string_view name,
                                       std::string_view command) const override;
};

// One value that Windows reads with a default of its own when it is missing
// (Shell) or that starts nothing when it is missing (a logon script): its text
// is the item, named by the value's name. Taken out, the value is set back to
// Windows' default or deleted.
class DefaultValuePlace : public ValueItemPlace {
public:
    using ValueItemPlace::ValueItemPlace;
    void AppendItems(std::vector<StartupEntry>& entries) override;
    std::string CommandOf(const ItemRef& item) override;
    PlaceItem Read(const ItemRef& item, bool presenceOnly) override;
    void TakeOut(const ItemRef& item) override;
    void PutBack(const StartupRecord& record) override;
    std::optional<std::string> Refusal(PlaceChange change, std::string_view name,
                                       std::string_view command) const override;
};

// Active Setup: each component (a sub-key) with a "StubPath" value is an item,
// named by the component's default value, or by its sub-key when that is empty.
class StubPathsPlace : public ValueItemPlace {
public:
    using ValueItemPlace::ValueItemPlace;
    void AppendItems(std::vector<StartupEntry>& entries) override;
    std::string CommandOf(const ItemRef& item) override;
    PlaceItem Read(const ItemRef& item, bool presenceOnly) override;
    void TakeOut(const ItemRef& item) override;
    void PutBack(const StartupRecord& record) override;
    std::vector<platform::WatchPlace> Watched() override;

private:
    struct Component {
        std::string subKey, name;
        std::optional<platform::RegValue> stubPath;
    };
    std::vector<Component> Components();
    // The component of `item`: the one of its sub-key, while it still shows
    // the item's name; without a sub-key the one of that name (one with a
    // StubPath first). nullopt when none is. Throws AppError for a name that
    // components with StubPaths share and that the item's command does not
    // narrow to one: the message lists them.
    std::optional<Component> Find(const ItemRef& item);
};

// The services that start with Windows: each Win32 service (a program of its
// own or a shared host's library) whose start type is automatic, named by its
// key's name; its command is its "ImagePath". Switched off, its start type
// becomes disabled and the record keeps the start type it had ("auto" or
// "delayed-auto") in its arguments field; switched on, that start type comes
// back. The place never starts or stops a service. Confirm and delay are
// refused (a service starts before anyone logs on), and so is deleting a
// service whose file is still there.
class ServicesPlace : public Place {
public:
    using Place::Place;
    void AppendItems(std::vector<StartupEntry>& entries) override;
    std::string CommandOf(const ItemRef& item) override;
    PlaceItem Read(const ItemRef& item, bool presenceOnly) override;
    void TakeOut(const ItemRef& item) override;
    void Delete(const ItemRef& item) override;
    void DeleteRecorded(const StartupRecord& record) override;
    void PutBack(const StartupRecord& record) override;
    std::optional<std::string> Refusal(PlaceChange change, std::string_view name,
                                       std::string_view command) const override;
    std::vector<platform::WatchPlace> Watched() override;

    // A record's arguments: the start type the service had.
    static constexpr std::string_view kAutomatic = "auto";
    static constexpr std::string_view kDelayedAutomatic = "delayed-auto";

private:
    // Whether the file the service starts (its "ServiceDll", else the program
    // of its "ImagePath") is known to be missing: false while it is there or
    // cannot be named.
    bool Dead(std::string_view name) const;
};

// The file of a service's image path or library: unquoted, the program's part
// of a command line, "%SystemRoot%", "%windir%" and "\SystemRoot\" as the
// Windows folder `windows`, a relative path under it; empty when it names
// another variable or nothing.
std::string ServiceFile(std::string_view pathOrCommand, std::string_view windows);

// What the record of an item of a value keeps in its arguments field: the
// value's type, then where the item stood ("REG_SZ", "REG_EXPAND_SZ 2 a,",
// "REG_SZ {ID}"). A record without it puts its item back as a plain string.
struct ValueOrigin {
    std::uint32_t type = platform::RegType::Sz;
    std::string where;
};
std::string OriginText(const ValueOrigin& origin);
ValueOrigin ParseOrigin(std::string_view text);

// Texts of the errors every kind reports, in the form of the registry's own.
std::string ReadFailedMessage(std::string_view name);
std::string WriteFailedMessage(std::string_view name);
std::string DeleteFailedMessage(std::string_view what);

// Whether a command refers to an environment variable (%NAME%), which Windows
// expands only in a value of the expandable type.
bool HasEnvironmentReference(std::string_view command);

}  // namespace vantorell::store
