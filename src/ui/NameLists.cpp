#include "ui/NameLists.h"

#include <algorithm>
#include <stdexcept>

namespace vantorell::ui {

namespace {

char AsciiUpper(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

bool IsAscii(std::string_view text) {
    return std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

// Whether the platform folds every ASCII character as AsciiUpper does.
bool FoldsAsciiAsUpper(platform::Locale& locale) {
    std::string ascii;
    for (char c = 1; c < 0x7F; ++c) ascii += c;
    std::string upper = ascii;
    std::transform(upper.begin(), upper.end(), upper.begin(), AsciiUpper);
    return locale.FoldCase(ascii) == upper;
}

}  // namespace

NameList::NameList(platform::Locale& locale, std::span<const std::string_view> items)
    : locale_(&locale), size_(items.size()) {
    for (const std::string_view item : items) {
        if (item.size() > 0xFF) throw std::length_error("A name of a rating list is longer than 255 bytes");
        own_ += static_cast<char>(item.size());
        own_ += item;
    }
    Build(items.size());
}

NameList::NameList(platform::Locale& locale, const PackedNames& items) : locale_(&locale), size_(items.size()) {
    packed_ = items.Bytes();
    Build(items.size());
}

void NameList::Build(std::size_t count) {
    const std::string_view packed = Packed();
    asciiAsUpper_ = count > 0 && FoldsAsciiAsUpper(*locale_);
    const bool asciiAsUpper = asciiAsUpper_;
    index_.reserve(count);
    for (std::size_t at = 0; at < packed.size(); at += 1 + static_cast<unsigned char>(packed[at])) {
        const std::string_view name = packed.substr(at + 1, static_cast<unsigned char>(packed[at]));
        if (asciiAsUpper && IsAscii(name)) {
            index_.push_back(static_cast<std::uint32_t>(at));
            continue;
        }
        const std::string folded = locale_->FoldCase(name);
        if (folded.size() > 0xFF) throw std::length_error("A folded name of a rating list is longer than 255 bytes");
        index_.push_back(static_cast<std::uint32_t>(folded_.size()) | kFoldedBit);
        folded_ += static_cast<char>(folded.size());
        folded_ += folded;
    }
    std::sort(index_.begin(), index_.end(),
              [this](std::uint32_t a, std::uint32_t b) { return Compare(At(a), At(b)) < 0; });
}

NameList::Name NameList::At(std::uint32_t slot) const {
    const bool folded = (slot & kFoldedBit) != 0;
    const std::string_view bytes = folded ? std::string_view(folded_) : Packed();
    const std::size_t at = slot & ~kFoldedBit;
    return Name{bytes.substr(at + 1, static_cast<unsigned char>(bytes[at])), !folded};
}

// Orders by the folded bytes, as unsigned bytes.
int NameList::Compare(const Name& a, const Name& b) {
    const std::size_t n = std::min(a.bytes.size(), b.bytes.size());
    for (std::size_t i = 0; i < n; ++i) {
        const auto ca = static_cast<unsigned char>(a.asciiFold ? AsciiUpper(a.bytes[i]) : a.bytes[i]);
        const auto cb = static_cast<unsigned char>(b.asciiFold ? AsciiUpper(b.bytes[i]) : b.bytes[i]);
        if (ca != cb) return ca < cb ? -1 : 1;
    }
    return a.bytes.size() < b.bytes.size() ? -1 : a.bytes.size() > b.bytes.size() ? 1 : 0;
}

std::string NameList::Fold(std::string_view name) const {
    // Names of ASCII are folded here as the platform folds them (checked in
    // Build), without a call into it for each of thousands of names.
    if (asciiAsUpper_ &&
        std::all_of(name.begin(), name.end(), [](char c) { return c > 0 && static_cast<unsigned char>(c) < 0x7F; })) {
        std::string folded(name);
        for (char& c : folded) c = AsciiUpper(c);
        return folded;
    }
    return locale_->FoldCase(name);
}

bool NameList::ContainsFolded(std::string_view folded) const {
    const Name key{folded, false};
    const auto it = std::lower_bound(index_.begin(), index_.end(), key,
                                     [this](std::uint32_t slot, const Name& k) { return Compare(At(slot), k) < 0; });
    return it != index_.end() && Compare(At(*it), key) == 0;
}

NameLists NameLists::Builtin(platform::Locale& locale) {
    return NameLists{NameList(locale, RedListNames()), NameList(locale, BlueListNames()),
                     NameList(locale, GreenListNames())};
}

std::string_view NameLists::Rate(std::span<const std::string> keys) const {
    std::vector<std::string> folded;
    folded.reserve(keys.size());
    for (const auto& key : keys) folded.push_back(GPL.Fold(key));
    const auto anyIn = [&folded](const NameList& list) {
        return std::any_of(folded.begin(), folded.end(),
                           [&list](const std::string& key) { return list.ContainsFolded(key); });
    };
    if (anyIn(GPL)) return kRatingGreen;
    if (anyIn(UPL)) return kRatingBlue;
    if (anyIn(BPL)) return kRatingRed;
    return kRatingNone;
}

}  // namespace vantorell::ui
