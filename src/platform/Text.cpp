#include "platform/Text.h"

#include <algorithm>
#include <numeric>

#include "platform/Errors.h"

namespace vantorell::text {

std::string DecodeFileText(platform::Locale& locale, std::string_view bytes) {
    if (IsValidUtf8(bytes)) {
        if (bytes.substr(0, 3) == "\xEF\xBB\xBF") bytes.remove_prefix(3);
        return std::string(bytes);
    }
    return locale.AnsiToUtf8(bytes);
}

std::vector<std::string> LoadLines(platform::Files& files, platform::Locale& locale, std::string_view path) {
    auto read = files.ReadFile(path);
    switch (read.outcome) {
        case platform::ReadOutcome::NotFound: return {};
        case platform::ReadOutcome::Failed:
            throw AppError("Cannot read the file \"" + std::string(path) + "\": " + read.message);
        case platform::ReadOutcome::Ok: break;
    }
    return SplitLines(DecodeFileText(locale, read.bytes));
}

void SaveLines(platform::Files& files, std::string_view path, const std::vector<std::string>& lines) {
    if (auto st = files.WriteFileAtomic(path, JoinLines(lines)); !st)
        throw AppError("Cannot write the file \"" + std::string(path) + "\": " + st.message);
}

std::vector<int> OrderNoCase(platform::Locale& locale, const std::vector<const std::string*>& names) {
    std::vector<int> order(names.size());
    std::iota(order.begin(), order.end(), 0);
    std::vector<std::string> keys;
    keys.reserve(names.size());
    for (const std::string* name : names) {
        auto key = locale.SortKeyNoCase(*name);
        if (!key) break;
        keys.push_back(std::move(*key));
    }
    if (keys.size() == names.size()) {
        std::stable_sort(order.begin(), order.end(), [&](int a, int b) { return keys[a] < keys[b]; });
    } else {
        std::stable_sort(order.begin(), order.end(), [&](int a, int b) {
            const std::string& x = *names[a];
            const std::string& y = *names[b];
            return x != y && locale.CompareNoCase(x, y) < 0;
        });
    }
    return order;
}

void SortNoCase(platform::Locale& locale, std::vector<std::string>& names) {
    // Lists read back from a file were saved sorted: one comparison per name
    // tells, where a sort key per name would cost several times as much.
    if (std::is_sorted(names.begin(), names.end(), [&locale](const std::string& a, const std::string& b) {
            return locale.CompareNoCase(a, b) < 0;
        }))
        return;
    std::vector<const std::string*> refs;
    refs.reserve(names.size());
    for (const auto& n : names) refs.push_back(&n);
    const auto order = OrderNoCase(locale, refs);
    std::vector<std::string> sorted;
    sorted.reserve(names.size());
    for (int i : order) sorted.push_back(std::move(names[i]));
    names = std::move(sorted);
}

}  // namespace vantorell::text
