#pragma once
// The picture of the open-folder button: 16 x 16 pixels in the 16 standard colours, an open
// yellow folder with a curved arrow above it, drawn in code.
#include "Raii.h"
#include <windows.h>

namespace rud::pane {

constexpr int kFolderPictureSize = 16;

// The palette index (0-15 of the standard 16 colours) of a pixel, -1 where it is transparent.
int FolderPicturePixel(int x, int y) noexcept;
// A colour of the standard 16-colour palette.
COLORREF StandardColor(int index) noexcept;
// The whole number of screen pixels per picture pixel at a display resolution: 1 up to 191
// DPI, 2 from 192 DPI (200 %), and so on. Whole multiples keep every edge sharp; the button
// centres the picture, so at 120 and 144 DPI the 16 x 16 picture sits centred at its own size.
int FolderPictureScale(int dpi) noexcept;
// The picture as an icon (4 bits per pixel, with a transparency mask), each pixel drawn as a
// scale x scale square.
UniqueIcon MakeFolderPicture(int scale = 1);

} // namespace rud::pane
