// The grid's check-box images CB, CBU, CBB and CBW as 24-bit DIB sections, built
// once from their pixels and copied onto a cell with BitBlt.
#pragma once

#include <windows.h>

#include <array>

#include "ui/CheckImages.h"
#include "ui/win32/GdiHandles.h"

namespace vantorell::ui::win32 {

class CheckBitmaps {
public:
    CheckBitmaps();

    // Copies the image's 15 x 14 pixels to (x, y); scaled to width x height
    // (pixel doubling, no smoothing) when those differ from the image's size.
    void Draw(HDC target, CheckImage image, int x, int y, int width, int height) const;

private:
    std::array<UniqueBitmap, 4> bitmaps_;
};

}  // namespace vantorell::ui::win32
