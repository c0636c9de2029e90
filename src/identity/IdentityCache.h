// The cache of what files are, keyed by path and the file's stamp (see
// platform::FileHold::Stamp: its ID and change-journal number, or its
// content's hash), which no writer of the file can put back as it was: the
// next start checks only files that changed. It holds for one state of the
// trust stores (TrustStoresStamp): when they change, nothing in it is
// believed. Bounded; a file that does not read back whole and unaltered is
// dropped and rebuilt, never trusted.
#pragma once

#include <cstddef>
#include <cstdint>
#include <list>
#include <string>
#include <string_view>
#include <unordered_map>

#include "identity/Identity.h"
#include "identity/IdentityFacets.h"

namespace vantorell::identity {

// What tells one state of the trust stores (Root, Disallowed and
// TrustedPublisher of the machine, the user, group policy and the
// enterprise) from another: a hash of their certificates as the registry
// keeps them.
std::string TrustStoresStamp(const IdentityFacets& platform);

inline constexpr std::size_t kCacheLimit = 2000;
inline constexpr std::string_view kCacheFileName = "identity-cache.txt";

class IdentityCache {
public:
    // `path` empty: a cache that is never loaded or saved.
    IdentityCache(const IdentityFacets& platform, std::string path, std::size_t limit = kCacheLimit);

    // Reads the file; a missing one gives an empty cache, and so does one that
    // is damaged (Corrupt() then tells).
    void Load();
    // Writes the file when something changed since the load or the last save.
    bool Save();

    // What was found for the file as it is now; nullptr when it changed, is
    // unknown, or `stamp` is empty.
    const Identity* Find(std::string_view path, std::string_view stamp);
    // Keeps the file's state, signer and version facts (not its resolution);
    // nothing without a stamp.
    void Put(std::string_view path, std::string_view stamp, const Identity& identity);
    // Forgets everything when the trust stores changed since it was filled;
    // true when it did.
    bool CheckTrustStores();

    std::size_t Size() const { return entries_.size(); }
    const std::string& Path() const { return path_; }
    bool Corrupt() const { return corrupt_; }

    // The cache's file for this process: "identity-cache.txt" in Vantorell's
    // folder of the user's local application data; for a process with
    // administrator rights, in %ProgramData%\Vantorell when only
    // administrators can write there, and none otherwise (every process of the
    // user can write the user's own). Empty when there is none.
    static std::string UserCachePath(const IdentityFacets& platform);

private:
    struct Entry {
        std::string path;  // as given
        std::string stamp;
        Identity identity;
    };
    using Order = std::list<Entry>;  // most recently used first

    std::string Serialise() const;
    bool Parse(std::string_view bytes);
    void Insert(Entry entry);

    IdentityFacets platform_;
    std::string path_;
    std::string trust_;  // the trust stores' stamp the entries hold for
    std::size_t limit_;
    Order order_;
    std::unordered_map<std::string, Order::iterator> entries_;  // by folded path
    bool changed_ = false;
    bool corrupt_ = false;
};

}  // namespace vantorell::identity
