// The grid's check-box images CB (black tick), CBU (empty) and CBB (grey tick),
// described as pixels so that any view can blit them.
#pragma once

#include <array>
#include <cstdint>

namespace vantorell::ui {

struct Rgb {
    std::uint8_t r = 0, g = 0, b = 0;
    friend bool operator==(const Rgb&, const Rgb&) = default;
};

inline constexpr Rgb kBlack{0, 0, 0};
inline constexpr Rgb kWhite{255, 255, 255};
inline constexpr Rgb kGrey{128, 128, 128};
inline constexpr Rgb kLightGrey{212, 212, 212};

enum class CheckImage {
    CB,   // box with a black tick: active entry, or confirm flag set
    CBU,  // empty box: disabled entry, or confirm flag clear
    CBB,  // box with a grey tick: deferred entry
    CBW,  // grey box, shaded inside: active entry that Windows' own switch has turned off
};

inline constexpr int kCheckImageWidth = 15;
inline constexpr int kCheckImageHeight = 14;

// 24-bit pixels, rows top to bottom, each row left to right.
using CheckImagePixels = std::array<Rgb, kCheckImageWidth * kCheckImageHeight>;

// On white: a black square frame 2 pixels thick with a 1-pixel white margin at
// the top, left and right and none at the bottom; inside it, for CB and CBB, a
// check mark 7 pixels high.
CheckImagePixels CheckImageBitmap(CheckImage image);

}  // namespace vantorell::ui
