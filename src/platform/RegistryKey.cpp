#include "platform/RegistryKey.h"

#include <cstring>

#include "platform/Errors.h"

namespace vantorell::platform {
namespace {

std::string_view Relative(std::string_view path) {
    if (!path.empty() && path.front() == '\\') path.remove_prefix(1);
    return path;
}

// The size the value's data has in the registry: strings are stored as UTF-16
// with a terminating NUL.
std::size_t StoredSize(const RegValue& v) {
    if (!IsStringType(v.type)) return v.data.size();
    std::size_t units = 1;
    for (unsigned char c : v.data) {
        if ((c & 0xC0) != 0x80) units += (c >= 0xF0) ? 2 : 1;
    }
    return units * 2;
}

}  // namespace

std::string QuotedMessage(std::string_view prefix, std::string_view what) {
    std::string text(prefix);
    text += " '";
    text += what;
    text += "'";
    return text;
}

std::string InvalidDataTypeMessage(std::string_view name) {
    return QuotedMessage("Invalid data type for", name);
}

std::optional<RegistryKey> RegistryKey::Open(Registry& registry, Hive hive, std::string_view path, bool create,
                                             RegView view) {
    auto key = registry.OpenKey(hive, Relative(path), create, KeyAccess::Full, view);
    if (!key) return std::nullopt;
    return RegistryKey(std::move(key));
}

std::optional<RegistryKey> RegistryKey::OpenOrRead(Registry& registry, Hive hive, std::string_view path, RegView view,
                                                   bool create) {
    if (auto key = registry.OpenKey(hive, Relative(path), create, KeyAccess::FullToList, view))
        return RegistryKey(std::move(key));
    auto key = registry.OpenKey(hive, Relative(path), false, KeyAccess::Read, view);
    if (!key) return std::nullopt;
    return RegistryKey(std::move(key));
}

std::optional<RegistryKey> RegistryKey::OpenForListing(Registry& registry, Hive hive, std::string_view path,
                                                       RegView view) {
    return OpenOrRead(registry, hive, path, view, true);
}

std::optional<RegistryKey> RegistryKey::OpenExisting(Registry& registry, Hive hive, std::string_view path,
                                                     RegView view) {
    return OpenOrRead(registry, hive, path, view, false);
}

RegistryKey& RegistryKey::operator=(RegistryKey&& other) noexcept {
    if (this != &other) {
        Close();
        key_ = std::move(other.key_);
    }
    return *this;
}

void RegistryKey::Close() {
    if (!key_) return;
    key_->Flush();
    key_.reset();
}

bool RegistryKey::ValueExists(std::string_view name) {
    return key_ && key_->Query(name).has_value();
}

std::vector<std::string> RegistryKey::ValueNames() {
    auto names = key_ ? key_->ValueNames() : std::nullopt;
    return names ? std::move(*names) : std::vector<std::string>{};
}

std::vector<std::pair<std::string, RegValue>> RegistryKey::Values() {
    auto values = key_ ? key_->Values() : std::nullopt;
    return values ? std::move(*values) : std::vector<std::pair<std::string, RegValue>>{};
}

std::optional<std::string> StringData(const RegValue& value) {
    if (!IsStringType(value.type)) return std::nullopt;
    return value.data.substr(0, value.data.find('\0'));
}

std::string RegistryKey::ReadString(std::string_view name) {
    auto value = key_ ? key_->Query(name) : std::nullopt;
    if (!value || value->data.empty()) return {};
    auto text = StringData(*value);
    if (!text) throw AppError(InvalidDataTypeMessage(name));
    return std::move(*text);
}

std::uint32_t RegistryKey::ReadInteger(std::string_view name) {
    auto value = key_ ? key_->Query(name) : std::nullopt;
    if (!value || StoredSize(*value) > 4) throw AppError(QuotedMessage("Failed to get data for", name));
    if (value->type != RegType::Dword) throw AppError(InvalidDataTypeMessage(name));
    std::uint32_t n = 0;
    std::memcpy(&n, value->data.data(), value->data.size());
    return n;
}

void RegistryKey::Write(std::string_view name, RegValue value) {
    if (!key_ || !key_->Set(name, value)) throw AppError(QuotedMessage("Failed to set data for", name));
}

void RegistryKey::WriteString(std::string_view name, std::string_view text) {
    Write(name, RegValue{RegType::Sz, std::string(text)});
}

void RegistryKey::WriteExpandString(std::string_view name, std::string_view text) {
    Write(name, RegValue{RegType::ExpandSz, std::string(text)});
}

void RegistryKey::WriteInteger(std::string_view name, std::uint32_t value) {
    std::string bytes(4, '\0');
    std::memcpy(bytes.data(), &value, 4);
    Write(name, RegValue{RegType::Dword, bytes});
}

bool RegistryKey::DeleteValue(std::string_view name) {
    return key_ && key_->Delete(name);
}

std::optional<RegValue> RegistryKey::Query(std::string_view name) {
    return key_ ? key_->Query(name) : std::nullopt;
}

std::vector<std::string> RegistryKey::SubKeyNames() {
    auto names = key_ ? key_->SubKeyNames() : std::nullopt;
    return names ? std::move(*names) : std::vector<std::string>{};
}

}  // namespace vantorell::platform
