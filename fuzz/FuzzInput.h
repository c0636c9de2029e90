// Helpers shared by the fuzz targets.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

namespace vantorell::fuzz {

inline std::string_view Bytes(const std::uint8_t* data, std::size_t size) {
    return {reinterpret_cast<const char*>(data), size};
}

// Splits the input at NUL bytes: one argument per piece.
inline std::vector<std::string> SplitAtNul(std::string_view input) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    while (start <= input.size()) {
        const auto end = input.find('\0', start);
        parts.emplace_back(input.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start));
        if (end == std::string_view::npos) break;
        start = end + 1;
    }
    return parts;
}

// A broken promise of the code under test: abort, so libFuzzer keeps the input.
inline void Check(bool ok) {
    if (!ok) std::abort();
}

}  // namespace vantorell::fuzz
