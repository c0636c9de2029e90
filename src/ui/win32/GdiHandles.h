// Owners for the GDI and common-control handles of the views, built on the
// platform's UniqueOwner (copies deleted, one release each).
#pragma once

#include <windows.h>

#include <commctrl.h>  // needs <windows.h> first

#include "platform/win32/WinHandles.h"

namespace vantorell::ui::win32 {

template <typename H>
struct GdiObjectTraits {
    static H Invalid() { return nullptr; }
    static void Close(H h) { DeleteObject(h); }
};
struct MemoryDcTraits {
    static HDC Invalid() { return nullptr; }
    static void Close(HDC h) { DeleteDC(h); }
};
struct ImageListTraits {
    static HIMAGELIST Invalid() { return nullptr; }
    static void Close(HIMAGELIST h) { ImageList_Destroy(h); }
};
struct AcceleratorTraits {
    static HACCEL Invalid() { return nullptr; }
    static void Close(HACCEL h) { DestroyAcceleratorTable(h); }
};
struct MenuTraits {
    static HMENU Invalid() { return nullptr; }
    static void Close(HMENU h) { DestroyMenu(h); }
};
struct IconTraits {
    static HICON Invalid() { return nullptr; }
    static void Close(HICON h) { DestroyIcon(h); }
};

using UniqueFont = vantorell::win32::UniqueOwner<HFONT, GdiObjectTraits<HFONT>>;
using UniqueBitmap = vantorell::win32::UniqueOwner<HBITMAP, GdiObjectTraits<HBITMAP>>;
using UniqueBrush = vantorell::win32::UniqueOwner<HBRUSH, GdiObjectTraits<HBRUSH>>;
using UniqueMemoryDc = vantorell::win32::UniqueOwner<HDC, MemoryDcTraits>;
using UniqueImageList = vantorell::win32::UniqueOwner<HIMAGELIST, ImageListTraits>;
using UniqueMenu = vantorell::win32::UniqueOwner<HMENU, MenuTraits>;
using UniqueIcon = vantorell::win32::UniqueOwner<HICON, IconTraits>;
using UniqueAccelerators = vantorell::win32::UniqueOwner<HACCEL, AcceleratorTraits>;

// Selects an object into a DC for a scope and puts the old one back.
class SelectIn {
public:
    SelectIn(HDC dc, HGDIOBJ object) : dc_(dc), old_(SelectObject(dc, object)) {}
    SelectIn(const SelectIn&) = delete;
    SelectIn& operator=(const SelectIn&) = delete;
    ~SelectIn() { SelectObject(dc_, old_); }

private:
    HDC dc_;
    HGDIOBJ old_;
};

}  // namespace vantorell::ui::win32
