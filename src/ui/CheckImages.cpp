#include "ui/CheckImages.h"

namespace vantorell::ui {
namespace {

constexpr int kMargin = 1;                               // white, at the top, left and right
constexpr int kFrameSize = kCheckImageHeight - kMargin;  // the frame reaches the bottom edge
constexpr int kFrameThickness = 2;
static_assert(kMargin + kFrameSize + kMargin == kCheckImageWidth, "the frame is square and centred");

// The check mark: 7 columns, each a run of 3 pixels, falling then rising.
constexpr int kTickSize = 7;
constexpr int kTickRun = 3;
constexpr int kTickTop[kTickSize] = {2, 3, 4, 3, 2, 1, 0};
// Its top-left corner, one pixel inside the frame's inner edge.
constexpr int kTickLeft = kMargin + kFrameThickness + 1;
constexpr int kTickTopRow = kMargin + kFrameThickness + 1;
static_assert(kTickLeft + kTickSize <= kMargin + kFrameSize - kFrameThickness, "the tick fits inside the frame");

bool InFrame(int x, int y) {
    const int left = kMargin, top = kMargin, right = kMargin + kFrameSize, bottom = kMargin + kFrameSize;
    if (x < left || x >= right || y < top || y >= bottom) return false;
    return x < left + kFrameThickness || x >= right - kFrameThickness || y < top + kFrameThickness ||
           y >= bottom - kFrameThickness;
}

bool InInside(int x, int y) {
    const int first = kMargin + kFrameThickness, last = kMargin + kFrameSize - kFrameThickness;
    return x >= first && x < last && y >= first && y < last;
}

bool InTick(int x, int y) {
    const int column = x - kTickLeft;
    if (column < 0 || column >= kTickSize) return false;
    const int row = y - kTickTopRow - kTickTop[column];
    return row >= 0 && row < kTickRun;
}

}  // namespace

CheckImagePixels CheckImageBitmap(CheckImage image) {
    CheckImagePixels pixels;
    for (int y = 0; y < kCheckImageHeight; ++y) {
        for (int x = 0; x < kCheckImageWidth; ++x) {
            Rgb colour = kWhite;
            if (image == CheckImage::CBW) {
                // No tick, a grey frame and a shaded inside: not off by
                // Vantorell's hand, yet not started by Windows either.
                if (InFrame(x, y)) colour = kGrey;
                else if (InInside(x, y)) colour = kLightGrey;
            } else if (InFrame(x, y)) {
                colour = kBlack;
            } else if (image != CheckImage::CBU && InTick(x, y)) {
                colour = image == CheckImage::CB ? kBlack : kGrey;
            }
            pixels[static_cast<std::size_t>(y * kCheckImageWidth + x)] = colour;
        }
    }
    return pixels;
}

}  // namespace vantorell::ui
