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
// The picture as an icon (4 bits per pixel, with a transparency mask).
UniqueIcon MakeFolderPicture();

} // namespace rud::pane
