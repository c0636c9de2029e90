// Dots per inch of a window's monitor, and layout pixels (given at 96 DPI)
// scaled to it. The newer DPI functions are looked up at run time, so the
// program still starts on systems that lack them.
#pragma once

#include <windows.h>

namespace vantorell::ui::win32 {

inline constexpr UINT kBaseDpi = 96;

// The DPI of the monitor that shows `window` (the system DPI when the system
// cannot tell per monitor).
UINT DpiOfWindow(HWND window);
// The DPI of the primary monitor, for a window that does not exist yet.
UINT SystemDpi();
// `pixels` at 96 DPI scaled to `dpi`, rounded to nearest.
int Scale(int pixels, UINT dpi);
// The outer size of a window with this client size, style and DPI.
SIZE OuterSize(int clientWidth, int clientHeight, DWORD style, DWORD exStyle, UINT dpi);

}  // namespace vantorell::ui::win32
