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
    std::string CommandOf(std::string_view name) override;
    PlaceItem Read(const std::string& name, bool presenceOnly) override;
    void TakeOut(const std::string& name) override;
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
    std::string CommandOf(std::string_view name) override;
    PlaceItem Read(const std::string& name, bool presenceOnly) override;
    void Keep(const StartupRecord& record) override;
    void TakeOut(const std::string& name) override;
    void PutBack(const StartupRecord& record) override;
    void Release(const StartupRecord& record) override;
    platform::WatchPlace Watched() override;

private:
    // The target of the shortcut `name` of `folder`; empty when it cannot be read.
    std::string Target(std::string_view folder, std::string_view name);
};

// Texts of the errors every kind reports, in the form of the registry's own.
std::string ReadFailedMessage(std::string_view name);
std::string WriteFailedMessage(std::string_view name);
std::string DeleteFailedMessage(std::string_view what);

// Whether a command refers to an environment variable (%NAME%), which Windows
// expands only in a value of the expandable type.
bool HasEnvironmentReference(std::string_view command);

}  // namespace vantorell::store
