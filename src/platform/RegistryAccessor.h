// Registry keys for the portable code. Keys are opened with full access and
// created when missing; closing a key flushes it first. Read and write failures
// the user must see throw AppError with the texts "Invalid data type for '%s'",
// "Failed to get data for '%s'" and "Failed to set data for '%s'".
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Platform.h"

namespace vantorell::platform {

// One open registry key, owned: flushed and closed when its owner goes. The
// reads and writes are those of RegistryAccessor, with the same error texts.
class RegistryKey {
public:
    // Opens `path` (a leading backslash dropped) of `hive` in registry view
    // `view` with full access, creating missing keys when `create` is set;
    // nullopt when it cannot be opened.
    static std::optional<RegistryKey> Open(Platform& platform, Hive hive, std::string_view path, bool create,
                                           RegView view = RegView::Bits64);
    // As Open with `create`, but when full access is refused (a user without
    // rights to the machine hive) the key is opened for reading, so its values
    // can be listed.
    static std::optional<RegistryKey> OpenForListing(Platform& platform, Hive hive, std::string_view path,
                                                     RegView view = RegView::Bits64);

    RegistryKey(RegistryKey&&) noexcept = default;
    RegistryKey& operator=(RegistryKey&& other) noexcept;
    RegistryKey(const RegistryKey&) = delete;
    RegistryKey& operator=(const RegistryKey&) = delete;
    ~RegistryKey() { Close(); }

    bool ValueExists(std::string_view name);
    // Names in enumeration order; empty when they cannot be read.
    std::vector<std::string> ValueNames();
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

private:
    explicit RegistryKey(std::unique_ptr<RegKey> key) : key_(std::move(key)) {}
    void Close();
    void Write(std::string_view name, RegValue value);

    std::unique_ptr<RegKey> key_;  // null only once moved from
};

// The registry accessor the main window owns: one current hive, at most one
// open key at a time.
class RegistryAccessor {
public:
    explicit RegistryAccessor(Platform& platform) : platform_(platform) {}
    RegistryAccessor(const RegistryAccessor&) = delete;
    RegistryAccessor& operator=(const RegistryAccessor&) = delete;
    ~RegistryAccessor() { CloseKey(); }

    Hive Root() const { return root_; }
    RegView View() const { return view_; }
    // Closes any open key, then makes `hive`, in registry view `view`, current.
    void SetRoot(Hive hive, RegView view = RegView::Bits64);
    // Opens `path` (a leading backslash dropped) with full access, creating
    // missing keys when `create` is set. On success the key replaces the open one.
    bool OpenKey(std::string_view path, bool create);
    // As OpenKey, but when full access is refused (a user without rights to the
    // machine hive) the key is opened for reading, so its values can be listed.
    bool OpenKeyForListing(std::string_view path);
    void CloseKey();
    bool HasOpenKey() const { return key_.has_value(); }
    const std::string& CurrentPath() const { return path_; }

    // RegistryKey's reads and writes, on the open key. With none open, a value
    // is not there, a read gives nothing (ReadInteger throws "Failed to get
    // data for '%s'") and a write throws "Failed to set data for '%s'".
    bool ValueExists(std::string_view name);
    std::vector<std::string> ValueNames();
    std::string ReadString(std::string_view name);
    std::uint32_t ReadInteger(std::string_view name);
    void WriteString(std::string_view name, std::string_view text);
    void WriteExpandString(std::string_view name, std::string_view text);
    void WriteInteger(std::string_view name, std::uint32_t value);
    bool DeleteValue(std::string_view name);

private:
    // Makes `key` the open key, when it opened.
    bool Replace(std::optional<RegistryKey> key, std::string_view path);

    Platform& platform_;
    Hive root_ = Hive::CurrentUser;
    RegView view_ = RegView::Bits64;
    std::optional<RegistryKey> key_;
    std::string path_;
};

std::string InvalidDataTypeMessage(std::string_view name);
// "<prefix> '<what>'", the form of every registry error text.
std::string QuotedMessage(std::string_view prefix, std::string_view what);

// Closes the accessor's key when a registry use ends, however it ends.
class KeyCloser {
public:
    explicit KeyCloser(RegistryAccessor& registry) : registry_(registry) {}
    KeyCloser(const KeyCloser&) = delete;
    KeyCloser& operator=(const KeyCloser&) = delete;
    ~KeyCloser() { registry_.CloseKey(); }

private:
    RegistryAccessor& registry_;
};

}  // namespace vantorell::platform
