// The registry accessor the main window owns: one current hive, at most one
// open key. Keys are opened with full access and created when missing; closing
// a key flushes it first. Read and write failures the user must see throw
// AppError with the texts "Invalid data type for '%s'", "Failed to get data for
// '%s'" and "Failed to set data for '%s'".
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Platform.h"

namespace vantorell::platform {

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
    bool HasOpenKey() const { return key_ != nullptr; }
    const std::string& CurrentPath() const { return path_; }

    bool ValueExists(std::string_view name);
    // Names in enumeration order; empty when no key is open or it cannot be read.
    std::vector<std::string> ValueNames();
    // Plain and expandable strings as stored (never expanded), cut at the first
    // NUL; empty for a missing or empty value. A non-empty value of another type
    // throws "Invalid data type for '%s'".
    std::string ReadString(std::string_view name);
    std::uint32_t ReadInteger(std::string_view name);
    void WriteString(std::string_view name, std::string_view text);
    void WriteInteger(std::string_view name, std::uint32_t value);
    bool DeleteValue(std::string_view name);

private:
    Platform& platform_;
    Hive root_ = Hive::CurrentUser;
    RegView view_ = RegView::Bits64;
    std::unique_ptr<RegKey> key_;
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
