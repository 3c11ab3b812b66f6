#include "FolderPicture.h"
#include "AddInError.h"
#include <array>
#include <cstring>
#include <vector>

namespace rud::pane {

namespace {

// K black outline, Y yellow, O olive shade, N navy arrow, W white highlight, '.' transparent.
constexpr const char* kRows[kFolderPictureSize] = {
    "........NNNN....",
    ".......N....N...",
    "............N.N.",
    ".............NN.",
    ".KKKK.......NNN.",
    "KWYYYK..........",
    "KYYYYYKKKKKKK...",
    "KYYYYYYYYYYYK...",
    "KYYYKKKKKKKKKKKK",
    "KYYKWYYYYYYYYYOK",
    "KYYKYYYYYYYYYYK.",
    "KYKWYYYYYYYYYOK.",
    "KYKYYYYYYYYYYK..",
    "KKWYYYYYYYYYOK..",
    "KKKKKKKKKKKKKK..",
    "................",
};

constexpr std::array<COLORREF, 16> kPalette = {
    RGB(0, 0, 0),     RGB(128, 0, 0),   RGB(0, 128, 0),   RGB(128, 128, 0),
    RGB(0, 0, 128),   RGB(128, 0, 128), RGB(0, 128, 128), RGB(192, 192, 192),
    RGB(128, 128, 128), RGB(255, 0, 0), RGB(0, 255, 0),   RGB(255, 255, 0),
    RGB(0, 0, 255),   RGB(255, 0, 255), RGB(0, 255, 255), RGB(255, 255, 255),
};

int IndexOf(char c) noexcept {
    switch (c) {
    case 'K': return 0;
    case 'O': return 3;
    case 'N': return 4;
    case 'Y': return 11;
    case 'W': return 15;
    default: return -1;
    }
}

} // namespace

int FolderPicturePixel(int x, int y) noexcept {
    if (x < 0 || y < 0 || x >= kFolderPictureSize || y >= kFolderPictureSize) return -1;
    const char* row = kRows[y];
    if (static_cast<int>(std::strlen(row)) <= x) return -1;
    return IndexOf(row[x]);
}

COLORREF StandardColor(int index) noexcept {
    return index >= 0 && index < 16 ? kPalette[static_cast<size_t>(index)] : RGB(0, 0, 0);
}

int FolderPictureScale(int dpi) noexcept { return dpi >= 192 ? dpi / 96 : 1; }

UniqueIcon MakeFolderPicture(int scale) {
    if (scale < 1) scale = 1;
    const int n = kFolderPictureSize * scale;
    // 4-bit rows padded to whole DWORDs, mask rows (1 bit) to whole WORDs.
    const int colorStride = ((n * 4 + 31) / 32) * 4;
    const int maskStride = ((n + 15) / 16) * 2;
    struct {
        BITMAPINFOHEADER header;
        RGBQUAD colors[16];
    } info{};
    info.header.biSize = sizeof info.header;
    info.header.biWidth = n;
    info.header.biHeight = -n;  // top-down rows
    info.header.biPlanes = 1;
    info.header.biBitCount = 4;
    info.header.biCompression = BI_RGB;
    info.header.biClrUsed = 16;
    for (int i = 0; i < 16; ++i)
        info.colors[i] = RGBQUAD{GetBValue(kPalette[i]), GetGValue(kPalette[i]), GetRValue(kPalette[i]), 0};

    void* bits = nullptr;
    UniqueBitmap color(CreateDIBSection(nullptr, reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS,
                                        &bits, nullptr, 0));
    if (!color || !bits) ThrowFailedCall(E_OUTOFMEMORY);
    // A set mask bit is transparent; transparent pixels stay black in the colour image.
    auto* colorBits = static_cast<BYTE*>(bits);
    std::vector<BYTE> maskBits(static_cast<size_t>(maskStride * n), 0);
    for (int y = 0; y < n; ++y) {
        for (int x = 0; x < n; ++x) {
            int index = FolderPicturePixel(x / scale, y / scale);
            BYTE value = static_cast<BYTE>(index < 0 ? 0 : index);
            BYTE& pair = colorBits[y * colorStride + x / 2];
            pair = static_cast<BYTE>(x % 2 ? (pair & 0xF0) | value : (pair & 0x0F) | (value << 4));
            if (index < 0) maskBits[static_cast<size_t>(y * maskStride + x / 8)] |= static_cast<BYTE>(0x80 >> (x % 8));
        }
    }
    GdiFlush();
    UniqueBitmap mask(CreateBitmap(n, n, 1, 1, maskBits.data()));
    if (!mask) ThrowFailedCall(E_OUTOFMEMORY);

    ICONINFO ii{};
    ii.fIcon = TRUE;
    ii.hbmColor = color.get();
    ii.hbmMask = mask.get();
    UniqueIcon icon(CreateIconIndirect(&ii));  // copies both bitmaps
    if (!icon) ThrowFailedCall(E_OUTOFMEMORY);
    return icon;
}

} // namespace rud::pane
