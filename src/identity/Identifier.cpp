#include "identity/Identifier.h"

namespace vantorell::identity {
namespace {

// Results of the system's trust check, as Windows numbers them.
constexpr std::uint32_t kTrustNoSignature = 0x800B0100;       // TRUST_E_NOSIGNATURE
constexpr std::uint32_t kTrustSubjectUnknown = 0x800B0003;    // TRUST_E_SUBJECT_FORM_UNKNOWN
constexpr std::uint32_t kTrustProviderUnknown = 0x800B0001;   // TRUST_E_PROVIDER_UNKNOWN
constexpr std::uint32_t kTrustBadDigest = 0x80096010;         // TRUST_E_BAD_DIGEST
constexpr std::uint32_t kTrustCertSignature = 0x80096004;     // TRUST_E_CERT_SIGNATURE
constexpr std::uint32_t kCryptHashValue = 0x80091007;         // CRYPT_E_HASH_VALUE
constexpr std::uint32_t kTrustExplicitDistrust = 0x800B0111;  // TRUST_E_EXPLICIT_DISTRUST
constexpr std::uint32_t kCertRevoked = 0x800B010C;            // CERT_E_REVOKED

bool NoSignature(std::uint32_t code) {
    return code == kTrustNoSignature || code == kTrustSubjectUnknown || code == kTrustProviderUnknown;
}

// A packaged (Store) app's item: "shell:AppsFolder\..." as written, or the
// parsing path of the Applications folder's item (its CLSID first).
bool IsPackagedApp(std::string_view item) {
    std::string lower(item);
    for (char& c : lower)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return lower.rfind("shell:appsfolder\\", 0) == 0 ||
           lower.find("{4234d49b-0245-4df3-b780-3893943456e1}") != std::string::npos;
}

std::string Code(std::uint32_t code) {
    std::string text = "0x";
    for (int shift = 28; shift >= 0; shift -= 4) text += "0123456789ABCDEF"[(code >> shift) & 0xF];
    return text;
}

}  // namespace

SignatureState JudgeSignature(const platform::SignatureFacts& f, std::string& reason) {
    reason.clear();
    if (f.unavailable) {
        reason = kReasonNoTrustCheck;
        return SignatureState::Unknown;
    }
    if (!f.opened) {
        reason = kReasonCannotOpen;
        return SignatureState::Unknown;
    }
    if (NoSignature(f.code)) return SignatureState::Unsigned;
    if (f.code == kTrustBadDigest || f.code == kCryptHashValue || f.code == kTrustCertSignature) {
        reason = "the signature does not match the file (" + Code(f.code) + ")";
        return SignatureState::Invalid;
    }
    // The system's check may ignore the "Disallowed" store: looked at here.
    if (f.disallowed || f.code == kTrustExplicitDistrust || f.code == kCertRevoked) {
        reason = f.disallowed ? "its certificate is in the \"Disallowed\" store" : "distrusted (" + Code(f.code) + ")";
        return SignatureState::Distrusted;
    }
    // A check that passed is not enough: the chain must reach a trusted root
    // and the certificate be one for code signing.
    if (f.partialChain)
        reason = "the chain does not reach a root";
    else if (f.untrustedRoot)
        reason = "the root is not trusted";
    else if (f.notForCodeSigning)
        reason = "the certificate is not for code signing";
    else if (f.code != 0)
        reason = "the trust check failed (" + Code(f.code) + ")";
    return reason.empty() ? SignatureState::Verified : SignatureState::Untrusted;
}

Identifier::Identifier(const IdentityFacets& platform, IdentityCache& cache) : platform_(platform), cache_(cache) {}

Identity Identifier::Identify(const FileJob& job, bool onDemand, std::string* stamp, MissingFolders* folders) {
    return IdentifyFile(ResolveFile(platform_, job, folders), onDemand, stamp);
}

bool Identifier::Look(ResolvedFile file, bool onDemand, Identity& id, std::unique_ptr<platform::FileHold>& hold,
                      bool quick) {
    hold.reset();
    id = Identity{};
    id.file = std::move(file.path);
    id.host = std::move(file.host);
    id.inlineCode = file.inlineCode;
    if (id.file.empty()) {
        id.state = SignatureState::Missing;
        return true;
    }
    // A packaged app or another shell item: there, but no file to look at.
    if (file.item) {
        id.reason = IsPackagedApp(id.file) ? kReasonPackagedApp : kReasonShellItem;
        return true;
    }
    // A share is never touched at rest: it may keep this thread for minutes.
    if (IsUncPath(id.file)) {
        id.reason = kReasonNetwork;
        return true;
    }
    const platform::FileFacts facts = file.facts ? *file.facts : platform_.fileIdentity.StatFile(id.file);
    if (facts.network) {
        id.reason = kReasonNetwork;
        return true;
    }
    if (!facts.exists || facts.directory) {
        id.state = SignatureState::Missing;
        return true;
    }
    id.fileExists = true;
    if (facts.size > kLargestAtRest && !onDemand) {
        id.reason = kReasonTooLarge;
        return true;
    }
    // Held from here until it is examined: what the cache knows, or what the
    // check finds, is about the bytes of this stamp and no others.
    hold = platform_.fileIdentity.HoldFile(id.file);
    const Identity* known = hold ? cache_.Find(id.file, quick ? hold->QuickStamp() : hold->Stamp()) : nullptr;
    if (!known) return false;
    Identity cached = *known;
    cached.file = std::move(id.file);
    cached.host = std::move(id.host);
    cached.inlineCode = id.inlineCode;
    id = std::move(cached);
    return true;
}

Identity Identifier::IdentifyFile(ResolvedFile file, bool onDemand, std::string* stamp) {
    Identity id;
    std::unique_ptr<platform::FileHold> hold;
    const bool known = Look(std::move(file), onDemand, id, hold);
    if (stamp) *stamp = hold && id.fileExists ? hold->Stamp() : std::string();
    if (known) return id;
    if (auto version = platform_.fileIdentity.ReadVersionFacts(id.file)) {
        id.company = std::move(version->company);
        id.description = std::move(version->description);
        id.fileVersion = std::move(version->fileVersion);
    }
    const platform::SignatureFacts signature = CheckSignature(id.file);
    id.state = JudgeSignature(signature, id.reason);
    // The signer is named wherever a certificate was read (not for a file
    // whose signature could not be tied to one).
    if (id.state != SignatureState::Unsigned && id.state != SignatureState::Unknown) {
        id.signer = signature.signer;
        id.issuer = signature.issuer;
        id.thumbprintSha1 = signature.thumbprintSha1;
        id.thumbprintSha256 = signature.thumbprintSha256;
    }
    if (id.state != SignatureState::Unknown && hold) cache_.Put(id.file, hold->Stamp(), id);
    return id;
}

platform::SignatureFacts Identifier::CheckSignature(const std::string& path) {
    platform::SignatureFacts embedded = platform_.fileIdentity.VerifyEmbeddedSignature(path);
    if (!embedded.opened || !NoSignature(embedded.code)) return embedded;
    // Windows' own files are signed in catalogs: SHA-256 first, as Windows 8
    // and later list them, then SHA-1.
    for (auto kind : {platform::CatalogHash::Sha256, platform::CatalogHash::Sha1}) {
        const auto hash = platform_.fileIdentity.HashForCatalog(path, kind);
        if (!hash) continue;
        if (auto catalog = platform_.fileIdentity.VerifyCatalogSignature(path, *hash, kind)) return *catalog;
    }
    return embedded;
}

}  // namespace vantorell::identity
