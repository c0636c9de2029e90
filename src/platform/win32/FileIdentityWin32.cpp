// What a file is, on Windows: its attributes, its version resource, and its
// signature checked with WinVerifyTrust (embedded, or through the catalogs)
// never going online, plus this program's own look at the signer's chain:
// Wine's WinVerifyTrust accepts a chain that reaches no root and ignores the
// "Disallowed" store, so both are looked at here.
#include <windows.h>

#include <wincrypt.h>  // after <windows.h>; the others need it first

#include <wintrust.h>

#include <mscat.h>
#include <softpub.h>

#include <cstring>
#include <memory>
#include <vector>

#include "platform/win32/Utf.h"
#include "platform/win32/Win32Platform.h"

namespace vantorell::platform {
namespace {

using win32::FsRedirectionOff;
using win32::Narrow;
using win32::UniqueFile;
using win32::Widen;

constexpr DWORD kEncoding = X509_ASN_ENCODING | PKCS_7_ASN_ENCODING;
constexpr std::uint32_t kNoSignature = 0x800B0100;  // TRUST_E_NOSIGNATURE

// The system's signature functions, loaded from System32 on first use. The
// program in the tray examines files in a helper (see Win32Platform::RunHelper)
// and so never loads them: under Wine they and the libraries they bring cost
// a process about 3 MB of its own memory for as long as it runs.
struct SignatureApi {
    decltype(&::WinVerifyTrust) WinVerifyTrust = nullptr;
    decltype(&::WTHelperProvDataFromStateData) WTHelperProvDataFromStateData = nullptr;
    decltype(&::WTHelperGetProvSignerFromChain) WTHelperGetProvSignerFromChain = nullptr;
    decltype(&::WTHelperGetProvCertFromChain) WTHelperGetProvCertFromChain = nullptr;
    decltype(&::CryptCATAdminAcquireContext) CryptCATAdminAcquireContext = nullptr;
    decltype(&::CryptCATAdminCalcHashFromFileHandle) CryptCATAdminCalcHashFromFileHandle = nullptr;
    decltype(&::CryptCATAdminEnumCatalogFromHash) CryptCATAdminEnumCatalogFromHash = nullptr;
    decltype(&::CryptCATAdminReleaseCatalogContext) CryptCATAdminReleaseCatalogContext = nullptr;
    decltype(&::CryptCATAdminReleaseContext) CryptCATAdminReleaseContext = nullptr;
    decltype(&::CryptCATCatalogInfoFromContext) CryptCATCatalogInfoFromContext = nullptr;
    decltype(&::CertCloseStore) CertCloseStore = nullptr;
    decltype(&::CertFindCertificateInStore) CertFindCertificateInStore = nullptr;
    decltype(&::CertFreeCertificateChain) CertFreeCertificateChain = nullptr;
    decltype(&::CertFreeCertificateContext) CertFreeCertificateContext = nullptr;
    decltype(&::CertGetCertificateChain) CertGetCertificateChain = nullptr;
    decltype(&::CertGetEnhancedKeyUsage) CertGetEnhancedKeyUsage = nullptr;
    decltype(&::CertGetNameStringW) CertGetNameStringW = nullptr;
    decltype(&::CertOpenStore) CertOpenStore = nullptr;
    // Vista and later: a certificate's hash by any algorithm (its thumbprints).
    using HashCertificate2 = BOOL(WINAPI*)(LPCWSTR, DWORD, void*, const BYTE*, DWORD, BYTE*, DWORD*);
    HashCertificate2 hashCertificate2 = nullptr;
    // Windows 8 and later: catalogs by SHA-256.
    using Acquire2 = BOOL(WINAPI*)(HCATADMIN*, const GUID*, PCWSTR, const void*, DWORD);
    using CalcHash2 = BOOL(WINAPI*)(HCATADMIN, HANDLE, DWORD*, BYTE*, DWORD);
    Acquire2 acquire2 = nullptr;
    CalcHash2 calcHash2 = nullptr;
    bool loaded = false;
};

template <typename F>
bool Bind(HMODULE module, const char* name, F& function) {
    function = module ? reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(module, name))) : nullptr;
    return function != nullptr;
}

// A library of System32, never one of the program's own folder or the
// current one (an elevated program must not load a planted DLL).
HMODULE SystemLibrary(const wchar_t* name) {
    if (HMODULE module = LoadLibraryExW(name, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32)) return module;
    // Windows 7 without KB2533623 does not know the flag: by the full path.
    wchar_t folder[MAX_PATH];
    const UINT n = GetSystemDirectoryW(folder, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return nullptr;
    return LoadLibraryW((std::wstring(folder, n) + L"\\" + name).c_str());
}

const SignatureApi& Api() {
    static const SignatureApi api = [] {
        SignatureApi a;
        const HMODULE wintrust = SystemLibrary(L"wintrust.dll");
        const HMODULE crypt32 = SystemLibrary(L"crypt32.dll");
        a.loaded =
            Bind(wintrust, "WinVerifyTrust", a.WinVerifyTrust) &&
            Bind(wintrust, "WTHelperProvDataFromStateData", a.WTHelperProvDataFromStateData) &&
            Bind(wintrust, "WTHelperGetProvSignerFromChain", a.WTHelperGetProvSignerFromChain) &&
            Bind(wintrust, "WTHelperGetProvCertFromChain", a.WTHelperGetProvCertFromChain) &&
            Bind(wintrust, "CryptCATAdminAcquireContext", a.CryptCATAdminAcquireContext) &&
            Bind(wintrust, "CryptCATAdminCalcHashFromFileHandle", a.CryptCATAdminCalcHashFromFileHandle) &&
            Bind(wintrust, "CryptCATAdminEnumCatalogFromHash", a.CryptCATAdminEnumCatalogFromHash) &&
            Bind(wintrust, "CryptCATAdminReleaseCatalogContext", a.CryptCATAdminReleaseCatalogContext) &&
            Bind(wintrust, "CryptCATAdminReleaseContext", a.CryptCATAdminReleaseContext) &&
            Bind(wintrust, "CryptCATCatalogInfoFromContext", a.CryptCATCatalogInfoFromContext) &&
            Bind(crypt32, "CertCloseStore", a.CertCloseStore) &&
            Bind(crypt32, "CertFindCertificateInStore", a.CertFindCertificateInStore) &&
            Bind(crypt32, "CertFreeCertificateChain", a.CertFreeCertificateChain) &&
            Bind(crypt32, "CertFreeCertificateContext", a.CertFreeCertificateContext) &&
            Bind(crypt32, "CertGetCertificateChain", a.CertGetCertificateChain) &&
            Bind(crypt32, "CertGetEnhancedKeyUsage", a.CertGetEnhancedKeyUsage) &&
            Bind(crypt32, "CertGetNameStringW", a.CertGetNameStringW) &&
            Bind(crypt32, "CertOpenStore", a.CertOpenStore) &&
            true;
        Bind(crypt32, "CryptHashCertificate2", a.hashCertificate2);
        Bind(wintrust, "CryptCATAdminAcquireContext2", a.acquire2);
        Bind(wintrust, "CryptCATAdminCalcHashFromFileHandle2", a.calcHash2);
        return a;
    }();
    return api;
}

struct CertStoreTraits {
    static HCERTSTORE Invalid() { return nullptr; }
    static void Close(HCERTSTORE h) { Api().CertCloseStore(h, 0); }
};
using UniqueCertStore = win32::UniqueOwner<HCERTSTORE, CertStoreTraits>;

// How long a drive's type is taken as known. Asking costs about 1 ms under
// Wine, ten times a file's attributes; a pass over a hundred entries on one
// drive asks once. A drive mapped to a share later than this is seen as one.
constexpr ULONGLONG kDriveTypeLifeMs = 10000;

// Whether drive `letter` ("C") is mapped to a share.
bool RemoteDrive(wchar_t letter) {
    const wchar_t root[] = {letter, L':', L'\\', 0};
    if (letter >= L'a' && letter <= L'z') letter = static_cast<wchar_t>(letter - L'a' + L'A');
    if (letter < L'A' || letter > L'Z') return GetDriveTypeW(root) == DRIVE_REMOTE;
    struct Known {
        ULONGLONG at = 0;
        bool remote = false;
    };
    static Known known[26];  // asked from the window's thread, or the console's
    Known& k = known[letter - L'A'];
    const ULONGLONG now = GetTickCount64();
    if (k.at != 0 && now - k.at < kDriveTypeLifeMs) return k.remote;
    k = {now == 0 ? 1 : now, GetDriveTypeW(root) == DRIVE_REMOTE};
    return k.remote;
}

// A path on a share: UNC ("\\server\share", "\\?\UNC\...") or a drive letter
// mapped to one. Decided from the text and the drive's type, without touching it.
bool OnNetwork(const std::wstring& path) {
    if (path.size() >= 2 && (path[0] == L'\\' || path[0] == L'/') && (path[1] == L'\\' || path[1] == L'/')) {
        if (path.size() >= 4 && (path[2] == L'?' || path[2] == L'.') && (path[3] == L'\\' || path[3] == L'/'))
            return path.size() >= 8 && CompareStringOrdinal(path.c_str() + 4, 4, L"UNC\\", 4, TRUE) == CSTR_EQUAL;
        return true;
    }
    if (path.size() >= 2 && path[1] == L':') return RemoteDrive(path[0]);
    return false;
}

UniqueFile OpenForReading(const std::wstring& path) {
    return UniqueFile(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                  nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
}

std::string CommonName(PCCERT_CONTEXT cert) {
    wchar_t name[512];
    DWORD n = Api().CertGetNameStringW(cert, CERT_NAME_ATTR_TYPE, 0, const_cast<char*>(szOID_COMMON_NAME), name, 512);
    if (n <= 1) n = Api().CertGetNameStringW(cert, CERT_NAME_SIMPLE_DISPLAY_TYPE, 0, nullptr, name, 512);
    return n > 1 ? Narrow(std::wstring(name, n - 1)) : std::string();
}

std::string IssuerName(PCCERT_CONTEXT cert) {
    wchar_t name[512];
    const DWORD n = Api().CertGetNameStringW(cert, CERT_NAME_ATTR_TYPE, CERT_NAME_ISSUER_FLAG,
                                             const_cast<char*>(szOID_COMMON_NAME), name, 512);
    return n > 1 ? Narrow(std::wstring(name, n - 1)) : std::string();
}

// The certificate's hash by `algorithm` ("SHA1", "SHA256") in lower-case hex;
// empty where the system cannot make it.
std::string Thumbprint(PCCERT_CONTEXT cert, const wchar_t* algorithm) {
    if (!Api().hashCertificate2) return {};
    BYTE hash[64];
    DWORD size = sizeof hash;
    if (!Api().hashCertificate2(algorithm, 0, nullptr, cert->pbCertEncoded, cert->cbCertEncoded, hash, &size))
        return {};
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string hex;
    for (DWORD i = 0; i < size; ++i) {
        hex += kDigits[hash[i] >> 4];
        hex += kDigits[hash[i] & 15];
    }
    return hex;
}

// Whether the certificate may sign code: no enhanced key usage at all means
// every use; otherwise code signing must be among them.
bool ForCodeSigning(PCCERT_CONTEXT cert) {
    DWORD size = 0;
    if (!Api().CertGetEnhancedKeyUsage(cert, 0, nullptr, &size))
        return GetLastError() == static_cast<DWORD>(CRYPT_E_NOT_FOUND);
    std::vector<BYTE> buffer(size);
    auto* usage = reinterpret_cast<CERT_ENHKEY_USAGE*>(buffer.data());
    if (!Api().CertGetEnhancedKeyUsage(cert, 0, usage, &size)) return false;
    if (usage->cUsageIdentifier == 0) return GetLastError() == static_cast<DWORD>(CRYPT_E_NOT_FOUND);
    for (DWORD i = 0; i < usage->cUsageIdentifier; ++i)
        if (std::strcmp(usage->rgpszUsageIdentifier[i], szOID_PKIX_KP_CODE_SIGNING) == 0) return true;
    return false;
}

// WinVerifyTrust without any user interface, never fetching anything: the
// state data stays open for the caller to read the signer from.
class TrustCheck {
public:
    explicit TrustCheck(WINTRUST_DATA& data) : data_(data) {
        data_.cbStruct = sizeof data_;
        data_.dwUIChoice = WTD_UI_NONE;
        data_.fdwRevocationChecks = WTD_REVOKE_NONE;
        data_.dwStateAction = WTD_STATEACTION_VERIFY;
        data_.dwProvFlags = WTD_CACHE_ONLY_URL_RETRIEVAL | WTD_REVOCATION_CHECK_NONE;
        GUID action = WINTRUST_ACTION_GENERIC_VERIFY_V2;
        result_ = static_cast<std::uint32_t>(Api().WinVerifyTrust(static_cast<HWND>(INVALID_HANDLE_VALUE), &action, &data_));
    }
    ~TrustCheck() {
        data_.dwStateAction = WTD_STATEACTION_CLOSE;
        GUID action = WINTRUST_ACTION_GENERIC_VERIFY_V2;
        Api().WinVerifyTrust(static_cast<HWND>(INVALID_HANDLE_VALUE), &action, &data_);
    }
    TrustCheck(const TrustCheck&) = delete;
    TrustCheck& operator=(const TrustCheck&) = delete;

    std::uint32_t Result() const { return result_; }
    // The signer's certificate and the chain the check built, where it got that far.
    PCCERT_CONTEXT Signer(PCCERT_CHAIN_CONTEXT& chain) const {
        chain = nullptr;
        CRYPT_PROVIDER_DATA* provider = Api().WTHelperProvDataFromStateData(data_.hWVTStateData);
        if (!provider) return nullptr;
        CRYPT_PROVIDER_SGNR* signer = Api().WTHelperGetProvSignerFromChain(provider, 0, FALSE, 0);
        if (!signer) return nullptr;
        CRYPT_PROVIDER_CERT* cert = Api().WTHelperGetProvCertFromChain(signer, 0);
        if (!cert || !cert->pCert) return nullptr;
        chain = signer->pChainContext;
        return cert->pCert;
    }

private:
    WINTRUST_DATA& data_;
    std::uint32_t result_ = 0;
};

class CatalogAdmin {
public:
    explicit CatalogAdmin(CatalogHash kind) : kind_(kind) {
        GUID driverAction = DRIVER_ACTION_VERIFY;
        const SignatureApi& api = Api();
        if (api.acquire2 && api.calcHash2) {
            if (!api.acquire2(&admin_, &driverAction, kind == CatalogHash::Sha256 ? L"SHA256" : L"SHA1", nullptr, 0))
                admin_ = nullptr;
        } else if (kind == CatalogHash::Sha1 && !Api().CryptCATAdminAcquireContext(&admin_, &driverAction, 0)) {
            admin_ = nullptr;
        }
    }
    ~CatalogAdmin() {
        if (admin_) Api().CryptCATAdminReleaseContext(admin_, 0);
    }
    CatalogAdmin(const CatalogAdmin&) = delete;
    CatalogAdmin& operator=(const CatalogAdmin&) = delete;

    HCATADMIN Get() const { return admin_; }

    std::optional<std::string> Hash(HANDLE file) const {
        if (!admin_) return std::nullopt;
        const SignatureApi& api = Api();
        DWORD size = 0;
        BYTE buffer[64];
        size = sizeof buffer;
        const BOOL ok = api.calcHash2 ? api.calcHash2(admin_, file, &size, buffer, 0)
                                      : Api().CryptCATAdminCalcHashFromFileHandle(file, &size, buffer, 0);
        if (!ok || size == 0 || size > sizeof buffer) return std::nullopt;
        return std::string(reinterpret_cast<const char*>(buffer), size);
    }

private:
    CatalogHash kind_;
    HCATADMIN admin_ = nullptr;
};

std::wstring HexTag(std::string_view hash) {
    static const wchar_t digits[] = L"0123456789ABCDEF";
    std::wstring tag;
    for (unsigned char c : hash) {
        tag += digits[c >> 4];
        tag += digits[c & 15];
    }
    return tag;
}

}  // namespace

std::optional<std::string> Win32Platform::EnvironmentVariable(std::string_view name) {
    const std::wstring wname = Widen(name);
    const DWORD size = GetEnvironmentVariableW(wname.c_str(), nullptr, 0);
    if (size == 0) return std::nullopt;
    std::wstring value(size, L'\0');
    const DWORD got = GetEnvironmentVariableW(wname.c_str(), value.data(), size);
    if (got == 0 || got >= size) return std::nullopt;
    value.resize(got);
    return Narrow(value);
}

FileFacts Win32Platform::StatFile(std::string_view path) {
    FileFacts facts;
    const std::wstring wpath = Widen(path);
    if (OnNetwork(wpath)) {
        facts.network = true;
        return facts;
    }
    // A Run value names the 64-bit System32 for a 32-bit build too.
    const FsRedirectionOff native;
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExW(wpath.c_str(), GetFileExInfoStandard, &data)) return facts;
    facts.exists = true;
    facts.directory = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    facts.size = (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    facts.lastWrite =
        (static_cast<std::uint64_t>(data.ftLastWriteTime.dwHighDateTime) << 32) | data.ftLastWriteTime.dwLowDateTime;
    return facts;
}

std::optional<VersionFacts> Win32Platform::ReadVersionFacts(std::string_view path) {
    const std::wstring wpath = Widen(path);
    const FsRedirectionOff native;
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeW(wpath.c_str(), &ignored);
    if (size == 0) return std::nullopt;
    std::vector<BYTE> block(size);
    if (!GetFileVersionInfoW(wpath.c_str(), 0, size, block.data())) return std::nullopt;

    // The strings of the first language the resource lists, then the usual ones.
    std::vector<std::wstring> tables;
    struct Translation {
        WORD language, codePage;
    };
    Translation* translations = nullptr;
    UINT bytes = 0;
    if (VerQueryValueW(block.data(), L"\\VarFileInfo\\Translation", reinterpret_cast<void**>(&translations), &bytes) &&
        bytes >= sizeof(Translation)) {
        wchar_t table[16];
        wsprintfW(table, L"%04x%04x", translations[0].language, translations[0].codePage);
        tables.emplace_back(table);
    }
    for (const wchar_t* usual : {L"040904b0", L"040904e4", L"04090000"}) tables.emplace_back(usual);
    auto text = [&](const wchar_t* field) -> std::string {
        for (const auto& table : tables) {
            const std::wstring query = L"\\StringFileInfo\\" + table + L"\\" + field;
            wchar_t* value = nullptr;
            UINT chars = 0;
            if (VerQueryValueW(block.data(), query.c_str(), reinterpret_cast<void**>(&value), &chars) && value &&
                chars > 0) {
                std::wstring s(value, chars);
                s.resize(wcsnlen(s.c_str(), s.size()));
                return Narrow(s);
            }
        }
        return {};
    };
    VersionFacts facts;
    facts.company = text(L"CompanyName");
    facts.description = text(L"FileDescription");
    facts.fileVersion = text(L"FileVersion");
    return facts;
}

void Win32Platform::ExamineSigner(PCCERT_CONTEXT cert, PCCERT_CHAIN_CONTEXT chain, SignatureFacts& facts) {
    if (!cert) return;
    facts.signer = CommonName(cert);
    facts.issuer = IssuerName(cert);
    facts.thumbprintSha1 = Thumbprint(cert, L"SHA1");
    facts.thumbprintSha256 = Thumbprint(cert, L"SHA256");
    facts.notForCodeSigning = !ForCodeSigning(cert);

    // The chain the check built, or one built here, for code signing, from
    // what is on this computer and the signature itself.
    PCCERT_CHAIN_CONTEXT own = nullptr;
    if (!chain) {
        CERT_CHAIN_PARA para{};
        para.cbSize = sizeof para;
        LPSTR usage = const_cast<LPSTR>(szOID_PKIX_KP_CODE_SIGNING);
        para.RequestedUsage.dwType = USAGE_MATCH_TYPE_AND;
        para.RequestedUsage.Usage.cUsageIdentifier = 1;
        para.RequestedUsage.Usage.rgpszUsageIdentifier = &usage;
        if (Api().CertGetCertificateChain(nullptr, cert, nullptr, cert->hCertStore, &para,
                                    CERT_CHAIN_CACHE_ONLY_URL_RETRIEVAL, nullptr, &own))
            chain = own;
    }
    if (!chain || chain->cChain == 0) {
        facts.partialChain = true;
        facts.disallowed = Disallowed(cert);
    } else {
        const DWORD error = chain->TrustStatus.dwErrorStatus;
        facts.partialChain = (error & CERT_TRUST_IS_PARTIAL_CHAIN) != 0;
        facts.untrustedRoot = (error & CERT_TRUST_IS_UNTRUSTED_ROOT) != 0;
        if (error & CERT_TRUST_IS_NOT_VALID_FOR_USAGE) facts.notForCodeSigning = true;
        const CERT_SIMPLE_CHAIN* simple = chain->rgpChain[0];
        facts.disallowed = Disallowed(cert);
        for (DWORD i = 0; i < simple->cElement && !facts.disallowed; ++i)
            facts.disallowed = Disallowed(simple->rgpElement[i]->pCertContext);
    }
    if (own) Api().CertFreeCertificateChain(own);
}

bool Win32Platform::Disallowed(PCCERT_CONTEXT cert) {
    if (!disallowedOpened_) {
        disallowedOpened_ = true;
        const DWORD flags = CERT_STORE_READONLY_FLAG | CERT_STORE_OPEN_EXISTING_FLAG;
        disallowedUser_ =
            Api().CertOpenStore(CERT_STORE_PROV_SYSTEM_W, 0, 0, CERT_SYSTEM_STORE_CURRENT_USER | flags, L"Disallowed");
        disallowedMachine_ =
            Api().CertOpenStore(CERT_STORE_PROV_SYSTEM_W, 0, 0, CERT_SYSTEM_STORE_LOCAL_MACHINE | flags, L"Disallowed");
    }
    for (HCERTSTORE store : {disallowedUser_, disallowedMachine_}) {
        if (!store) continue;
        if (PCCERT_CONTEXT found = Api().CertFindCertificateInStore(store, kEncoding, 0, CERT_FIND_EXISTING, cert, nullptr)) {
            Api().CertFreeCertificateContext(found);
            return true;
        }
    }
    return false;
}

void Win32Platform::CloseTrustStores() {
    for (HCERTSTORE* store : {&disallowedUser_, &disallowedMachine_}) {
        if (*store) Api().CertCloseStore(*store, 0);
        *store = nullptr;
    }
    disallowedOpened_ = false;
}

SignatureFacts Win32Platform::VerifyEmbeddedSignature(std::string_view path) {
    SignatureFacts facts;
    if (!Api().loaded) {
        facts.unavailable = true;
        return facts;
    }
    const std::wstring wpath = Widen(path);
    const FsRedirectionOff native;
    // Opened here, sharing everything: a file held open exclusively is told
    // apart from one that has no signature.
    const UniqueFile file = OpenForReading(wpath);
    if (!file) {
        facts.opened = false;
        return facts;
    }
    WINTRUST_FILE_INFO info{};
    info.cbStruct = sizeof info;
    info.pcwszFilePath = wpath.c_str();
    info.hFile = file.Get();
    WINTRUST_DATA data{};
    data.dwUnionChoice = WTD_CHOICE_FILE;
    data.pFile = &info;
    const TrustCheck check(data);
    facts.code = check.Result();
    PCCERT_CHAIN_CONTEXT chain = nullptr;
    ExamineSigner(check.Signer(chain), chain, facts);
    return facts;
}

std::optional<std::string> Win32Platform::HashForCatalog(std::string_view path, CatalogHash kind) {
    if (!Api().loaded) return std::nullopt;
    const FsRedirectionOff native;
    const UniqueFile file = OpenForReading(Widen(path));
    if (!file) return std::nullopt;
    return CatalogAdmin(kind).Hash(file.Get());
}

std::optional<SignatureFacts> Win32Platform::VerifyCatalogSignature(std::string_view path, std::string_view hash,
                                                                    CatalogHash kind) {
    if (!Api().loaded) return std::nullopt;
    const CatalogAdmin admin(kind);
    if (!admin.Get()) return std::nullopt;
    std::vector<BYTE> bytes(hash.begin(), hash.end());
    HCATINFO catalog =
        Api().CryptCATAdminEnumCatalogFromHash(admin.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), 0, nullptr);
    if (!catalog) return std::nullopt;
    std::optional<SignatureFacts> result;
    CATALOG_INFO catalogInfo{};
    catalogInfo.cbStruct = sizeof catalogInfo;
    if (Api().CryptCATCatalogInfoFromContext(catalog, &catalogInfo, 0)) {
        const std::wstring wpath = Widen(path);
        const std::wstring tag = HexTag(hash);
        const FsRedirectionOff native;
        WINTRUST_CATALOG_INFO info{};
        info.cbStruct = sizeof info;
        info.pcwszCatalogFilePath = catalogInfo.wszCatalogFile;
        info.pcwszMemberFilePath = wpath.c_str();
        info.pcwszMemberTag = tag.c_str();
        info.pbCalculatedFileHash = bytes.data();
        info.cbCalculatedFileHash = static_cast<DWORD>(bytes.size());
        WINTRUST_DATA data{};
        data.dwUnionChoice = WTD_CHOICE_CATALOG;
        data.pCatalog = &info;
        const TrustCheck check(data);
        SignatureFacts facts;
        facts.code = check.Result();
        PCCERT_CHAIN_CONTEXT chain = nullptr;
        ExamineSigner(check.Signer(chain), chain, facts);
        if (facts.code != kNoSignature) result = facts;
    }
    Api().CryptCATAdminReleaseCatalogContext(admin.Get(), catalog, 0);
    return result;
}

}  // namespace vantorell::platform
