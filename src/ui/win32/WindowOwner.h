// The link from a window to the C++ object that owns it: stored on
// WM_NCCREATE (from CreateWindowExW's last argument), dropped on WM_NCDESTROY.
#pragma once

#include <windows.h>

namespace vantorell::ui::win32 {

// The object a window procedure forwards `message` to; nullptr when the message
// belongs to DefWindowProcW (before WM_NCCREATE, and WM_NCDESTROY itself).
// `handle` is the object's member that holds its window.
template <typename T>
T* WindowOwner(HWND window, UINT message, LPARAM lParam, HWND T::*handle) {
    auto* self = reinterpret_cast<T*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (message == WM_NCCREATE) {
        self = static_cast<T*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
        self->*handle = window;
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    } else if (message == WM_NCDESTROY && self) {
        SetWindowLongPtrW(window, GWLP_USERDATA, 0);
        self->*handle = nullptr;
        return nullptr;
    }
    return self;
}

}  // namespace vantorell::ui::win32
