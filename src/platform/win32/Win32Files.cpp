#include "platform/win32/Win32Files.h"

#include <shlobj.h>
#include <shobjidl.h>
#include <windows.h>

#include <algorithm>
#include <cstring>
#include <memory>

#include "platform/win32/Utf.h"
#include "platform/win32/WinHandles.h"

namespace vantorell::platform {

using win32::ComPtr;
using win32::ErrorText;
using win32::Narrow;
using win32::UniqueFile;
using win32::UniqueFind;
using win32::Widen;

namespace {

bool EndsWithLnk(std::wstring_view name) {
    return name.size() >= 4 && CompareStringOrdinal(name.data() + name.size() - 4, 4, L".lnk", 4, TRUE) == CSTR_EQUAL;
}

std::string ShortcutText(const wchar_t* buffer) {
    return Narrow(buffer);
}

// The show command as the .lnk header stores it (offset 0x3C of the 0x4C-byte
// header). Some shell versions do not hand it back after IPersistFile::Load.
std::optional<int> ShowCommandInHeader(const std::wstring& linkFile) {
    UniqueFile file(CreateFileW(linkFile.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return std::nullopt;
    unsigned char header[0x4C];
    DWORD got = 0;
    if (!::ReadFile(file.Get(), header, sizeof header, &got, nullptr) || got != sizeof header) return std::nullopt;
    DWORD size = 0, show = 0;
    std::memcpy(&size, header, 4);
    std::memcpy(&show, header + 0x3C, 4);
    if (size != sizeof header) return std::nullopt;
    return static_cast<int>(show);
}

}  // namespace

static std::string ItemTargetPath(IShellLinkW& link) {
    PIDLIST_ABSOLUTE item = nullptr;
    if (FAILED(link.GetIDList(&item)) || !item) return {};
    std::string path;
    PWSTR name = nullptr;
    if (SUCCEEDED(SHGetNameFromIDList(item, SIGDN_DESKTOPABSOLUTEPARSING, &name)) && name) {
        path = Narrow(name);
        CoTaskMemFree(name);
    }
    CoTaskMemFree(item);
    return path;
}

bool Win32Files::ReadShortcut(std::string_view linkFile, ShortcutData& out) {
    com_.Ensure();
    ComPtr<IShellLinkW> link;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW, link.PutVoid())))
        return false;
    ComPtr<IPersistFile> file;
    if (FAILED(link->QueryInterface(IID_IPersistFile, file.PutVoid()))) return false;
    const std::wstring path = Widen(linkFile);
    if (FAILED(file->Load(path.c_str(), STGM_READ))) return false;

    // A shortcut's texts can be far longer than MAX_PATH (arguments up to 32K
    // characters): read them whole, into a buffer that is not zero-filled, so
    // only the pages the texts reach are touched.
    constexpr int kChars = 32768;
    const std::unique_ptr<wchar_t[]> storage(new wchar_t[kChars]);
    wchar_t* buffer = storage.get();
    ShortcutData d;
    buffer[0] = 0;
    if (SUCCEEDED(link->GetPath(buffer, kChars, nullptr, SLGP_UNCPRIORITY))) d.target = ShortcutText(buffer);
    if (d.target.empty()) d.itemPath = ItemTargetPath(*link.Get());
    buffer[0] = 0;
    if (SUCCEEDED(link->GetArguments(buffer, kChars))) d.arguments = ShortcutText(buffer);
    buffer[0] = 0;
    if (SUCCEEDED(link->GetDescription(buffer, kChars))) d.description = ShortcutText(buffer);
    buffer[0] = 0;
    if (SUCCEEDED(link->GetWorkingDirectory(buffer, kChars))) d.workingDirectory = ShortcutText(buffer);
    buffer[0] = 0;
    int icon = 0;
    if (SUCCEEDED(link->GetIconLocation(buffer, kChars, &icon))) {
        d.iconFile = ShortcutText(buffer);
        d.iconIndex = icon;
    }
    WORD hotKey = 0;
    if (SUCCEEDED(link->GetHotkey(&hotKey))) d.hotKey = hotKey;
    int show = 0;
    if (SUCCEEDED(link->GetShowCmd(&show))) d.showCmd = show;
    if (auto stored = ShowCommandInHeader(path)) d.showCmd = *stored;
    out = std::move(d);
    return true;
}

bool Win32Files::WriteShortcut(std::string_view linkFile, const ShortcutData& d) {
    com_.Ensure();
    ComPtr<IShellLinkW> link;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW, link.PutVoid())))
        return false;
    link->SetArguments(Widen(d.arguments).c_str());
    link->SetDescription(Widen(d.description).c_str());
    link->SetHotkey(d.hotKey);
    if (!d.iconFile.empty()) link->SetIconLocation(Widen(d.iconFile).c_str(), d.iconIndex);
    if (FAILED(link->SetPath(Widen(d.target).c_str()))) return false;
    link->SetShowCmd(d.showCmd);
    link->SetWorkingDirectory(Widen(d.workingDirectory).c_str());
    ComPtr<IPersistFile> file;
    if (FAILED(link->QueryInterface(IID_IPersistFile, file.PutVoid()))) return false;
    const HRESULT hr = file->Save(Widen(linkFile).c_str(), TRUE);
    if (hr == E_ACCESSDENIED) denied_.Add();
    return SUCCEEDED(hr);
}

std::vector<std::string> Win32Files::ListShortcutFiles(std::string_view folder) {
    std::wstring pattern = Widen(folder);
    if (!pattern.empty() && pattern.back() != L'\\' && pattern.back() != L'/') pattern += L'\\';
    pattern += L"*.lnk";
    WIN32_FIND_DATAW fd;
    UniqueFind find(FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &fd, FindExSearchNameMatch, nullptr, 0));
    std::vector<std::string> names;
    if (!find) return names;
    do {
        constexpr DWORD kSkip = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
        // "*.lnk" also matches longer extensions through their short names; check the long name.
        if ((fd.dwFileAttributes & kSkip) == 0 && EndsWithLnk(fd.cFileName)) names.push_back(Narrow(fd.cFileName));
    } while (FindNextFileW(find.Get(), &fd));
    return names;
}

bool Win32Files::FolderListable(std::string_view folder) {
    std::wstring pattern = Widen(folder);
    if (!pattern.empty() && pattern.back() != L'\\' && pattern.back() != L'/') pattern += L'\\';
    pattern += L"*";
    WIN32_FIND_DATAW fd;
    UniqueFind find(FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &fd, FindExSearchNameMatch, nullptr, 0));
    if (find) return true;
    const DWORD error = GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND || error == ERROR_NO_MORE_FILES;
}

bool Win32Files::FileExists(std::string_view path) {
    const DWORD attributes = GetFileAttributesW(Widen(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool Win32Files::RemoveFile(std::string_view path) {
    if (DeleteFileW(Widen(path).c_str())) return true;
    denied_.Count(GetLastError());
    return false;
}

FileRead Win32Files::ReadFile(std::string_view path) {
    UniqueFile file(CreateFileW(Widen(path).c_str(), GENERIC_READ,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        const DWORD err = GetLastError();
        if (err == ERROR_FILE_NOT_FOUND || err == ERROR_PATH_NOT_FOUND) return {ReadOutcome::NotFound, {}, {}};
        return {ReadOutcome::Failed, {}, ErrorText(err)};
    }
    FileRead result{ReadOutcome::Ok, {}, {}};
    char chunk[64 * 1024];
    while (true) {
        DWORD got = 0;
        if (!::ReadFile(file.Get(), chunk, sizeof chunk, &got, nullptr))
            return {ReadOutcome::Failed, {}, ErrorText(GetLastError())};
        if (got == 0) break;
        result.bytes.append(chunk, got);
    }
    return result;
}

Status Win32Files::WriteFileAtomic(std::string_view path, std::string_view bytes) {
    const std::wstring target = Widen(path);
    const std::wstring temp = target + L".new";
    {
        UniqueFile file(
            CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file) return Status::Fail(ErrorText(denied_.Count(GetLastError())));
        std::size_t done = 0;
        while (done < bytes.size()) {
            std::size_t chunk = std::min<std::size_t>(bytes.size() - done, 1 << 20);
            if (writeLimit_) chunk = std::min(chunk, *writeLimit_ > done ? *writeLimit_ - done : 0);
            DWORD written = 0;
            if (chunk == 0 ||
                !::WriteFile(file.Get(), bytes.data() + done, static_cast<DWORD>(chunk), &written, nullptr)) {
                const DWORD err = chunk == 0 ? ERROR_DISK_FULL : GetLastError();
                file.Reset();
                DeleteFileW(temp.c_str());
                return Status::Fail(ErrorText(err));
            }
            done += written;
        }
        if (!FlushFileBuffers(file.Get())) {
            const DWORD err = GetLastError();
            file.Reset();
            DeleteFileW(temp.c_str());
            return Status::Fail(ErrorText(err));
        }
    }
    // A reader that has the file open for a moment (another copy, vantorellc,
    // a virus scanner) makes the replace fail with access denied or a sharing
    // violation: try again for a while before giving up.
    constexpr int kReplaceTries = 40;
    constexpr DWORD kReplacePauseMs = 25;
    for (int attempt = 1;; ++attempt) {
        if (MoveFileExW(temp.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
            return Status::Ok();
        const DWORD err = GetLastError();
        const bool busy = err == ERROR_ACCESS_DENIED || err == ERROR_SHARING_VIOLATION || err == ERROR_LOCK_VIOLATION;
        if (busy && attempt < kReplaceTries) {
            Sleep(kReplacePauseMs);
            continue;
        }
        denied_.Count(err);
        DeleteFileW(temp.c_str());
        return Status::Fail(ErrorText(err));
    }
}

bool Win32Files::CopyFileBytes(std::string_view from, std::string_view to) {
    const std::wstring source = Widen(from), target = Widen(to);
    // The folders first: SHCreateDirectoryExW makes every missing level.
    const auto slash = target.find_last_of(L"\\/");
    if (slash != std::wstring::npos && slash > 0) {
        const std::wstring folder = target.substr(0, slash);
        const DWORD attributes = GetFileAttributesW(folder.c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES) SHCreateDirectoryExW(nullptr, folder.c_str(), nullptr);
    }
    // Through a temporary file, so a failed copy never leaves half a file.
    const std::wstring temp = target + L".new";
    if (!CopyFileW(source.c_str(), temp.c_str(), FALSE)) {
        denied_.Count(GetLastError());
        return false;
    }
    if (!MoveFileExW(temp.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        denied_.Count(GetLastError());
        DeleteFileW(temp.c_str());
        return false;
    }
    return true;
}

std::optional<std::string> Win32Files::KnownFolderPath(KnownFolder folder) {
    const KNOWNFOLDERID& id = folder == KnownFolder::LocalAppData  ? FOLDERID_LocalAppData
                              : folder == KnownFolder::ProgramData ? FOLDERID_ProgramData
                                                                   : FOLDERID_Windows;
    PWSTR path = nullptr;
    const HRESULT hr = SHGetKnownFolderPath(id, 0, nullptr, &path);
    std::optional<std::string> result;
    if (SUCCEEDED(hr) && path && *path) {
        std::wstring text(path);
        while (text.size() > 3 && (text.back() == L'\\' || text.back() == L'/')) text.pop_back();
        result = Narrow(text);
    }
    CoTaskMemFree(path);
    return result;
}

bool Win32Files::CreateFolder(std::string_view path) {
    const std::wstring wide = Widen(path);
    const int rc = SHCreateDirectoryExW(nullptr, wide.c_str(), nullptr);
    if (rc == ERROR_SUCCESS) return true;
    const DWORD attributes = GetFileAttributesW(wide.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) return true;
    denied_.Count(static_cast<DWORD>(rc));
    return false;
}

}  // namespace vantorell::platform
