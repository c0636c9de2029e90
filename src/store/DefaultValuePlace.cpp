#include "platform/Errors.h"
#include "store/PlaceKinds.h"

namespace vantorell::store {
namespace {

bool IsBlankText(std::string_view text) {
    return text.find_first_not_of(" \t") == std::string_view::npos;
}

}  // namespace

void DefaultValuePlace::AppendItems(std::vector<StartupEntry>& entries) {
    auto key = OpenExisting();
    if (!key) return;
    const auto value = key->Query(location_.valueName);
    if (!value) return;
    const std::string name(location_.valueName);
    const auto text = platform::StringData(*value);
    if (!text) {
        entries.push_back(ActiveEntry(name, location_, {}));  // not a text Windows can start; shown, so that it is seen
        return;
    }
    if (IsBlankText(*text) || IsWindowsItem(*text)) return;
    entries.push_back(ActiveEntry(name, location_, *text));
}

std::string DefaultValuePlace::CommandOf(const ItemRef& item) {
    const std::string& name = item.name;
    std::vector<StartupEntry> entries;
    AppendItems(entries);
    return !entries.empty() && store_.Facets().locale.CompareNoCase(entries[0].name, name) == 0 ? entries[0].command
                                                                                                : std::string();
}

PlaceItem DefaultValuePlace::Read(const ItemRef& ref, bool /*presenceOnly*/) {
    const std::string& name = ref.name;
    PlaceItem item;
    if (store_.Facets().locale.CompareNoCase(name, location_.valueName) != 0) return item;
    const auto value = ReadValue();
    if (!value) return item;
    const auto text = platform::StringData(*value);
    if (!text) throw AppError(platform::InvalidDataTypeMessage(location_.valueName));
    if (IsBlankText(*text)) return item;
    if (IsWindowsItem(*text)) throw AppError(WindowsItemMessage(*text));
    item.present = true;
    item.command = *text;
    item.arguments = OriginText({value->type, {}});
    return item;
}

void DefaultValuePlace::TakeOut(const ItemRef& ref) {
    const std::string& name = ref.name;
    auto key = OpenExisting();
    if (!key) throw AppError(DeleteFailedMessage(name));
    if (location_.windowsDefault.empty()) {
        if (!key->DeleteValue(location_.valueName) && key->Query(location_.valueName))
            throw AppError(DeleteFailedMessage(location_.valueName));
        return;
    }
    const platform::RegValue windows{platform::RegType::Sz, std::string(location_.windowsDefault)};
    key->Write(location_.valueName, windows);
}

void DefaultValuePlace::PutBack(const StartupRecord& record) {
    auto key = platform::RegistryKey::Open(store_.Facets().registry, location_.hive, location_.keyOrFolderValue, true,
                                           location_.view);
    if (!key) throw AppError(WriteFailedMessage(location_.valueName));
    // Only Windows' own value, or none, gives way: another program's would be lost.
    if (const auto value = key->Query(location_.valueName)) {
        const auto text = platform::StringData(*value);
        if (!text || (*text != record.command && !IsBlankText(*text) && !IsWindowsItem(*text)))
            throw AppError("'" + std::string(location_.valueName) + "' (" + std::string(location_.code) +
                           ") holds another program now: take that out first, so that it is not lost");
    }
    key->Write(location_.valueName, {ParseOrigin(record.arguments).type, record.command});
}

std::optional<std::string> DefaultValuePlace::Refusal(PlaceChange change, std::string_view name,
                                                      std::string_view command) const {
    if (TakesOut(change) && IsWindowsItem(command)) return WindowsItemMessage(command);
    return ValueItemPlace::Refusal(change, name, command);
}

}  // namespace vantorell::store
