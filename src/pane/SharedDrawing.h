#pragma once
// What every form of the process shares: the common controls, the container window class, and
// fonts (by face, size and weight) and solid brushes (by colour), each made once. A form takes a
// share while it lives; the last share to go unregisters the class and frees the drawing objects.
// A DLL's classes outlive the DLL unless it unregisters them, and a class left behind would point
// at code that is gone once the host unloads the DLL: nothing is left when the DLL can unload.
// Unguarded: forms live on the host's UI thread (ARCHITECTURE.md, Threading), checked in
// development builds.
#include <windows.h>
#include <cstddef>
#include <vector>

namespace rud::pane {

// Initialises the common controls the form layer uses (once per process).
void EnsureCommonControls();

// The window class of containers and forms, and its registration with `proc` (once while any
// share is held).
const wchar_t* ContainerClassName() noexcept;
void RegisterContainerClass(WNDPROC proc);

// One form's share of what forms share, and the fonts and brushes it uses of it.
class DrawingShare {
public:
    DrawingShare() = default;
    DrawingShare(const DrawingShare&) = delete;
    DrawingShare& operator=(const DrawingShare&) = delete;
    ~DrawingShare() { Release(); }

    // Takes the share (once): the class and the objects stay until it is released.
    void Hold() noexcept;
    // A font of `points` on the screen, made once for every form.
    HFONT Font(const wchar_t* face, double points, int weight);
    // A solid brush of `color`, made once for every form.
    HBRUSH Brush(COLORREF color);
    // How many fonts and brushes this share uses.
    size_t Count() const noexcept { return fonts_.size() + brushes_.size(); }
    // Forgets what it used and gives the share back; the last one takes the class and the
    // objects with it. Call it once the windows of the class are gone.
    void Release() noexcept;

private:
    bool holds_ = false;
    std::vector<HFONT> fonts_;
    std::vector<HBRUSH> brushes_;
};

} // namespace rud::pane
