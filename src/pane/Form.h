#pragma once
// The top-level window of the form layer: its life (made hidden, shown maximised in its parent,
// destroyed with every control's window), the containers docked along its top edge, the tool-tip
// window, the drawing objects it uses, and the handlers' run. Its controls are Control.h,
// Container.h and Controls.h; its focus and keys are FocusAndKeys.*.
//
// Event handlers are std::function members run by the window procedures, each inside a reference
// to the owner (KeepAlive) so that a modal box shown by a handler cannot outlive the object. No
// exception leaves a window procedure: a failing handler just ends.
#include "Container.h"
#include "Controls.h"
#include "FocusAndKeys.h"
#include "Raii.h"
#include "SharedDrawing.h"
#include <windows.h>
#include <functional>
#include <memory>
#include <unordered_map>
#include <vector>

namespace rud::pane {

class Form : public Container {
public:
    // Gives a reference that keeps the form's owner alive while a handler runs; an empty one
    // (the owner is going away) means no handler runs.
    using KeepAlive = std::function<std::shared_ptr<void>()>;

    explicit Form(KeepAlive keepAlive);
    ~Form() override;

    // The form whose top-level window hWnd is; null for any other window.
    static Form* FromWindow(HWND hWnd) noexcept;

    // The hidden top-level window with the given inner size, and the form's default font.
    void Create(double innerWidth, double innerHeight, COLORREF back);
    // Destroys the controls' windows in reverse order of creation, then the form's window, then
    // the fonts, brushes and pictures the form owns. Runs no handler.
    void Destroy() noexcept;

    // Docks `picture` along the top edge below the containers docked before it.
    void DockTop(Container& picture);
    // Shows the form maximised in its parent (ShowWindow with SW_SHOWMAXIMIZED). A hidden form
    // takes the maximised state and size first: the resize handlers then run while it is still
    // hidden, where moving controls and refreshing frames cost a fraction of what they cost on
    // a visible window, and the show changes nothing but the visibility.
    void ShowMaximized() noexcept;
    // Whether the window procedures run the handlers (off until the owner says the form is ready).
    void SetEventsEnabled(bool on) noexcept { events_ = on; }
    bool EventsEnabled() const noexcept { return events_; }

    HFONT DefaultFont() const noexcept { return font_; }
    // A font for the form until Destroy; forms share one font per face, size and weight, freed
    // when the last form goes.
    HFONT MakeFont(const wchar_t* face, double points, int weight);
    // A solid brush of `color` for the form until Destroy, shared the same way.
    HBRUSH Brush(COLORREF color);
    void Adopt(UniqueIcon icon) { icons_.push_back(std::move(icon)); }
    // The tool-tip window (made on first use, with the tips given until then), owned by the form.
    HWND ToolTips();
    // The tool-tip window if it has been made, else null (asking makes nothing).
    HWND ExistingToolTips() const noexcept { return tips_.get(); }

    // Knows `control` by its window from now on, and destroys that window with the form.
    void Register(Control& control);
    Control* Find(HWND hWnd) const noexcept;
    const std::vector<Control*>& Controls() const noexcept { return controls_; }

    // Runs a handler inside a reference to the owner, swallowing any failure.
    void Run(const std::function<void()>& handler) const noexcept;

    // Counts of what the form holds or uses of what forms share, for checks of its clean-up.
    size_t GdiObjectCount() const noexcept;

    // ---- focus and keys (FocusAndKeys.cpp; see KeyboardHook.h)
    // Whether the window is the form's or inside it.
    bool Contains(HWND hWnd) const noexcept;
    // A keyboard message for a window of the form, before the host translates and dispatches
    // it: Tab, Shift+Tab, Alt+access key and Enter on a button become a message of the form's
    // own (the action then runs as the message is dispatched); other keys pass unchanged.
    void TranslateKey(MSG& msg) noexcept;
    // Moves the focus to the next (previous) control in tab order that can take it.
    void MoveFocus(bool backward) noexcept;
    // Gives the focus back to the control that had it last (the first in tab order when none).
    void RestoreFocus() noexcept;
    // `control` got the focus: the form remembers it, and the keyboard hook serves the form.
    void ControlFocused(Control& control) noexcept;
    // The focus went to `to`: the keyboard hook serves the form while the focus is inside it.
    void FocusMoved(HWND to) noexcept;
    // The control of the form that last had the focus (null when none has had it or it is gone).
    Control* LastFocus() const noexcept;
    // Shows the access-key underlines and focus rectangles when the system's keyboard cues are
    // on; otherwise they appear with the first Alt or Tab.
    void ApplyKeyboardCues() noexcept;
    // A focus message of `container` (one of the form's containers, or the form): the focus
    // coming or going, a click on its background, and the form's own key and focus messages.
    // Whether the message is done with (false: the default processing follows).
    bool RouteFocusMessage(HWND container, UINT msg, WPARAM wParam, LPARAM lParam) noexcept;

private:
    bool Handle(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result) noexcept override;
    void OnWindowGone() noexcept override;
    void Dock() noexcept;
    // The form stops hearing its keys and forgets where the focus was.
    void ForgetFocus() noexcept;
    void RunKeyCommand(WPARAM command, LPARAM target) noexcept;

    KeepAlive keepAlive_;
    bool events_ = false;
    HWND lastFocus_ = nullptr;
    std::vector<Control*> controls_;
    std::unordered_map<HWND, Control*> byWindow_;
    std::vector<Container*> docked_;
    UniqueWindow tips_;
    HFONT font_ = nullptr;
    DrawingShare drawing_;  // the container class and the shared fonts and brushes it uses
    std::vector<UniqueIcon> icons_;
};

} // namespace rud::pane
