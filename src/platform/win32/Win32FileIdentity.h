// What a file is, on Windows (Win32FileIdentity.cpp says how): attributes,
// version resources, embedded and catalog signatures, files held, folders
// only administrators can write.
#pragma once

#include <windows.h>

#include <wincrypt.h>

#include "platform/FileIdentity.h"

namespace vantorell::platform {

class Win32FileIdentity final : public FileIdentity {
public:
    Win32FileIdentity() = default;
    ~Win32FileIdentity() { CloseTrustStores(); }
    Win32FileIdentity(const Win32FileIdentity&) = delete;
    Win32FileIdentity& operator=(const Win32FileIdentity&) = delete;

    FileFacts StatFile(std::string_view path) override;
    std::optional<VersionFacts> ReadVersionFacts(std::string_view path) override;
    SignatureFacts VerifyEmbeddedSignature(std::string_view path) override;
    std::optional<std::string> HashForCatalog(std::string_view path, CatalogHash kind) override;
    std::optional<SignatureFacts> VerifyCatalogSignature(std::string_view path, std::string_view hash,
                                                         CatalogHash kind) override;
    std::unique_ptr<FileHold> HoldFile(std::string_view path) override;
    bool AdministratorsOnlyFolder(std::string_view path) override;

private:
    // The signer's name and this program's own look at its chain.
    void ExamineSigner(PCCERT_CONTEXT cert, PCCERT_CHAIN_CONTEXT chain, SignatureFacts& facts);
    // Whether the certificate is in the user's or the machine's "Disallowed" store.
    bool Disallowed(PCCERT_CONTEXT cert);
    void CloseTrustStores();

    // The "Disallowed" stores, opened at their first use.
    bool disallowedOpened_ = false;
    HCERTSTORE disallowedUser_ = nullptr;
    HCERTSTORE disallowedMachine_ = nullptr;
};

}  // namespace vantorell::platform
