// One small move-only owner per handle kind. Copies are deleted, so a handle
// is never closed twice.
#pragma once

#include <objbase.h>
#include <windows.h>

#include <utility>

namespace vantorell::win32 {

template <typename H, typename Traits>
class UniqueOwner {
public:
    UniqueOwner() = default;
    explicit UniqueOwner(H h) : h_(h) {}
    UniqueOwner(const UniqueOwner&) = delete;
    UniqueOwner& operator=(const UniqueOwner&) = delete;
    UniqueOwner(UniqueOwner&& o) noexcept : h_(std::exchange(o.h_, Traits::Invalid())) {}
    UniqueOwner& operator=(UniqueOwner&& o) noexcept {
        if (this != &o) Reset(std::exchange(o.h_, Traits::Invalid()));
        return *this;
    }
    ~UniqueOwner() { Reset(); }

    H Get() const { return h_; }
    explicit operator bool() const { return h_ != Traits::Invalid(); }
    H* Put() {
        Reset();
        return &h_;
    }
    void Reset(H h = Traits::Invalid()) {
        if (h_ != Traits::Invalid()) Traits::Close(h_);
        h_ = h;
    }
    H Release() { return std::exchange(h_, Traits::Invalid()); }

private:
    H h_ = Traits::Invalid();
};

struct HKeyTraits {
    static HKEY Invalid() { return nullptr; }
    static void Close(HKEY h) { RegCloseKey(h); }
};
struct HandleTraits {  // handles whose "none" is null (mutexes, processes)
    static HANDLE Invalid() { return nullptr; }
    static void Close(HANDLE h) { CloseHandle(h); }
};
struct FileHandleTraits {  // CreateFile's "none" is INVALID_HANDLE_VALUE
    static HANDLE Invalid() { return INVALID_HANDLE_VALUE; }
    static void Close(HANDLE h) { CloseHandle(h); }
};
struct FindHandleTraits {
    static HANDLE Invalid() { return INVALID_HANDLE_VALUE; }
    static void Close(HANDLE h) { FindClose(h); }
};

using UniqueHKey = UniqueOwner<HKEY, HKeyTraits>;
using UniqueHandle = UniqueOwner<HANDLE, HandleTraits>;
using UniqueFile = UniqueOwner<HANDLE, FileHandleTraits>;
using UniqueFind = UniqueOwner<HANDLE, FindHandleTraits>;

// A COM interface pointer, released once.
template <typename T>
class ComPtr {
public:
    ComPtr() = default;
    ComPtr(const ComPtr&) = delete;
    ComPtr& operator=(const ComPtr&) = delete;
    ComPtr(ComPtr&& o) noexcept : p_(std::exchange(o.p_, nullptr)) {}
    ~ComPtr() {
        if (p_) p_->Release();
    }
    T* operator->() const { return p_; }
    T* Get() const { return p_; }
    explicit operator bool() const { return p_ != nullptr; }
    T** Put() {
        if (p_) p_->Release();
        p_ = nullptr;
        return &p_;
    }
    void** PutVoid() { return reinterpret_cast<void**>(Put()); }

private:
    T* p_ = nullptr;
};

// Keeps COM initialised on the thread that made it while it lives: from the
// start, or (OnFirstUse) from the first Ensure() on that thread. A program that
// reads no shortcut then never starts COM, whose apartment needs the desktop's
// window (under Wine, starting the desktop's process: about 100 ms of every run
// of the console companion). Ensure() on another thread does nothing: those
// threads keep COM as they had it.
class ComScope {
public:
    enum class Start { Now, OnFirstUse };
    explicit ComScope(Start start = Start::Now) : thread_(GetCurrentThreadId()) {
        if (start == Start::Now) Ensure();
    }
    ComScope(const ComScope&) = delete;
    ComScope& operator=(const ComScope&) = delete;
    ~ComScope() {
        if (ok_) CoUninitialize();
    }

    void Ensure() {
        if (tried_ || GetCurrentThreadId() != thread_) return;
        tried_ = true;
        ok_ = SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
    }

private:
    DWORD thread_;
    bool tried_ = false;
    bool ok_ = false;
};

// Turns WOW64 file-system redirection off on this thread while it lives (a
// 32-bit build on 64-bit Windows); does nothing elsewhere.
class FsRedirectionOff {
public:
    FsRedirectionOff() {
#ifndef _WIN64
        off_ = Wow64DisableWow64FsRedirection(&old_) != FALSE;
#endif
    }
    FsRedirectionOff(const FsRedirectionOff&) = delete;
    FsRedirectionOff& operator=(const FsRedirectionOff&) = delete;
    ~FsRedirectionOff() {
        if (off_) Wow64RevertWow64FsRedirection(old_);
    }

private:
    void* old_ = nullptr;
    bool off_ = false;
};

}  // namespace vantorell::win32
