// Build-time tool, run under Wine: draws the server's bitmaps and writes the "_IID_MYADDIN" blob.
//
//   MakeResources <output folder>     (Windows path)
// writes bitmap101.bmp ... bitmap105.bmp (8 bits per pixel, 256-entry palettes) and iid_myaddin.bin.
#include "Identity.h"
#include <windows.h>
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using Palette = std::array<RGBQUAD, 256>;

RGBQUAD Rgb(int r, int g, int b) {
    return RGBQUAD{static_cast<BYTE>(b), static_cast<BYTE>(g), static_cast<BYTE>(r), 0};
}

// An 8-bit image: one palette index per pixel, row 0 at the top.
struct Image {
    int width, height;
    std::vector<std::uint8_t> pixels;
    Image(int w, int h, std::uint8_t background) : width(w), height(h), pixels(static_cast<size_t>(w * h), background) {}
    std::uint8_t& at(int x, int y) { return pixels[static_cast<size_t>(y * width + x)]; }
    bool inside(int x, int y) const { return x >= 0 && y >= 0 && x < width && y < height; }
};

// Colour palettes: the first entries carry the drawing colours, the rest a 6x6x6 colour cube and
// a grey ramp so that the table is a full 256 entries.
enum : std::uint8_t { kBack = 0, kBlue = 1, kRed = 2, kYellow = 3, kOrange = 4 };

Palette ColourPalette(RGBQUAD background) {
    Palette p{};
    p[kBack] = background;
    p[kBlue] = Rgb(0, 0, 255);
    p[kRed] = Rgb(255, 0, 0);
    p[kYellow] = Rgb(255, 255, 0);
    p[kOrange] = Rgb(255, 128, 0);
    size_t i = 5;
    for (int r = 0; r < 6; ++r)
        for (int g = 0; g < 6; ++g)
            for (int b = 0; b < 6; ++b) p[i++] = Rgb(r * 51, g * 51, b * 51);
    for (int k = 0; i < p.size(); ++i, ++k) p[i] = Rgb(8 + k * 8, 8 + k * 8, 8 + k * 8);
    return p;
}

// 256 grey levels: entry i is (i, i, i).
Palette GreyPalette() {
    Palette p{};
    for (int i = 0; i < 256; ++i) p[static_cast<size_t>(i)] = Rgb(i, i, i);
    return p;
}

// 5 x 7 glyphs of the digits 1, 2 and 3.
constexpr std::array<std::array<const char*, 7>, 3> kDigits = {{
    {"..#..", ".##..", "..#..", "..#..", "..#..", "..#..", ".###."},
    {".###.", "#...#", "....#", "...#.", "..#..", ".#...", "#####"},
    {"####.", "....#", "....#", ".###.", "....#", "....#", "####."},
}};

// The three digits side by side in cells of cell x cell pixels: the glyph filled with `fill`, the
// pixels round it (8-neighbourhood) in `outline`.
Image Digits(int cell, std::uint8_t background, std::uint8_t fill, std::uint8_t outline) {
    Image img(cell * 3, cell, background);
    const int scale = cell / 8;               // 2 at 16 px, 3 at 24 px
    const int gw = 5 * scale, gh = 7 * scale;
    for (int d = 0; d < 3; ++d) {
        const int ox = d * cell + (cell - gw) / 2, oy = (cell - gh) / 2;
        auto glyph = [&](int x, int y) {
            int gx = x - ox, gy = y - oy;
            if (gx < 0 || gy < 0 || gx >= gw || gy >= gh) return false;
            return kDigits[static_cast<size_t>(d)][static_cast<size_t>(gy / scale)][gx / scale] == '#';
        };
        for (int y = 0; y < cell; ++y)
            for (int x = d * cell; x < (d + 1) * cell; ++x) {
                if (glyph(x, y)) { img.at(x, y) = fill; continue; }
                for (int dy = -1; dy <= 1; ++dy)
                    for (int dx = -1; dx <= 1; ++dx)
                        if (glyph(x + dx, y + dy)) img.at(x, y) = outline;
            }
    }
    return img;
}

// The emblem: a funnel (yellow bowl, orange spout) inside a blue triangle outline with rounded
// corners.
Image Emblem() {
    Image img(20, 20, kBack);
    // Triangle (10,1) (1,18) (18,18) as three half-planes; a pixel is on the outline when it is
    // inside and within 1.2 px of an edge, and the corners are cut round.
    struct Edge { double a, b, c; };
    // Signed distance to the edge's line, positive on the side of the centre (10, 12).
    auto edge = [](double x1, double y1, double x2, double y2) {
        double a = y2 - y1, b = x1 - x2, len = std::sqrt(a * a + b * b);
        Edge e{a / len, b / len, -(a * x1 + b * y1) / len};
        if (e.a * 10 + e.b * 12 + e.c < 0) e = Edge{-e.a, -e.b, -e.c};
        return e;
    };
    const Edge edges[3] = {edge(10, 1, 1, 18), edge(1, 18, 18, 18), edge(18, 18, 10, 1)};
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 20; ++x) {
            double px = x + 0.5, py = y + 0.5, nearest = 1e9;
            bool in = true;
            for (const Edge& e : edges) {
                double d = e.a * px + e.b * py + e.c;
                if (d < -0.2) in = false;
                nearest = std::min(nearest, d);
            }
            bool corner = (py < 2.5) || (py > 17.5 && (px < 2.5 || px > 17.5));
            if (in && nearest < 1.2 && !(corner && nearest < -0.05)) img.at(x, y) = kBlue;
        }
    // Funnel: a bowl narrowing from 8 px to 2 px over rows 8..12, a spout in rows 13..15.
    for (int y = 8; y <= 12; ++y) {
        int half = 4 - (y - 8) * 3 / 4;
        for (int x = 10 - half; x < 10 + half; ++x) img.at(x, y) = kYellow;
    }
    for (int y = 13; y <= 15; ++y)
        for (int x = 9; x <= 10; ++x) img.at(x, y) = kOrange;
    return img;
}

void WriteFile(const std::wstring& path, const std::vector<std::uint8_t>& bytes) {
    FILE* f = _wfopen(path.c_str(), L"wb");
    if (!f) throw std::runtime_error("cannot create an output file");
    size_t n = std::fwrite(bytes.data(), 1, bytes.size(), f);
    if (std::fclose(f) != 0 || n != bytes.size()) throw std::runtime_error("cannot write an output file");
}

template <typename T> void Append(std::vector<std::uint8_t>& out, const T& v) {
    auto p = reinterpret_cast<const std::uint8_t*>(&v);
    out.insert(out.end(), p, p + sizeof(T));
}

// A bottom-up 8-bit BMP file with a full 256-entry palette.
std::vector<std::uint8_t> Bmp(const Image& img, const Palette& palette) {
    const int stride = (img.width + 3) & ~3;
    BITMAPINFOHEADER info{};
    info.biSize = sizeof info;
    info.biWidth = img.width;
    info.biHeight = img.height;
    info.biPlanes = 1;
    info.biBitCount = 8;
    info.biCompression = BI_RGB;
    info.biSizeImage = static_cast<DWORD>(stride * img.height);
    info.biClrUsed = 256;
    BITMAPFILEHEADER file{};
    file.bfType = 0x4D42;  // "BM"
    file.bfOffBits = sizeof file + sizeof info + sizeof palette;
    file.bfSize = file.bfOffBits + info.biSizeImage;
    std::vector<std::uint8_t> out;
    Append(out, file);
    Append(out, info);
    Append(out, palette);
    for (int y = img.height - 1; y >= 0; --y) {
        auto row = img.pixels.begin() + y * img.width;
        out.insert(out.end(), row, row + img.width);
        out.insert(out.end(), static_cast<size_t>(stride - img.width), 0);
    }
    return out;
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 2) {
        std::fputs("usage: MakeResources <output folder>\n", stderr);
        return 2;
    }
    try {
        const std::wstring dir = std::wstring(argv[1]) + L"\\";
        const Palette colour = ColourPalette(Rgb(0xD5, 0xD2, 0xCE));
        const Palette grey = GreyPalette();
        constexpr std::uint8_t kGreyBack = 0xC0, kDarkGrey = 0x40, kDarkerGrey = 0x20;
        WriteFile(dir + L"bitmap101.bmp", Bmp(Digits(16, kBack, kBlue, kRed), colour));
        WriteFile(dir + L"bitmap102.bmp", Bmp(Digits(24, kBack, kBlue, kRed), colour));
        WriteFile(dir + L"bitmap103.bmp", Bmp(Digits(16, kGreyBack, kDarkGrey, kDarkerGrey), grey));
        WriteFile(dir + L"bitmap104.bmp", Bmp(Digits(24, kGreyBack, kDarkGrey, kDarkerGrey), grey));
        WriteFile(dir + L"bitmap105.bmp", Bmp(Emblem(), ColourPalette(Rgb(0xC0, 0xC0, 0xC0))));

        // "_IID_MYADDIN": the length 16, then the IID in its binary layout.
        std::vector<std::uint8_t> blob;
        Append(blob, std::uint32_t{16});
        Append(blob, IID__MyAddin);
        WriteFile(dir + L"iid_myaddin.bin", blob);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "MakeResources: %s\n", e.what());
        return 1;
    }
    return 0;
}
