// What the facets of the in-memory platform share beyond MemoryPlatform.h:
// its case folding (MemoryLocale.cpp), which registry names and file paths
// use too, and the registry's keys, which the world makes and ends.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "platform/memory/MemoryPlatform.h"

namespace vantorell::platform::memory {

// Lower case for the scripts the stand-in needs: Latin, Greek, Cyrillic.
std::string FoldUtf8(std::string_view text);

}  // namespace vantorell::platform::memory

namespace vantorell::platform {

// A registry key: ordered values and sub-keys.
struct MemoryPlatform::Key {
    std::vector<std::pair<std::string, RegValue>> values;  // enumeration order
    std::unordered_map<std::string, std::size_t> index;    // folded name -> position in values
    std::map<std::string, std::unique_ptr<Key>> children;  // by folded name
    std::string name;                                      // as it was created

    std::pair<std::string, RegValue>* Find(std::string_view name) {
        const auto it = index.find(memory::FoldUtf8(name));
        return it == index.end() ? nullptr : &values[it->second];
    }
    void Put(std::string_view name, RegValue value) {
        if (auto* v = Find(name)) {
            v->second = std::move(value);
            return;
        }
        index.emplace(memory::FoldUtf8(name), values.size());
        values.emplace_back(std::string(name), std::move(value));
    }
    bool Erase(std::string_view name) {
        const auto it = index.find(memory::FoldUtf8(name));
        if (it == index.end()) return false;
        const std::size_t pos = it->second;
        values.erase(values.begin() + static_cast<std::ptrdiff_t>(pos));
        index.erase(it);
        for (auto& [folded, i] : index)
            if (i > pos) --i;
        return true;
    }
};

}  // namespace vantorell::platform
