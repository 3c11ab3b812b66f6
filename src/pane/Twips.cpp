#include "Twips.h"
#include <windows.h>

namespace rud::pane {

Dpi ScreenDpi() noexcept {
    static const Dpi dpi = [] {
        Dpi d;
        if (HDC dc = GetDC(nullptr)) {
            int x = GetDeviceCaps(dc, LOGPIXELSX);
            int y = GetDeviceCaps(dc, LOGPIXELSY);
            ReleaseDC(nullptr, dc);
            if (x > 0) d.x = x;
            if (y > 0) d.y = y;
        }
        return d;
    }();
    return dpi;
}

} // namespace rud::pane
