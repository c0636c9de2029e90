// The registry facet of the platform: keys of the user's and the machine's
// hives, in either registry view.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace vantorell::platform {

enum class Hive { CurrentUser, LocalMachine };
// Full: to change the key; a refusal counts as access denied (Processes::AccessDeniedCount).
// FullToList: full access where this process has it, for a key opened to list
// its values; a refusal is no refused change and is not counted. Read: reading only.
enum class KeyAccess { Full, FullToList, Read };
// Which registry view of HKEY_LOCAL_MACHINE\Software a key is opened in. On
// 64-bit Windows, Bits64 is the native view and Bits32 the one 32-bit programs
// see by default; on 32-bit Windows there is one view and both name it. A
// 32-bit build asks for Bits64 too, so that every program of the machine is
// seen the same way whichever build runs.
enum class RegView { Bits64, Bits32 };

// Registry value types, numbered as Windows numbers them.
namespace RegType {
inline constexpr std::uint32_t None = 0;
inline constexpr std::uint32_t Sz = 1;
inline constexpr std::uint32_t ExpandSz = 2;
inline constexpr std::uint32_t Binary = 3;
inline constexpr std::uint32_t Dword = 4;
inline constexpr std::uint32_t MultiSz = 7;
inline constexpr std::uint32_t Qword = 11;
}  // namespace RegType

inline bool IsStringType(std::uint32_t type) {
    return type == RegType::Sz || type == RegType::ExpandSz;
}

// A value as stored. For Sz/ExpandSz, `data` is the text in UTF-8, converted in
// full: embedded NULs and terminating NULs are kept as they are stored. For
// every other type, `data` holds the raw bytes.
struct RegValue {
    std::uint32_t type = RegType::Sz;
    std::string data;
};

// One open registry key. Closing (destruction) releases it; Flush writes it to disk.
class RegKey {
public:
    virtual ~RegKey() = default;
    // Names in the registry's enumeration order; the default value has the empty
    // name. nullopt when the key's values cannot be enumerated.
    virtual std::optional<std::vector<std::string>> ValueNames() = 0;
    virtual std::optional<RegValue> Query(std::string_view name) = 0;
    // Every value with its data, in the enumeration order; nullopt when the
    // key's values cannot be enumerated. A value that goes away meanwhile is
    // left out. The system may do this in one call per value instead of two.
    virtual std::optional<std::vector<std::pair<std::string, RegValue>>> Values() = 0;
    virtual bool Set(std::string_view name, const RegValue& value) = 0;
    virtual bool Delete(std::string_view name) = 0;
    virtual void Flush() = 0;
    // The names of the key's sub-keys, in the registry's enumeration order;
    // nullopt when they cannot be enumerated.
    virtual std::optional<std::vector<std::string>> SubKeyNames() = 0;
};

class Registry {
public:
    // `path` is relative to the hive; a leading backslash is dropped by the
    // caller. nullptr when the key cannot be opened (or created).
    virtual std::unique_ptr<RegKey> OpenKey(Hive hive, std::string_view path, bool create, KeyAccess access,
                                            RegView view = RegView::Bits64) = 0;
    // True on 64-bit Windows, where the machine hive has a 32-bit view of its own.
    virtual bool HasTwoRegistryViews() = 0;

protected:
    ~Registry() = default;
};

}  // namespace vantorell::platform
