#include "platform/Errors.h"
#include "platform/Text.h"
#include "store/PlaceKinds.h"

namespace vantorell::store {
namespace {

constexpr std::string_view kCurrentVersionKey = "Software\\Microsoft\\Windows NT\\CurrentVersion";
constexpr std::string_view kSystemRootValue = "SystemRoot";

std::string_view Unquoted(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
    if (text.size() >= 2 && text.front() == '"' && text.back() == '"') text = text.substr(1, text.size() - 2);
    return text;
}

struct TypeName {
    std::uint32_t type;
    std::string_view name;
};
constexpr TypeName kTypeNames[] = {{platform::RegType::Sz, "REG_SZ"}, {platform::RegType::ExpandSz, "REG_EXPAND_SZ"}};

}  // namespace

std::string OriginText(const ValueOrigin& origin) {
    std::string text(origin.type == platform::RegType::ExpandSz ? "REG_EXPAND_SZ" : "REG_SZ");
    if (!origin.where.empty()) text.append(" ").append(origin.where);
    return text;
}

ValueOrigin ParseOrigin(std::string_view text) {
    ValueOrigin origin;
    const std::size_t blank = text.find(' ');
    const std::string_view type = text.substr(0, blank);
    for (const TypeName& t : kTypeNames)
        if (type == t.name) origin.type = t.type;
    if (blank != std::string_view::npos) origin.where = std::string(text.substr(blank + 1));
    return origin;
}

std::optional<platform::RegistryKey> ValueItemPlace::OpenExisting(std::string_view subKey) {
    std::string path(location_.keyOrFolderValue);
    if (!subKey.empty()) path.append("\\").append(subKey);
    return platform::RegistryKey::OpenExisting(store_.Facets().registry, location_.hive, path, location_.view);
}

std::optional<platform::RegValue> ValueItemPlace::ReadValue() {
    auto key = OpenExisting();
    if (!key) return std::nullopt;
    auto value = key->Query(location_.valueName);
    if (!value && ValueListed(store_.Facets().locale, *key, location_.valueName))
        throw AppError(ReadFailedMessage(location_.valueName));
    return value;
}

bool ValueItemPlace::IsWindowsItem(std::string_view item) const {
    const std::string_view own = location_.windowsItem;
    if (own.empty()) return false;
    auto& system = store_.Facets();
    item = Unquoted(item);
    const std::string_view fileName = own.substr(own.find_last_of('\\') + 1);
    if (system.locale.CompareNoCase(item, fileName) == 0) return true;
    // Or the full path under the Windows folder, named as Windows names it.
    std::vector<std::string> roots{"%SystemRoot%", "%windir%"};
    if (auto key =
            platform::RegistryKey::OpenExisting(system.registry, platform::Hive::LocalMachine, kCurrentVersionKey)) {
        if (auto root = key->Query(kSystemRootValue); root && platform::StringData(*root))
            roots.push_back(*platform::StringData(*root));
    }
    for (const std::string& root : roots)
        if (!root.empty() && system.locale.CompareNoCase(item, text::JoinPath(root, own)) == 0) return true;
    return false;
}

std::string ValueItemPlace::WindowsItemMessage(std::string_view item) const {
    return "'" + std::string(item) + "' is Windows' own " + std::string(location_.valueName) +
           ": Windows cannot log on without it, so Vantorell does not take it out";
}

std::optional<std::string> ValueItemPlace::Refusal(PlaceChange change, std::string_view name,
                                                   std::string_view /*command*/) const {
    if (change == PlaceChange::HandOver)
        return "Confirm startup and Startup delay are not available for '" + std::string(name) + "' (" +
               std::string(location_.code) +
               "): Windows starts it before or outside the shell, where Vantorell cannot start it in its stead. "
               "It can be switched off and on";
    if (change == PlaceChange::AutoTakeOut && location_.reportComebacks)
        return "'" + std::string(name) + "' came back into " + std::string(location_.valueName) +
               "; Vantorell reports it and leaves taking it out to you";
    return std::nullopt;
}

}  // namespace vantorell::store
