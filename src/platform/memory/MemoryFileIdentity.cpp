// What a file is, on the in-memory platform: facts, versions and signatures
// a test sets; the bytes themselves stand in for hashes.
#include "platform/memory/MemoryPlatform.h"

namespace vantorell::platform {

void MemoryPlatform::SetVersionFacts(std::string_view path, VersionFacts facts) {
    versions_[PathKey(path)] = std::move(facts);
}

void MemoryPlatform::SetSignature(std::string_view path, SignatureFacts facts) {
    signatures_[PathKey(path)] = std::move(facts);
}

std::optional<std::string> MemoryPlatform::HashForCatalog(std::string_view path, CatalogHash kind) {
    const auto it = files_.find(PathKey(path));
    if (it == files_.end()) return std::nullopt;
    // A stand-in for the hash: the kind and the bytes themselves.
    return std::string(kind == CatalogHash::Sha256 ? "sha256:" : "sha1:") + it->second.bytes;
}

void MemoryPlatform::AddToCatalog(std::string_view path, CatalogHash kind, SignatureFacts facts) {
    if (auto hash = HashForCatalog(path, kind)) catalog_[*hash] = std::move(facts);
}

std::optional<SignatureFacts> MemoryPlatform::VerifyCatalogSignature(std::string_view, std::string_view hash,
                                                                     CatalogHash) {
    const auto it = catalog_.find(std::string(hash));
    if (it == catalog_.end()) return std::nullopt;
    return it->second;
}

FileFacts MemoryPlatform::StatFile(std::string_view path) {
    ++fileLookups_;
    FileFacts facts;
    for (const auto& prefix : networkPrefixes_)
        if (path.size() >= prefix.size() && FoldCase(path.substr(0, prefix.size())) == FoldCase(prefix)) {
            facts.network = true;
            return facts;
        }
    const auto key = PathKey(path);
    if (const auto it = files_.find(key); it != files_.end()) {
        facts.exists = true;
        facts.size = it->second.bytes.size();
        facts.lastWrite = it->second.written;
    } else if (folders_.count(key)) {
        facts.exists = facts.directory = true;
    } else if (const auto under = files_.lower_bound(key + '\\');
               under != files_.end() && under->first.compare(0, key.size() + 1, key + '\\') == 0) {
        facts.exists = facts.directory = true;  // a folder that holds files is there
    }
    return facts;
}

std::optional<VersionFacts> MemoryPlatform::ReadVersionFacts(std::string_view path) {
    const auto it = versions_.find(PathKey(path));
    if (it == versions_.end() || !files_.count(PathKey(path))) return std::nullopt;
    return it->second;
}

class MemoryPlatform::MemHold final : public FileHold {
public:
    explicit MemHold(std::string stamp) : stamp_(std::move(stamp)) {}
    std::string Stamp() override { return stamp_; }
    std::string QuickStamp() override { return stamp_.rfind("usn:", 0) == 0 ? stamp_ : std::string(); }

private:
    std::string stamp_;
};

std::unique_ptr<FileHold> MemoryPlatform::HoldFile(std::string_view path) {
    const auto it = files_.find(PathKey(path));
    if (it == files_.end()) return nullptr;
    const File& f = it->second;
    if (changeJournal_) return std::make_unique<MemHold>("usn:" + std::to_string(f.id) + ":" + std::to_string(f.usn));
    // A stand-in for the content's hash: the bytes themselves.
    return std::make_unique<MemHold>("sha256:" + f.bytes);
}

bool MemoryPlatform::AdministratorsOnlyFolder(std::string_view path) {
    const std::string key = PathKey(path);
    for (const auto& folder : adminOnly_)
        if (key == folder ||
            (key.size() > folder.size() && key.compare(0, folder.size(), folder) == 0 && key[folder.size()] == '\\'))
            return true;
    return false;
}

SignatureFacts MemoryPlatform::VerifyEmbeddedSignature(std::string_view path) {
    ++signatureChecks_;
    SignatureFacts facts;
    if (!files_.count(PathKey(path))) {
        facts.opened = false;
        return facts;
    }
    const auto it = signatures_.find(PathKey(path));
    if (it != signatures_.end()) return it->second;
    facts.code = 0x800B0100;  // TRUST_E_NOSIGNATURE
    return facts;
}

}  // namespace vantorell::platform
