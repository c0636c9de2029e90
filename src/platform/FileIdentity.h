// The file identity facet of the platform: what a file is, as the file
// system, its version resource and the system's trust checks say. None of
// these goes online.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace vantorell::platform {

// What the file system says of a path, without opening the file.
struct FileFacts {
    bool exists = false;
    // On a network share (UNC, or a drive letter mapped to one): nothing else
    // is looked up, since a share may keep the caller waiting for minutes.
    bool network = false;
    bool directory = false;
    std::uint64_t size = 0;
    std::uint64_t lastWrite = 0;  // the system's file time (100 ns units)
};

// The texts of a file's version resource; empty where it has none.
struct VersionFacts {
    std::string company;      // CompanyName
    std::string description;  // FileDescription
    std::string fileVersion;  // FileVersion
};

// What the system's trust check said of one signature of a file, and what the
// caller found in the signer's chain itself.
struct SignatureFacts {
    bool opened = true;        // false: the file could not be opened (held exclusively, refused)
    bool unavailable = false;  // the system's trust check could not be loaded
    std::uint32_t code = 0;    // the trust check's result (0 trusted, else an HRESULT)
    std::string signer;        // the signing certificate's common name, where it can be read
    std::string issuer;        // the common name of the signing certificate's issuer
    // The SHA-1 and SHA-256 of the signing certificate, in lower-case hex, where it can be read.
    std::string thumbprintSha1, thumbprintSha256;
    bool partialChain = false;       // the chain does not reach a root
    bool untrustedRoot = false;      // it reaches a root that is not trusted
    bool notForCodeSigning = false;  // the signer's certificate is not for code signing
    bool disallowed = false;         // a certificate of the chain is in the "Disallowed" store
};

// The hash a catalog holds a file under.
enum class CatalogHash { Sha256, Sha1 };

// A file held open so that nobody can write, rename or delete it while this
// lives, and what names its present bytes (see Stamp).
class FileHold {
public:
    virtual ~FileHold() = default;
    // What tells the file's present bytes from any others that a writer of the
    // file could put in its place, times and size included: "usn:" with the
    // volume, the file's ID and the NTFS change journal's number for it where
    // the volume keeps a journal, otherwise "sha256:" and the content's hash.
    // Empty when neither can be had (the file is then never answered from memory).
    virtual std::string Stamp() = 0;
    // The stamp when it can be had without reading the content (the change
    // journal's); empty otherwise.
    virtual std::string QuickStamp() = 0;
};

class FileIdentity {
public:
    virtual FileFacts StatFile(std::string_view path) = 0;
    // nullopt when the file has no version resource (or cannot be read).
    virtual std::optional<VersionFacts> ReadVersionFacts(std::string_view path) = 0;
    // The signature embedded in the file, checked with the signer's chain.
    virtual SignatureFacts VerifyEmbeddedSignature(std::string_view path) = 0;
    // The file's hash as the system's catalogs list it; nullopt when it cannot
    // be computed.
    virtual std::optional<std::string> HashForCatalog(std::string_view path, CatalogHash kind) = 0;
    // The file's signature through a catalog that lists `hash`; nullopt when
    // no catalog does.
    virtual std::optional<SignatureFacts> VerifyCatalogSignature(std::string_view path, std::string_view hash,
                                                                 CatalogHash kind) = 0;
    // Holds the file (see FileHold); nullptr when it cannot be held (it is
    // open for writing elsewhere, or gone).
    virtual std::unique_ptr<FileHold> HoldFile(std::string_view path) = 0;
    // Whether only Administrators and SYSTEM can write in the folder and own
    // it (nothing else can change what is in it); a folder that does not
    // exist is made so first. False when that cannot be made sure of.
    virtual bool AdministratorsOnlyFolder(std::string_view path) = 0;

protected:
    ~FileIdentity() = default;
};

}  // namespace vantorell::platform
