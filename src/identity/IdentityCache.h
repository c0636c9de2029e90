// The per-user cache of what files are, keyed by path, size and last write:
// the next start checks only files that changed. Bounded; a file that does
// not read back whole and unaltered is dropped and rebuilt, never trusted.
#pragma once

#include <cstddef>
#include <cstdint>
#include <list>
#include <string>
#include <string_view>
#include <unordered_map>

#include "identity/Identity.h"
#include "platform/Platform.h"

namespace vantorell::identity {

inline constexpr std::size_t kCacheLimit = 2000;
inline constexpr std::string_view kCacheFileName = "identity-cache.txt";

class IdentityCache {
public:
    // `path` empty: a cache that is never loaded or saved.
    IdentityCache(platform::Platform& platform, std::string path, std::size_t limit = kCacheLimit);

    // Reads the file; a missing one gives an empty cache, and so does one that
    // is damaged (Corrupt() then tells).
    void Load();
    // Writes the file when something changed since the load or the last save.
    bool Save();

    // What was found for the file as it is now; nullptr when it changed or is unknown.
    const Identity* Find(std::string_view path, std::uint64_t size, std::uint64_t lastWrite);
    // Keeps the file's state, signer and version facts (not its resolution).
    void Put(std::string_view path, std::uint64_t size, std::uint64_t lastWrite, const Identity& identity);

    std::size_t Size() const { return entries_.size(); }
    bool Corrupt() const { return corrupt_; }

    // The cache's file for the user: "identity-cache.txt" in Vantorell's folder
    // of the user's local application data; empty when there is none.
    static std::string UserCachePath(platform::Platform& platform);

private:
    struct Entry {
        std::string path;  // as given
        std::uint64_t size = 0, lastWrite = 0;
        Identity identity;
    };
    using Order = std::list<Entry>;  // most recently used first

    std::string Serialise() const;
    bool Parse(std::string_view bytes);
    void Insert(Entry entry);

    platform::Platform& platform_;
    std::string path_;
    std::size_t limit_;
    Order order_;
    std::unordered_map<std::string, Order::iterator> entries_;  // by folded path
    bool changed_ = false;
    bool corrupt_ = false;
};

}  // namespace vantorell::identity
