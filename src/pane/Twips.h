#pragma once
// Positions of the form layer are in twips (1440 per inch); windows take pixels. The conversion
// uses the display's real resolution.
#include <cmath>

namespace rud::pane {

struct Dpi {
    int x = 96;
    int y = 96;
};

// The display's logical resolution (LOGPIXELSX/Y of the screen), read once.
Dpi ScreenDpi() noexcept;

// Nearest pixel for a twip value at `dpi` (halves away from zero).
inline int TwipsToPixels(double twips, int dpi) noexcept {
    return static_cast<int>(std::lround(twips * dpi / 1440.0));
}
inline double PixelsToTwips(int pixels, int dpi) noexcept { return pixels * 1440.0 / dpi; }

// Nearest pixel for a size in points (1/72 inch) on the screen's vertical resolution.
inline int PointsToPixelsY(double points) noexcept { return static_cast<int>(std::lround(points * ScreenDpi().y / 72.0)); }

inline int TwipsToPixelsX(double twips) noexcept { return TwipsToPixels(twips, ScreenDpi().x); }
inline int TwipsToPixelsY(double twips) noexcept { return TwipsToPixels(twips, ScreenDpi().y); }
inline double PixelsToTwipsX(int pixels) noexcept { return PixelsToTwips(pixels, ScreenDpi().x); }
inline double PixelsToTwipsY(int pixels) noexcept { return PixelsToTwips(pixels, ScreenDpi().y); }

} // namespace rud::pane
