#include "platform/Errors.h"
#include "platform/Text.h"
#include "store/PlaceKinds.h"

namespace vantorell::store {
namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

// The items of a list text, each as its span of bytes.
struct ListText {
    struct Span {
        std::size_t begin, end;
    };
    std::string_view text;
    std::vector<Span> items;
    bool emptyItem = false;  // two commas with nothing between, or a comma first

    std::string_view Item(std::size_t k) const { return text.substr(items[k].begin, items[k].end - items[k].begin); }
};

// Items are separated by a comma with blanks around it, or, where blanks
// separate too, by any run of blanks holding at most one comma. One comma
// after the last item is allowed (Windows writes Userinit that way).
ListText SplitList(std::string_view text, bool blankSeparated) {
    ListText list{text, {}, false};
    int commas = 0;
    for (std::size_t i = 0; i < text.size();) {
        if (text[i] == ',') {
            if (++commas > 1 || list.items.empty()) list.emptyItem = true;
            ++i;
            continue;
        }
        if (IsBlank(text[i])) {
            ++i;
            continue;
        }
        const std::size_t begin = i;
        while (i < text.size() && text[i] != ',' && !(blankSeparated && IsBlank(text[i]))) ++i;
        std::size_t end = i;
        while (end > begin && IsBlank(text[end - 1])) --end;
        list.items.push_back({begin, end});
        commas = 0;
    }
    return list;
}

// Where an item stood: its index, and the separator taken out with it, after
// it ('a') or before it ('b'). Written as "INDEX SIDESEPARATOR".
struct ItemPlace {
    std::size_t index = 0;
    char side = 'a';
    std::string separator;
};

std::string PlaceText(const ItemPlace& at) {
    return text::ToDecimal(static_cast<int>(at.index)) + ' ' + at.side + at.separator;
}

ItemPlace ParsePlace(std::string_view where) {
    ItemPlace at;
    const std::size_t blank = where.find(' ');
    at.index = static_cast<std::size_t>(std::max(0, RecordNumber(where.substr(0, blank))));
    if (blank != std::string_view::npos && blank + 1 < where.size()) {
        at.side = where[blank + 1] == 'b' ? 'b' : 'a';
        at.separator = std::string(where.substr(blank + 2));
    } else {
        at.index = static_cast<std::size_t>(-1);  // no place recorded: at the end
    }
    return at;
}

// The text without item k, and where it stood. The separator after the item
// goes with it; the one before it when it is last; the rest stays byte for byte.
std::string WithoutItem(const ListText& list, std::size_t k, ItemPlace& at) {
    const auto& items = list.items;
    const std::size_t begin = items[k].begin, end = items[k].end;
    std::size_t cutFrom = begin, cutTo = end;
    at = {k, 'a', {}};
    if (k + 1 < items.size() || end < list.text.size()) {
        cutTo = k + 1 < items.size() ? items[k + 1].begin : list.text.size();
        at.separator = std::string(list.text.substr(end, cutTo - end));
    } else if (k > 0) {
        cutFrom = items[k - 1].end;
        at.side = 'b';
        at.separator = std::string(list.text.substr(cutFrom, begin - cutFrom));
    }
    std::string rest(list.text.substr(0, cutFrom));
    rest.append(list.text.substr(cutTo));
    return rest;
}

// The text with `item` put back where it stood, as near as the list allows.
std::string WithItem(const ListText& list, std::string_view item, const ItemPlace& at, bool blankSeparated) {
    const std::string_view plainSeparator = blankSeparated ? " " : ",";
    const auto& items = list.items;
    const std::size_t count = items.size();
    std::size_t pos = list.text.size();
    std::string insert;
    if (at.side == 'b' && count > 0 && at.index > 0) {
        pos = items[std::min(at.index, count) - 1].end;
        insert.append(at.separator.empty() ? plainSeparator : std::string_view(at.separator)).append(item);
    } else if (at.index < count) {
        pos = items[at.index].begin;
        insert.append(item).append(at.separator.empty() ? plainSeparator : std::string_view(at.separator));
    } else {
        // At the end: after the separator that ends the text, or after one of its own.
        const bool separated = count == 0 || items.back().end < list.text.size();
        if (!separated) insert.append(plainSeparator);
        insert.append(item).append(at.separator);
    }
    std::string text(list.text);
    text.insert(pos, insert);
    return text;
}

std::string EmptyItemMessage(std::string_view valueName) {
    return "'" + std::string(valueName) +
           "' holds an empty item (two commas with nothing between them): Vantorell changes no list it cannot "
           "read whole";
}

std::string NotAListMessage(std::string_view valueName) {
    return platform::InvalidDataTypeMessage(valueName) + ": a list of programs must be a string value";
}

}  // namespace

namespace {

// The list value of a place, read whole for a change.
struct ListValue {
    std::optional<platform::RegistryKey> key;
    platform::RegValue value;
    std::string text;
    ListText list;
    bool present = false;
};

// The index of item `name`: the same text, else the same without regard to case.
std::optional<std::size_t> FindItem(platform::Locale& locale, const ListText& list, std::string_view name) {
    for (std::size_t k = 0; k < list.items.size(); ++k)
        if (list.Item(k) == name) return k;
    for (std::size_t k = 0; k < list.items.size(); ++k)
        if (locale.CompareNoCase(list.Item(k), name) == 0) return k;
    return std::nullopt;
}

}  // namespace

void ListItemsPlace::AppendItems(std::vector<StartupEntry>& entries) {
    auto key = OpenExisting();
    if (!key) return;
    const auto value = key->Query(location_.valueName);
    if (!value) return;
    const auto text = platform::StringData(*value);
    if (!text) {
        // Not a list Windows can read; shown, so that it is seen.
        entries.push_back(ActiveEntry(std::string(location_.valueName), location_, {}));
        return;
    }
    const ListText list = SplitList(*text, location_.blankSeparated);
    for (std::size_t k = 0; k < list.items.size(); ++k) {
        const std::string item(list.Item(k));
        if (!IsWindowsItem(item)) entries.push_back(ActiveEntry(item, location_, item));
    }
}

std::string ListItemsPlace::CommandOf(const ItemRef& item) {
    const std::string& name = item.name;
    std::vector<StartupEntry> entries;
    AppendItems(entries);
    for (const StartupEntry& e : entries)
        if (e.name == name) return e.command;
    return {};
}

PlaceItem ListItemsPlace::Read(const ItemRef& ref, bool /*presenceOnly*/) {
    const std::string& name = ref.name;
    PlaceItem item;
    const auto value = ReadValue();
    if (!value) return item;
    const auto text = platform::StringData(*value);
    if (!text) throw AppError(NotAListMessage(location_.valueName));
    const ListText list = SplitList(*text, location_.blankSeparated);
    if (list.emptyItem) throw AppError(EmptyItemMessage(location_.valueName));
    const auto k = FindItem(store_.Facets().locale, list, name);
    if (!k) return item;
    ItemPlace at;
    const std::string rest = WithoutItem(list, *k, at);
    if (!location_.windowsItem.empty()) {
        // Windows cannot log on without its own item: the list must keep one.
        const ListText left = SplitList(rest, location_.blankSeparated);
        bool kept = false;
        for (std::size_t i = 0; i < left.items.size() && !kept; ++i) kept = IsWindowsItem(left.Item(i));
        if (!kept)
            throw AppError("Taking '" + name + "' out would leave no " +
                           std::string(location_.windowsItem.substr(location_.windowsItem.find_last_of('\\') + 1)) +
                           " in " + std::string(location_.valueName) +
                           ", and Windows could not log on: Vantorell leaves it as it is");
    }
    item.present = true;
    item.command = std::string(list.Item(*k));
    item.arguments = OriginText({value->type, PlaceText(at)});
    return item;
}

void ListItemsPlace::TakeOut(const ItemRef& ref) {
    const std::string& name = ref.name;
    const PlaceItem item = Read(ref, false);  // throws for a list it cannot change
    if (!item.present) return;
    auto key = OpenExisting();
    if (!key) throw AppError(DeleteFailedMessage(name));
    const auto value = key->Query(location_.valueName);
    const auto text = value ? platform::StringData(*value) : std::nullopt;
    if (!text) throw AppError(DeleteFailedMessage(name));
    const ListText list = SplitList(*text, location_.blankSeparated);
    const auto k = FindItem(store_.Facets().locale, list, name);
    if (!k) throw AppError(DeleteFailedMessage(name));
    ItemPlace at;
    // Whatever follows a NUL in the data is kept as it is, too.
    const std::string data = WithoutItem(list, *k, at) + value->data.substr(text->size());
    key->Write(location_.valueName, {value->type, data});
    const auto written = key->Query(location_.valueName);
    if (!written || written->data != data) throw AppError(DeleteFailedMessage(name));
}

void ListItemsPlace::PutBack(const StartupRecord& record) {
    const ValueOrigin origin = ParseOrigin(record.arguments);
    auto key = platform::RegistryKey::Open(store_.Facets().registry, location_.hive, location_.keyOrFolderValue, true,
                                           location_.view);
    if (!key) throw AppError(WriteFailedMessage(location_.valueName));
    const auto value = key->Query(location_.valueName);
    std::string text, tail;
    std::uint32_t type = origin.type;
    if (value) {
        const auto current = platform::StringData(*value);
        if (!current) throw AppError(NotAListMessage(location_.valueName));
        text = *current;
        tail = value->data.substr(text.size());
        type = value->type;
    }
    const ListText list = SplitList(text, location_.blankSeparated);
    if (list.emptyItem) throw AppError(EmptyItemMessage(location_.valueName));
    if (FindItem(store_.Facets().locale, list, record.command)) return;  // back already
    const std::string with = WithItem(list, record.command, ParsePlace(origin.where), location_.blankSeparated);
    key->Write(location_.valueName, {type, with + tail});
}

std::optional<std::string> ListItemsPlace::Refusal(PlaceChange change, std::string_view name,
                                                   std::string_view command) const {
    if (TakesOut(change) && IsWindowsItem(name)) return WindowsItemMessage(name);
    return ValueItemPlace::Refusal(change, name, command);
}

}  // namespace vantorell::store
