// Finds out what an entry's file is: resolves it, looks at it, reads its
// version facts and checks its signature (embedded first, then a catalog by
// SHA-256, then by SHA-1). One thread at a time; the cache is its own.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "identity/FileResolution.h"
#include "identity/Identity.h"
#include "identity/IdentityCache.h"
#include "identity/IdentityFacets.h"

namespace vantorell::identity {

// Larger files are not checked at rest: hashing one takes long and reads it whole.
inline constexpr std::uint64_t kLargestAtRest = 1ULL << 30;  // 1 GiB

// The state a trust check's result and the caller's own look at the chain
// give; `reason` gets what was found for a state the user should know why of.
SignatureState JudgeSignature(const platform::SignatureFacts& facts, std::string& reason);

class Identifier {
public:
    // Both must outlive it.
    Identifier(const IdentityFacets& platform, IdentityCache& cache);

    // `onDemand`: check what is left alone at rest too (files too large).
    // `stamp`, where given, gets the stamp the answer holds for (empty when
    // it holds for no particular bytes).
    // `folders`: what one pass over the entries has found missing.
    Identity Identify(const FileJob& job, bool onDemand = false, std::string* stamp = nullptr,
                      MissingFolders* folders = nullptr);
    // The same for a file already resolved.
    Identity IdentifyFile(ResolvedFile file, bool onDemand = false, std::string* stamp = nullptr);
    // The part of IdentifyFile that needs no more than the file's attributes,
    // its stamp and the cache. True when `id` is complete; false when the file
    // is still to be examined, with `hold` holding it (when it could be held),
    // so that what is found is about the bytes of its stamp. `quick`: only a
    // stamp that needs no reading of the content (the window's thread, which
    // must not read every file whole) answers from the cache.
    bool Look(ResolvedFile file, bool onDemand, Identity& id, std::unique_ptr<platform::FileHold>& hold,
              bool quick = false);

private:
    platform::SignatureFacts CheckSignature(const std::string& path);

    IdentityFacets platform_;
    IdentityCache& cache_;
};

}  // namespace vantorell::identity
