// Registry keys for the portable code: each use opens the key it needs and
// owns it until it goes; there is no shared "current key". Keys are opened
// with full access and created when missing; closing a key flushes it first.
// Read and write failures the user must see throw AppError with the texts
// "Invalid data type for '%s'", "Failed to get data for '%s'" and "Failed to
// set data for '%s'".
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Registry.h"

namespace vantorell::platform {

// The text of a string value (plain or expandable) as stored, cut at its first
// NUL; nullopt for a value of another type.
std::optional<std::string> StringData(const RegValue& value);

// One open registry key, owned: flushed and closed when its owner goes. A key
// moved away from holds none: its values are not there, its reads give
// nothing (ReadInteger throws) and its writes throw.
class RegistryKey {
public:
    // Opens `path` (a leading backslash dropped) of `hive` in registry view
    // `view` with full access, creating missing keys when `create` is set;
    // nullopt when it cannot be opened.
    static std::optional<RegistryKey> Open(Registry& registry, Hive hive, std::string_view path, bool create,
                                           RegView view = RegView::Bits64);
    // As Open with `create`, but when full access is refused (a user without
    // rights to the machine hive) the key is opened for reading, so its values
    // can be listed.
    static std::optional<RegistryKey> OpenForListing(Registry& registry, Hive hive, std::string_view path,
                                                     RegView view = RegView::Bits64);

    // As OpenForListing, without creating a key that is not there.
    static std::optional<RegistryKey> OpenExisting(Registry& registry, Hive hive, std::string_view path,
                                                   RegView view = RegView::Bits64);

    RegistryKey(RegistryKey&&) noexcept = default;
    RegistryKey& operator=(RegistryKey&& other) noexcept;
    RegistryKey(const RegistryKey&) = delete;
    RegistryKey& operator=(const RegistryKey&) = delete;
    ~RegistryKey() { Close(); }

    bool ValueExists(std::string_view name);
    // Names in enumeration order; empty when they cannot be read.
    std::vector<std::string> ValueNames();
    // Every value with its data (none when they cannot be enumerated).
    std::vector<std::pair<std::string, RegValue>> Values();
    // Plain and expandable strings as stored (never expanded), cut at the first
    // NUL; empty for a missing or empty value. A non-empty value of another type
    // throws "Invalid data type for '%s'".
    std::string ReadString(std::string_view name);
    std::uint32_t ReadInteger(std::string_view name);
    void WriteString(std::string_view name, std::string_view text);
    // As WriteString, as an expandable string (REG_EXPAND_SZ).
    void WriteExpandString(std::string_view name, std::string_view text);
    void WriteInteger(std::string_view name, std::uint32_t value);
    bool DeleteValue(std::string_view name);
    // The value as stored, of any type; nullopt when it is missing or cannot be read.
    std::optional<RegValue> Query(std::string_view name);
    // Writes a value of any type; throws "Failed to set data for '%s'".
    void Write(std::string_view name, RegValue value);
    // Sub-key names in enumeration order; empty when they cannot be read.
    std::vector<std::string> SubKeyNames();

private:
    explicit RegistryKey(std::unique_ptr<RegKey> key) : key_(std::move(key)) {}
    // Full access where this process has it (creating the key when `create`;
    // a refusal is no refused change), else read access.
    static std::optional<RegistryKey> OpenOrRead(Registry& registry, Hive hive, std::string_view path, RegView view,
                                                 bool create);
    void Close();

    std::unique_ptr<RegKey> key_;  // null only once moved from
};

std::string InvalidDataTypeMessage(std::string_view name);
// "<prefix> '<what>'", the form of every registry error text.
std::string QuotedMessage(std::string_view prefix, std::string_view what);

}  // namespace vantorell::platform
