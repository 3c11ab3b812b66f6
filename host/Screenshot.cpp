#include "Host.h"
#include "DocumentModel.h"
#include "Raii.h"
#include <vector>

#define STB_IMAGE_WRITE_IMPLEMENTATION
#define STBI_WRITE_NO_STDIO
#include <stb/stb_image_write.h>

namespace kvhost {

namespace {
void Append(void* context, void* data, int size) {
    auto* out = static_cast<std::string*>(context);
    out->append(static_cast<const char*>(data), static_cast<size_t>(size));
}
} // namespace

void SaveWindowPng(HWND window, const std::wstring& path) {
    RECT r{};
    if (!window || !GetWindowRect(window, &r)) throw HostError(E_INVALIDARG, L"no window to capture");
    const int w = r.right - r.left, h = r.bottom - r.top;
    if (w <= 0 || h <= 0) throw HostError(E_INVALIDARG, L"the window has no area");
    RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN | RDW_FRAME);

    HDC src = GetWindowDC(window);
    if (!src) throw HostError(E_FAIL, L"cannot read the window");
    HDC mem = CreateCompatibleDC(src);
    rud::UniqueBitmap bmp(CreateCompatibleBitmap(src, w, h));
    std::vector<unsigned char> bgra(static_cast<size_t>(w) * h * 4);
    bool ok = false;
    if (mem && bmp) {
        HGDIOBJ old = SelectObject(mem, bmp.get());
        ok = BitBlt(mem, 0, 0, w, h, src, 0, 0, SRCCOPY) != FALSE;
        SelectObject(mem, old);
        BITMAPINFO bi{};
        bi.bmiHeader.biSize = sizeof bi.bmiHeader;
        bi.bmiHeader.biWidth = w;
        bi.bmiHeader.biHeight = -h;  // top row first
        bi.bmiHeader.biPlanes = 1;
        bi.bmiHeader.biBitCount = 32;
        bi.bmiHeader.biCompression = BI_RGB;
        ok = ok && GetDIBits(mem, bmp.get(), 0, static_cast<UINT>(h), bgra.data(), &bi, DIB_RGB_COLORS) == h;
    }
    if (mem) DeleteDC(mem);
    ReleaseDC(window, src);
    if (!ok) throw HostError(E_FAIL, L"cannot copy the window's pixels");

    std::vector<unsigned char> rgb(static_cast<size_t>(w) * h * 3);
    for (size_t i = 0, n = static_cast<size_t>(w) * h; i < n; ++i) {
        rgb[i * 3 + 0] = bgra[i * 4 + 2];
        rgb[i * 3 + 1] = bgra[i * 4 + 1];
        rgb[i * 3 + 2] = bgra[i * 4 + 0];
    }
    std::string png;
    if (!stbi_write_png_to_func(&Append, &png, w, h, 3, rgb.data(), w * 3))
        throw HostError(E_FAIL, L"cannot encode the PNG image");
    WriteFileBytes(path, png);
}

} // namespace kvhost
