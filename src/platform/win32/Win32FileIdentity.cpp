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

#include <aclapi.h>
#include <bcrypt.h>
#include <sddl.h>
#include <winioctl.h>

#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/Text.h"
#include "platform/win32/Utf.h"
#include "platform/win32/Win32FileIdentity.h"
#include "platform/win32/WinHandles.h"

namespace vantorell::platform {
namespace {

using win32::FsRedirectionOff;
using win32::Narrow;
using win32::UniqueFile;
using win32::Widen;

constexpr DWORD kEncoding = X509_ASN_ENCODING | PKCS_7_ASN_ENCODING;
constexpr std::uint32_t kNoSignature = 0x800B0100;  // TRUST_E_NOSIGNATURE

// The system's signature functions, loaded from System32 on first use. The
// program in the tray examines files in a helper (see Processes::StartHelper)
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
        a.loaded = Bind(wintrust, "WinVerifyTrust", a.WinVerifyTrust) &&
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
                   Bind(crypt32, "CertOpenStore", a.CertOpenStore);
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

// How long a drive's type, or whether a folder leads elsewhere, is taken as
// known. Asking costs about 1 ms under Wine, ten times a file's attributes; a
// pass over a hundred entries on one drive asks once. A drive mapped to a
// share, or a link made, later than this is seen as one.
constexpr ULONGLONG kDriveTypeLifeMs = 10000;
// Links followed one into another, at most.
constexpr int kMostLinks = 8;

// Whether a drive or volume root ("C:\\", "\\?\Volume{...}\\") is a local
// fixed disk (or a RAM disk): what is not may be a share, or a drive that
// keeps the caller waiting.
bool LocalFixedRoot(const std::wstring& root) {
    struct Known {
        ULONGLONG at = 0;
        bool fixed = false;
    };
    static std::mutex mutex;
    static std::map<std::wstring, Known> known;  // by upper-case root
    std::wstring key = root;
    CharUpperBuffW(key.data(), static_cast<DWORD>(key.size()));
    const ULONGLONG now = GetTickCount64();
    const std::lock_guard<std::mutex> guard(mutex);
    Known& k = known[key];
    if (k.at != 0 && now - k.at < kDriveTypeLifeMs) return k.fixed;
    const UINT type = GetDriveTypeW(root.c_str());
    k = {now == 0 ? 1 : now, type == DRIVE_FIXED || type == DRIVE_RAMDISK};
    return k.fixed;
}

// Where the link (a symbolic link or a junction) at `path` leads, as the
// system keeps it ("\\??\UNC\server\share", "\\??\C:\\x", or a relative
// path); nullopt when it is no link. Read without following it.
std::optional<std::wstring> LinkTarget(const std::wstring& path, bool& relative) {
    relative = false;
    const UniqueFile link(CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                      FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!link) return std::nullopt;
    std::vector<BYTE> buffer(MAXIMUM_REPARSE_DATA_BUFFER_SIZE);
    DWORD got = 0;
    if (!DeviceIoControl(link.Get(), FSCTL_GET_REPARSE_POINT, nullptr, 0, buffer.data(),
                         static_cast<DWORD>(buffer.size()), &got, nullptr) ||
        got < 8)
        return std::nullopt;
    // The layout of REPARSE_DATA_BUFFER (a driver's header): tag, length,
    // reserved, then the names' offsets and lengths in bytes.
    DWORD tag = 0;
    std::memcpy(&tag, buffer.data(), sizeof tag);
    std::size_t names = 0;
    if (tag == IO_REPARSE_TAG_SYMLINK) {
        names = 8 + 12;
        ULONG flags = 0;
        std::memcpy(&flags, buffer.data() + 8 + 8, sizeof flags);
        relative = (flags & 1) != 0;  // SYMLINK_FLAG_RELATIVE
    } else if (tag == IO_REPARSE_TAG_MOUNT_POINT) {
        names = 8 + 8;
    } else {
        return std::nullopt;  // no link to another place (a cloud file, an app's alias)
    }
    USHORT offset = 0, length = 0;
    std::memcpy(&offset, buffer.data() + 8, sizeof offset);
    std::memcpy(&length, buffer.data() + 10, sizeof length);
    if (names + offset + length > got) return std::nullopt;
    return std::wstring(reinterpret_cast<const wchar_t*>(buffer.data() + names + offset), length / sizeof(wchar_t));
}

// Whether every folder of the path up to the file (and the file itself, with
// `fileToo`) is on a local fixed drive, the links among them followed to where
// they lead. Decided from the text, the drives' types and the links of folders
// already known to be local: nothing on a share is touched.
bool OnLocalFixedDrive(const std::wstring& path, bool fileToo = true, int depth = 0) {
    if (depth > kMostLinks) return false;
    text::PathPlace place = text::PlaceOfPath(Narrow(path));
    if (place.kind == text::PathPlace::Kind::Relative) {
        const DWORD needed = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
        if (needed == 0) return false;
        std::wstring full(needed, L'\0');
        const DWORD n = GetFullPathNameW(path.c_str(), needed, full.data(), nullptr);
        if (n == 0 || n >= needed) return false;
        full.resize(n);
        place = text::PlaceOfPath(Narrow(full));
    }
    if (place.kind != text::PathPlace::Kind::Drive && place.kind != text::PathPlace::Kind::Volume) return false;
    if (place.kind == text::PathPlace::Kind::Drive && place.rest.find("..") != std::string::npos &&
        depth < kMostLinks) {
        // "." and ".." as the system folds them, before the links are followed.
        const std::wstring whole = Widen(place.root + place.rest);
        const DWORD needed = GetFullPathNameW(whole.c_str(), 0, nullptr, nullptr);
        std::wstring full(needed, L'\0');
        const DWORD n = needed ? GetFullPathNameW(whole.c_str(), needed, full.data(), nullptr) : 0;
        if (n == 0 || n >= needed) return false;
        full.resize(n);
        if (full != whole) return OnLocalFixedDrive(full, fileToo, depth + 1);
    }
    const std::wstring root = Widen(place.root);
    if (!LocalFixedRoot(root)) return false;
    // Each step from the root: a link leads on from where it points.
    struct Known {
        ULONGLONG at = 0;
        std::optional<std::wstring> target;
        bool relative = false;
    };
    static std::mutex mutex;
    static std::map<std::wstring, Known> links;  // by upper-case path; bounded below
    const std::wstring rest = Widen(place.rest);
    std::wstring walked = root;
    std::size_t at = 0;
    while (at < rest.size()) {
        std::size_t end = rest.find_first_of(L"\\/", at);
        if (end == std::wstring::npos) end = rest.size();
        if (end == at) {
            ++at;
            continue;
        }
        const std::wstring part = rest.substr(at, end - at);
        // The file itself, when the caller reads its attributes anyway.
        if (!fileToo && rest.find_first_not_of(L"\\/", end) == std::wstring::npos) break;
        if (walked.back() != L'\\') walked += L'\\';
        walked += part;
        at = end;
        if (part == L"." || part == L"..") continue;  // the system folds them before it opens
        std::wstring key = walked;
        CharUpperBuffW(key.data(), static_cast<DWORD>(key.size()));
        const ULONGLONG now = GetTickCount64();
        Known known;
        {
            const std::lock_guard<std::mutex> guard(mutex);
            if (const auto it = links.find(key); it != links.end() && now - it->second.at < kDriveTypeLifeMs)
                known = it->second;
        }
        if (known.at == 0) {
            const DWORD attributes = GetFileAttributesW(walked.c_str());
            known.at = now == 0 ? 1 : now;
            if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT))
                known.target = LinkTarget(walked, known.relative);
            const std::lock_guard<std::mutex> guard(mutex);
            if (links.size() > 4096) links.clear();
            links[key] = known;
        }
        if (!known.target) continue;
        std::wstring next = known.relative ? walked.substr(0, walked.rfind(L'\\') + 1) + *known.target : *known.target;
        return OnLocalFixedDrive(next + rest.substr(at), fileToo, depth + 1);
    }
    return true;
}

UniqueFile OpenForReading(const std::wstring& path) {
    return UniqueFile(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                  nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
}

// SHA-256 through the system's BCrypt, loaded from System32 at first use.
struct HashApi {
    decltype(&::BCryptOpenAlgorithmProvider) open = nullptr;
    decltype(&::BCryptCreateHash) create = nullptr;
    decltype(&::BCryptHashData) data = nullptr;
    decltype(&::BCryptFinishHash) finish = nullptr;
    decltype(&::BCryptDestroyHash) destroy = nullptr;
    BCRYPT_ALG_HANDLE sha256 = nullptr;  // kept for the process's life
};

const HashApi& Hashing() {
    static const HashApi api = [] {
        HashApi a;
        const HMODULE bcrypt = SystemLibrary(L"bcrypt.dll");
        if (!Bind(bcrypt, "BCryptOpenAlgorithmProvider", a.open) || !Bind(bcrypt, "BCryptCreateHash", a.create) ||
            !Bind(bcrypt, "BCryptHashData", a.data) || !Bind(bcrypt, "BCryptFinishHash", a.finish) ||
            !Bind(bcrypt, "BCryptDestroyHash", a.destroy) || a.open(&a.sha256, BCRYPT_SHA256_ALGORITHM, nullptr, 0) < 0)
            a.sha256 = nullptr;
        return a;
    }();
    return api;
}

std::string Hex(const BYTE* bytes, std::size_t size) {
    static const char digits[] = "0123456789abcdef";
    std::string hex;
    for (std::size_t i = 0; i < size; ++i) {
        hex += digits[bytes[i] >> 4];
        hex += digits[bytes[i] & 15];
    }
    return hex;
}

// The change journal's number for the file, with the journal's own ID and the
// file's: empty where the volume keeps no journal (FAT, a share, Wine).
std::string JournalStamp(HANDLE file, const std::wstring& path) {
    BY_HANDLE_FILE_INFORMATION info{};
    if (!GetFileInformationByHandle(file, &info)) return {};
    BYTE buffer[1024];
    DWORD got = 0;
    if (!DeviceIoControl(file, FSCTL_READ_FILE_USN_DATA, nullptr, 0, buffer, sizeof buffer, &got, nullptr) || got < 8)
        return {};
    // USN_RECORD_V2 and V3: the number follows the file's and its folder's
    // references (8 bytes each in V2, 16 in V3).
    WORD major = 0;
    std::memcpy(&major, buffer + 4, sizeof major);
    const std::size_t usnAt = major == 2 ? 24 : major == 3 ? 40 : 0;
    if (usnAt == 0 || got < usnAt + 8) return {};
    LONGLONG usn = 0;
    std::memcpy(&usn, buffer + usnAt, sizeof usn);
    if (usn <= 0) return {};  // never journaled
    // The journal itself: one made again (after it was deleted, when changes
    // went unrecorded) has another ID.
    wchar_t mount[MAX_PATH + 1], volume[MAX_PATH + 1];
    if (!GetVolumePathNameW(path.c_str(), mount, MAX_PATH + 1) ||
        !GetVolumeNameForVolumeMountPointW(mount, volume, MAX_PATH + 1))
        return {};
    std::wstring device(volume);
    if (!device.empty() && device.back() == L'\\') device.pop_back();
    const UniqueFile handle(CreateFileW(device.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                        nullptr, OPEN_EXISTING, 0, nullptr));
    if (!handle) return {};
    USN_JOURNAL_DATA journal{};  // the first version of it: what every system answers
    if (!DeviceIoControl(handle.Get(), FSCTL_QUERY_USN_JOURNAL, nullptr, 0, &journal, sizeof journal, &got, nullptr))
        return {};
    if (usn < journal.FirstUsn || usn >= journal.NextUsn) return {};
    return "usn:" + std::to_string(info.dwVolumeSerialNumber) + ':' +
           std::to_string((static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow) + ':' +
           std::to_string(journal.UsnJournalID) + ':' + std::to_string(usn);
}

// SHA-256 of the file's content, read from its start.
std::string ContentStamp(HANDLE file) {
    const HashApi& api = Hashing();
    if (!api.sha256) return {};
    BCRYPT_HASH_HANDLE hash = nullptr;
    if (api.create(api.sha256, &hash, nullptr, 0, nullptr, 0, 0) < 0) return {};
    LARGE_INTEGER zero{};
    bool ok = SetFilePointerEx(file, zero, nullptr, FILE_BEGIN) != 0;
    std::vector<BYTE> buffer(256 * 1024);
    for (DWORD got = 0; ok;) {
        ok = ::ReadFile(file, buffer.data(), static_cast<DWORD>(buffer.size()), &got, nullptr) != 0;
        if (!ok || got == 0) break;
        ok = api.data(hash, buffer.data(), got, 0) >= 0;
    }
    BYTE digest[32];
    ok = ok && api.finish(hash, digest, sizeof digest, 0) >= 0;
    api.destroy(hash);
    return ok ? "sha256:" + Hex(digest, sizeof digest) : std::string();
}

// The file open for reading, and for nothing else to anyone: nobody can
// write, rename or delete it while held.
class Win32Hold final : public FileHold {
public:
    Win32Hold(UniqueFile file, std::wstring path) : file_(std::move(file)), path_(std::move(path)) {}
    std::string Stamp() override {
        if (!stamped_) {
            QuickStamp();
            if (stamp_.empty()) stamp_ = ContentStamp(file_.Get());
            stamped_ = true;
        }
        return stamp_;
    }
    std::string QuickStamp() override {
        if (!journaled_) {
            journaled_ = true;
            stamp_ = JournalStamp(file_.Get(), path_);
        }
        return stamp_.rfind("usn:", 0) == 0 ? stamp_ : std::string();
    }

private:
    UniqueFile file_;
    std::wstring path_;
    std::string stamp_;
    bool stamped_ = false, journaled_ = false;
};

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
    return Hex(hash, size);
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

// WinVerifyTrust without any user interface (WTD_UI_NONE, no owner window),
// never fetching anything: the state data stays open for the caller to read the
// signer from. No INVALID_HANDLE_VALUE for the window: Wine then asks for the
// desktop's window, which in a process that has none starts the desktop's
// process (about 100 ms of a console command).
class TrustCheck {
public:
    explicit TrustCheck(WINTRUST_DATA& data) : data_(data) {
        data_.cbStruct = sizeof data_;
        data_.dwUIChoice = WTD_UI_NONE;
        data_.fdwRevocationChecks = WTD_REVOKE_NONE;
        data_.dwStateAction = WTD_STATEACTION_VERIFY;
        data_.dwProvFlags = WTD_CACHE_ONLY_URL_RETRIEVAL | WTD_REVOCATION_CHECK_NONE;
        GUID action = WINTRUST_ACTION_GENERIC_VERIFY_V2;
        result_ =
            static_cast<std::uint32_t>(Api().WinVerifyTrust(nullptr, &action, &data_));
    }
    ~TrustCheck() {
        data_.dwStateAction = WTD_STATEACTION_CLOSE;
        GUID action = WINTRUST_ACTION_GENERIC_VERIFY_V2;
        Api().WinVerifyTrust(nullptr, &action, &data_);
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

FileFacts Win32FileIdentity::StatFile(std::string_view path) {
    FileFacts facts;
    const std::wstring wpath = Widen(path);
    // A Run value names the 64-bit System32 for a 32-bit build too.
    const FsRedirectionOff native;
    // The folders first; then the file's own attributes, which are those of
    // a link itself where the file is one: where it leads is looked at next.
    WIN32_FILE_ATTRIBUTE_DATA data{};
    const bool local = OnLocalFixedDrive(wpath, false);
    if (local && !GetFileAttributesExW(wpath.c_str(), GetFileExInfoStandard, &data)) return facts;
    if (!local || ((data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) && !OnLocalFixedDrive(wpath))) {
        facts.network = true;
        return facts;
    }
    facts.exists = true;
    facts.directory = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    facts.size = (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    facts.lastWrite =
        (static_cast<std::uint64_t>(data.ftLastWriteTime.dwHighDateTime) << 32) | data.ftLastWriteTime.dwLowDateTime;
    return facts;
}

std::unique_ptr<FileHold> Win32FileIdentity::HoldFile(std::string_view path) {
    const std::wstring wpath = Widen(path);
    const FsRedirectionOff native;
    if (!OnLocalFixedDrive(wpath)) return nullptr;
    UniqueFile file(CreateFileW(wpath.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!file) return nullptr;
    return std::make_unique<Win32Hold>(std::move(file), wpath);
}

bool Win32FileIdentity::AdministratorsOnlyFolder(std::string_view path) {
    const std::wstring wpath = Widen(path);
    DWORD attributes = GetFileAttributesW(wpath.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        PSECURITY_DESCRIPTOR made = nullptr;
        if (ConvertStringSecurityDescriptorToSecurityDescriptorW(
                L"O:BAD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;BU)", SDDL_REVISION_1, &made, nullptr)) {
            SECURITY_ATTRIBUTES rights{sizeof rights, made, FALSE};
            CreateDirectoryW(wpath.c_str(), &rights);
            LocalFree(made);
        }
        attributes = GetFileAttributesW(wpath.c_str());
    }
    // A link could lead anywhere, and a folder elsewhere may be anyone's.
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY) ||
        (attributes & FILE_ATTRIBUTE_REPARSE_POINT))
        return false;
    PSID owner = nullptr;
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (GetNamedSecurityInfoW(wpath.c_str(), SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
                              &owner, nullptr, &dacl, nullptr, &descriptor) != ERROR_SUCCESS)
        return false;
    auto administrative = [](PSID sid) {
        return IsWellKnownSid(sid, WinBuiltinAdministratorsSid) || IsWellKnownSid(sid, WinLocalSystemSid);
    };
    // The owner may change the rights; CREATOR OWNER is whoever makes a file
    // here, which only those who may write can.
    bool only = owner && dacl && administrative(owner);
    constexpr DWORD kWrites = FILE_WRITE_DATA | FILE_APPEND_DATA | FILE_WRITE_EA | FILE_WRITE_ATTRIBUTES |
                              FILE_DELETE_CHILD | DELETE | WRITE_DAC | WRITE_OWNER | GENERIC_WRITE | GENERIC_ALL;
    for (DWORD i = 0; only && i < dacl->AceCount; ++i) {
        void* ace = nullptr;
        if (!GetAce(dacl, i, &ace)) {
            only = false;
            break;
        }
        const auto* header = static_cast<const ACE_HEADER*>(ace);
        if (header->AceType == ACCESS_DENIED_ACE_TYPE) continue;
        if (header->AceType != ACCESS_ALLOWED_ACE_TYPE) {
            only = false;  // a kind not read here: not made sure of
            break;
        }
        const auto* allowed = static_cast<const ACCESS_ALLOWED_ACE*>(ace);
        PSID sid = const_cast<DWORD*>(&allowed->SidStart);
        if ((allowed->Mask & kWrites) && !administrative(sid) && !IsWellKnownSid(sid, WinCreatorOwnerSid)) only = false;
    }
    LocalFree(descriptor);
    return only;
}

std::optional<VersionFacts> Win32FileIdentity::ReadVersionFacts(std::string_view path) {
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

void Win32FileIdentity::ExamineSigner(PCCERT_CONTEXT cert, PCCERT_CHAIN_CONTEXT chain, SignatureFacts& facts) {
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

bool Win32FileIdentity::Disallowed(PCCERT_CONTEXT cert) {
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
        if (PCCERT_CONTEXT found =
                Api().CertFindCertificateInStore(store, kEncoding, 0, CERT_FIND_EXISTING, cert, nullptr)) {
            Api().CertFreeCertificateContext(found);
            return true;
        }
    }
    return false;
}

void Win32FileIdentity::CloseTrustStores() {
    for (HCERTSTORE* store : {&disallowedUser_, &disallowedMachine_}) {
        if (*store) Api().CertCloseStore(*store, 0);
        *store = nullptr;
    }
    disallowedOpened_ = false;
}

SignatureFacts Win32FileIdentity::VerifyEmbeddedSignature(std::string_view path) {
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

std::optional<std::string> Win32FileIdentity::HashForCatalog(std::string_view path, CatalogHash kind) {
    if (!Api().loaded) return std::nullopt;
    const FsRedirectionOff native;
    const UniqueFile file = OpenForReading(Widen(path));
    if (!file) return std::nullopt;
    return CatalogAdmin(kind).Hash(file.Get());
}

std::optional<SignatureFacts> Win32FileIdentity::VerifyCatalogSignature(std::string_view path, std::string_view hash,
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
