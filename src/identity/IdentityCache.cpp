#include "identity/IdentityCache.h"

#include <algorithm>
#include <charconv>
#include <vector>

#include "identity/FieldText.h"
#include "platform/Text.h"

namespace vantorell::identity {
namespace {

constexpr std::string_view kHeader = "Vantorell file identities 2";
// Keyed by size and last-write time, which a writer can put back: never read.
constexpr std::string_view kOldHeader = "Vantorell file identities 1";
constexpr std::string_view kProgramFolder = "Vantorell";
constexpr std::size_t kFields = 2 + kVerdictFields;  // path, stamp, the verdict

using text::Fnv1a;
using text::Hex;

bool Number(std::string_view text, std::uint64_t& value, int base = 10) {
    if (text.empty()) return false;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, base);
    return error == std::errc() && end == text.data() + text.size();
}

}  // namespace

std::string TrustStoresStamp(const IdentityFacets& platform) {
    using platform::Hive;
    struct Root {
        Hive hive;
        std::string_view path;
    };
    static constexpr Root kRoots[] = {
        {Hive::LocalMachine, "Software\\Microsoft\\SystemCertificates"},
        {Hive::LocalMachine, "Software\\Policies\\Microsoft\\SystemCertificates"},
        {Hive::LocalMachine, "Software\\Microsoft\\EnterpriseCertificates"},
        {Hive::CurrentUser, "Software\\Microsoft\\SystemCertificates"},
        {Hive::CurrentUser, "Software\\Policies\\Microsoft\\SystemCertificates"},
    };
    // A certificate, a revocation list or a trust list is a sub-key named by
    // its thumbprint with the encoded item in its "Blob" value.
    std::uint64_t hash = 0xcbf29ce484222325ULL;
    std::size_t items = 0;
    for (const Root& root : kRoots)
        for (std::string_view store : {"Root", "Disallowed", "TrustedPublisher"})
            for (std::string_view kind : {"Certificates", "CRLs", "CTLs"}) {
                const std::string path = std::string(root.path) + '\\' + std::string(store) + '\\' + std::string(kind);
                const auto key = platform.registry.OpenKey(root.hive, path, false, platform::KeyAccess::Read);
                if (!key) continue;
                auto names = key->SubKeyNames().value_or(std::vector<std::string>{});
                std::sort(names.begin(), names.end());
                hash = Fnv1a(path + '\n', hash);
                for (const std::string& name : names) {
                    ++items;
                    hash = Fnv1a(name + '\n', hash);
                    if (const auto item =
                            platform.registry.OpenKey(root.hive, path + '\\' + name, false, platform::KeyAccess::Read))
                        if (const auto blob = item->Query("Blob")) hash = Fnv1a(blob->data, hash);
                }
            }
    return std::to_string(items) + ':' + Hex(hash);
}

IdentityCache::IdentityCache(const IdentityFacets& platform, std::string path, std::size_t limit)
    : platform_(platform), path_(std::move(path)), limit_(limit) {}

std::string IdentityCache::UserCachePath(const IdentityFacets& platform) {
    if (platform.processes.IsElevated()) {
        const auto shared = platform.files.KnownFolderPath(platform::KnownFolder::ProgramData);
        if (!shared) return {};
        const std::string folder = text::JoinPath(*shared, kProgramFolder);
        if (!platform.fileIdentity.AdministratorsOnlyFolder(folder)) return {};
        return text::JoinPath(folder, kCacheFileName);
    }
    const auto local = platform.files.KnownFolderPath(platform::KnownFolder::LocalAppData);
    if (!local) return {};
    return text::JoinPath(text::JoinPath(*local, kProgramFolder), kCacheFileName);
}

void IdentityCache::Load() {
    order_.clear();
    entries_.clear();
    changed_ = corrupt_ = false;
    trust_ = TrustStoresStamp(platform_);
    if (path_.empty()) return;
    const platform::FileRead read = platform_.files.ReadFile(path_);
    if (read.outcome == platform::ReadOutcome::NotFound) return;
    if (read.outcome != platform::ReadOutcome::Ok || !Parse(read.bytes)) {
        order_.clear();
        entries_.clear();
        corrupt_ = !read.bytes.starts_with(std::string(kOldHeader) + '\t');
        changed_ = true;  // the next save writes a sound file over it
    }
}

bool IdentityCache::CheckTrustStores() {
    std::string now = TrustStoresStamp(platform_);
    if (now == trust_) return false;
    trust_ = std::move(now);
    order_.clear();
    entries_.clear();
    changed_ = true;
    return true;
}

bool IdentityCache::Parse(std::string_view bytes) {
    const auto firstEnd = bytes.find('\n');
    if (firstEnd == std::string_view::npos) return false;
    const auto header = Split(bytes.substr(0, firstEnd), '\t');
    std::uint64_t count = 0, sum = 0;
    if (header.size() != 4 || header[0] != kHeader || !Number(header[1], count) || !Number(header[2], sum, 16))
        return false;
    const std::string_view body = bytes.substr(firstEnd + 1);
    if (Fnv1a(body) != sum) return false;
    // Found with other trust stores: nothing of it holds now.
    if (header[3] != trust_) {
        changed_ = true;
        return true;
    }
    std::vector<Entry> read;
    std::string_view rest = body;
    while (!rest.empty()) {
        const auto end = rest.find('\n');
        if (end == std::string_view::npos) return false;
        const auto fields = Split(rest.substr(0, end), '\t');
        rest.remove_prefix(end + 1);
        if (fields.size() != kFields) return false;
        Entry e;
        if (!Unescape(fields[0], e.path) || e.path.empty() || !Unescape(fields[1], e.stamp) || e.stamp.empty() ||
            !ReadVerdict(std::span(fields).subspan(2), e.identity) || e.identity.state == SignatureState::Unknown ||
            e.identity.state == SignatureState::Missing)
            return false;
        e.identity.fileExists = true;
        read.push_back(std::move(e));
    }
    if (read.size() != count) return false;
    // Most recently used first in the file: insert from the back.
    for (auto it = read.rbegin(); it != read.rend(); ++it) Insert(std::move(*it));
    changed_ = false;
    return true;
}

std::string IdentityCache::Serialise() const {
    std::string body;
    for (const Entry& e : order_) {
        body += Escape(e.path) + '\t' + Escape(e.stamp) + '\t';
        AppendVerdict(body, e.identity);
        body += '\n';
    }
    return std::string(kHeader) + '\t' + std::to_string(order_.size()) + '\t' + Hex(Fnv1a(body)) + '\t' +
           Escape(trust_) + '\n' + body;
}

bool IdentityCache::Save() {
    if (path_.empty() || !changed_) return true;
    platform_.files.CreateFolder(text::FolderOf(path_));
    if (!platform_.files.WriteFileAtomic(path_, Serialise()).ok) return false;
    changed_ = false;
    return true;
}

void IdentityCache::Insert(Entry entry) {
    const std::string key = platform_.locale.FoldCase(entry.path);
    if (auto it = entries_.find(key); it != entries_.end()) {
        order_.erase(it->second);
        entries_.erase(it);
    }
    order_.push_front(std::move(entry));
    entries_.emplace(key, order_.begin());
    while (order_.size() > limit_) {
        entries_.erase(platform_.locale.FoldCase(order_.back().path));
        order_.pop_back();
    }
}

const Identity* IdentityCache::Find(std::string_view path, std::string_view stamp) {
    if (stamp.empty()) return nullptr;
    const auto it = entries_.find(platform_.locale.FoldCase(path));
    if (it == entries_.end()) return nullptr;
    const Entry& e = *it->second;
    if (e.stamp != stamp) return nullptr;
    // Used now: the last to go when the cache is full. The order alone is no
    // reason to write the file; it is saved with the next change.
    if (it->second != order_.begin()) order_.splice(order_.begin(), order_, it->second);
    return &order_.front().identity;
}

void IdentityCache::Put(std::string_view path, std::string_view stamp, const Identity& identity) {
    if (stamp.empty()) return;
    Entry e;
    e.path = std::string(path);
    e.stamp = std::string(stamp);
    e.identity.state = identity.state;
    e.identity.fileExists = true;
    e.identity.signer = identity.signer;
    e.identity.issuer = identity.issuer;
    e.identity.thumbprintSha1 = identity.thumbprintSha1;
    e.identity.thumbprintSha256 = identity.thumbprintSha256;
    e.identity.company = identity.company;
    e.identity.description = identity.description;
    e.identity.fileVersion = identity.fileVersion;
    Insert(std::move(e));
    changed_ = true;
}

}  // namespace vantorell::identity
