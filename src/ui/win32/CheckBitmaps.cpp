#include "ui/win32/CheckBitmaps.h"

#include <cstring>

namespace vantorell::ui::win32 {
namespace {

constexpr int kBytesPerPixel = 3;
// DIB rows are padded to a multiple of four bytes.
constexpr int kStride = (kCheckImageWidth * kBytesPerPixel + 3) & ~3;

std::size_t Slot(CheckImage image) {
    return static_cast<std::size_t>(image);
}

UniqueBitmap MakeDib(const CheckImagePixels& pixels) {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = kCheckImageWidth;
    info.bmiHeader.biHeight = -kCheckImageHeight;  // top-down, as the pixels are listed
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    UniqueBitmap bitmap(CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    if (!bitmap || !bits) return {};
    auto* rows = static_cast<unsigned char*>(bits);
    std::memset(rows, 0, static_cast<std::size_t>(kStride) * kCheckImageHeight);
    for (int y = 0; y < kCheckImageHeight; ++y) {
        unsigned char* out = rows + static_cast<std::ptrdiff_t>(y) * kStride;
        for (int x = 0; x < kCheckImageWidth; ++x) {
            const Rgb& p = pixels[static_cast<std::size_t>(y * kCheckImageWidth + x)];
            out[x * kBytesPerPixel + 0] = p.b;  // DIBs store blue, green, red
            out[x * kBytesPerPixel + 1] = p.g;
            out[x * kBytesPerPixel + 2] = p.r;
        }
    }
    GdiFlush();
    return bitmap;
}

}  // namespace

CheckBitmaps::CheckBitmaps() {
    for (CheckImage image : {CheckImage::CB, CheckImage::CBU, CheckImage::CBB, CheckImage::CBW})
        bitmaps_[Slot(image)] = MakeDib(CheckImageBitmap(image));
}

void CheckBitmaps::Draw(HDC target, CheckImage image, int x, int y, int width, int height) const {
    const UniqueBitmap& bitmap = bitmaps_[Slot(image)];
    if (!bitmap) return;
    UniqueMemoryDc source(CreateCompatibleDC(target));
    if (!source) return;
    SelectIn select(source.Get(), bitmap.Get());
    if (width == kCheckImageWidth && height == kCheckImageHeight) {
        BitBlt(target, x, y, width, height, source.Get(), 0, 0, SRCCOPY);
    } else {
        const int oldMode = SetStretchBltMode(target, COLORONCOLOR);
        StretchBlt(target, x, y, width, height, source.Get(), 0, 0, kCheckImageWidth, kCheckImageHeight, SRCCOPY);
        SetStretchBltMode(target, oldMode);
    }
}

}  // namespace vantorell::ui::win32
