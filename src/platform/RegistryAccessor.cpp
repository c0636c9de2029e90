#include "platform/RegistryAccessor.h"

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

std::string InvalidDataTypeMessage(std::string_view name) { return QuotedMessage("Invalid data type for", name); }

void RegistryAccessor::SetRoot(Hive hive, RegView view) {
    CloseKey();
    root_ = hive;
    view_ = view;
}

bool RegistryAccessor::OpenKey(std::string_view path, bool create) {
    auto key = platform_.OpenKey(root_, Relative(path), create, KeyAccess::Full, view_);
    if (!key) return false;
    CloseKey();
    key_ = std::move(key);
    path_ = std::string(Relative(path));
    return true;
}

bool RegistryAccessor::OpenKeyForListing(std::string_view path) {
    if (OpenKey(path, true)) return true;
    auto key = platform_.OpenKey(root_, Relative(path), false, KeyAccess::Read, view_);
    if (!key) return false;
    CloseKey();
    key_ = std::move(key);
    path_ = std::string(Relative(path));
    return true;
}

void RegistryAccessor::CloseKey() {
    if (!key_) return;
    key_->Flush();
    key_.reset();
    path_.clear();
}

bool RegistryAccessor::ValueExists(std::string_view name) { return key_ && key_->Query(name).has_value(); }

std::vector<std::string> RegistryAccessor::ValueNames() {
    if (!key_) return {};
    auto names = key_->ValueNames();
    return names ? std::move(*names) : std::vector<std::string>{};
}

std::string RegistryAccessor::ReadString(std::string_view name) {
    if (!key_) return {};
    auto value = key_->Query(name);
    if (!value || value->data.empty()) return {};
    if (!IsStringType(value->type)) throw AppError(InvalidDataTypeMessage(name));
    const auto nul = value->data.find('\0');
    return nul == std::string::npos ? value->data : value->data.substr(0, nul);
}

std::uint32_t RegistryAccessor::ReadInteger(std::string_view name) {
    auto value = key_ ? key_->Query(name) : std::nullopt;
    if (!value || StoredSize(*value) > 4) throw AppError(QuotedMessage("Failed to get data for", name));
    if (value->type != RegType::Dword) throw AppError(InvalidDataTypeMessage(name));
    std::uint32_t n = 0;
    std::memcpy(&n, value->data.data(), value->data.size());
    return n;
}

void RegistryAccessor::WriteString(std::string_view name, std::string_view text) {
    if (!key_ || !key_->Set(name, RegValue{RegType::Sz, std::string(text)}))
        throw AppError(QuotedMessage("Failed to set data for", name));
}

void RegistryAccessor::WriteInteger(std::string_view name, std::uint32_t value) {
    std::string bytes(4, '\0');
    std::memcpy(bytes.data(), &value, 4);
    if (!key_ || !key_->Set(name, RegValue{RegType::Dword, bytes}))
        throw AppError(QuotedMessage("Failed to set data for", name));
}

bool RegistryAccessor::DeleteValue(std::string_view name) { return key_ && key_->Delete(name); }

}  // namespace vantorell::platform
