#pragma once
// A small form layer over plain Win32 windows: a top-level form, picture-box containers docked
// along its top edge, labels, text boxes, command buttons, tool tips. Positions and sizes are in
// twips relative to the container's inner (client) area; reading one gives what the window took.
//
// Controls are plain members of their owner (the form class that uses them); the Form knows them
// by window and destroys their windows, children first, when it is destroyed. Event handlers are
// std::function members run by the window procedures, each inside a reference to the owner
// (KeepAlive) so that a modal box shown by a handler cannot outlive the object. No exception
// leaves a window procedure: a failing handler just ends.
#include "Raii.h"
#include <windows.h>
#include <commctrl.h>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace rud::pane {

class Form;

class Control {
public:
    Control() = default;
    Control(const Control&) = delete;
    Control& operator=(const Control&) = delete;
    // Destroys a window still there while the control is whole (its window procedure reads it).
    virtual ~Control();

    HWND hWnd() const noexcept { return wnd_.get(); }
    bool Exists() const noexcept { return static_cast<bool>(wnd_); }
    // Position in the tab order given at creation (-1 for none).
    int TabIndex() const noexcept { return tabIndex_; }

    // Outer position and size in the container's inner area, in twips. Throws error 91 when the
    // control has no window.
    double Left() const;
    double Top() const;
    double Width() const;
    double Height() const;
    void SetLeft(double twips);
    void SetTop(double twips);
    void SetWidth(double twips);
    void SetHeight(double twips);
    void Move(double left, double top, double width, double height);
    // The inner (client) area, in twips.
    double ScaleWidth() const;
    double ScaleHeight() const;

    bool Enabled() const;
    void SetEnabled(bool enabled);
    std::wstring Text() const;
    void SetText(std::wstring_view text);

    // The background of the control itself (text boxes, labels); none by default.
    void SetBackColor(COLORREF color) noexcept { back_ = color; hasBack_ = true; }
    bool HasBackColor() const noexcept { return hasBack_; }
    COLORREF BackColor() const noexcept { return back_; }

    // The tool tip shown over the control; "" removes it. The form's tool-tip window is made
    // when the mouse first comes over a control with a tip (or ToolTips is asked for): most panes
    // are never pointed at, and a top-level window is among the dearest things to make.
    void SetToolTipText(std::wstring_view text);
    const std::wstring& ToolTipText() const noexcept { return tip_; }

    void SetFont(HFONT font) noexcept;

    // The name screen readers read for the control; "" leaves the system's own.
    void SetAccessibleName(std::wstring name) { accName_ = std::move(name); }
    const std::wstring& AccessibleName() const noexcept { return accName_; }

    // Messages the container passes on to the control that sent them.
    virtual bool OnCommand(WORD /*code*/) { return false; }
    virtual bool OnNotify(const NMHDR& /*hdr*/, LRESULT& /*result*/) { return false; }
    virtual void OnPosted(WPARAM /*what*/) {}

protected:
    friend class Form;
    friend class Container;
    // Creates the window as a child of `parent` and registers it with the form.
    void CreateChild(Form& form, HWND parent, const wchar_t* className, std::wstring_view text,
                     DWORD style, DWORD exStyle, double left, double top, double width,
                     double height, int tabIndex, void* createParam = nullptr);
    HWND Window() const;  // the window, or error 91
    // The tool of this control for `text` (kept alive by the caller).
    TTTOOLINFOW ToolInfo(std::wstring& text) const noexcept;
    // The window is gone (destroyed by its form or by the system): forget it.
    virtual void OnWindowGone() noexcept {
        (void)wnd_.release();
        tip_.clear();
    }

    Form* form_ = nullptr;
    UniqueWindow wnd_;
    int tabIndex_ = -1;
    bool hasBack_ = false;
    COLORREF back_ = 0;
    std::wstring tip_;
    std::wstring accName_;

private:
    // Controls that take the focus get FocusableProc in front of their class's window procedure:
    // the form learns where the focus is, the control answers for its accessible name, and keys
    // sent to it directly get the form's keys. It finds the control in the window's user data,
    // not in a window property: under Wine every property lookup is a request to the server,
    // and the common controls' subclass chain makes one for every message (every tree item
    // inserted included).
    static LRESULT CALLBACK FocusableProc(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam) noexcept;
    WNDPROC baseProc_ = nullptr;  // the window procedure FocusableProc passes messages on to
};

// A window of our own class that holds other controls: a picture box, or the form itself.
class Container : public Control {
public:
    std::function<void()> onResize;

    // A picture box in `parent` (the form or another container).
    void Create(Form& form, Control& parent, double left, double top, double width, double height,
                int tabIndex);

    static const wchar_t* ClassName() noexcept;

protected:
    static LRESULT CALLBACK WndProc(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam) noexcept;
    virtual bool Handle(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result) noexcept;
    HBRUSH BackBrush() const noexcept;
};

class Label : public Control {
public:
    void Create(Form& form, Control& parent, std::wstring_view caption, double left, double top,
                double width, double height, int tabIndex);
};

class TextBox : public Control {
public:
    void Create(Form& form, Control& parent, double left, double top, double width, double height,
                int tabIndex, bool readOnly = false);
};

class CommandButton : public Control {
public:
    std::function<void()> onClick;

    void Create(Form& form, Control& parent, std::wstring_view caption, double left, double top,
                double width, double height, int tabIndex);
    // A graphical button showing `picture` (owned by the form from now on) instead of a caption.
    void CreateGraphical(Form& form, Control& parent, UniqueIcon picture, double left, double top,
                         double width, double height, int tabIndex);
    HICON Picture() const noexcept;
    // Runs the click handler as a click would.
    void Click();
    // The character its caption underlines (0 for none).
    wchar_t AccessKey() const;

    bool OnCommand(WORD code) override;
};

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

    Control* Find(HWND hWnd) const noexcept;
    const std::vector<Control*>& Controls() const noexcept { return controls_; }

    // Runs a handler inside a reference to the owner, swallowing any failure.
    void Run(const std::function<void()>& handler) const noexcept;

    // Counts of what the form holds or uses of what forms share, for checks of its clean-up.
    size_t GdiObjectCount() const noexcept;

    // ---- keyboard (see KeyboardHook.h)
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
    // The focus went to `to`: the keyboard hook serves the form while the focus is inside it.
    void FocusMoved(HWND to) noexcept;
    // The control of the form that last had the focus (null when none has had it or it is gone).
    Control* LastFocus() const noexcept;
    // Shows the access-key underlines and focus rectangles when the system's keyboard cues are
    // on; otherwise they appear with the first Alt or Tab.
    void ApplyKeyboardCues() noexcept;

private:
    friend class Control;
    friend class Container;
    void Register(Control& control);
    void HoldShared() noexcept;
    bool Handle(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result) noexcept override;
    void OnWindowGone() noexcept override;
    void Dock() noexcept;

    void NoteFocus(Control& control) noexcept { lastFocus_ = control.hWnd(); }
    void RunKeyCommand(WPARAM command, LPARAM target) noexcept;

    KeepAlive keepAlive_;
    bool events_ = false;
    HWND lastFocus_ = nullptr;
    bool holdsShared_ = false;  // holds the container class and the shared drawing objects
    std::vector<Control*> controls_;
    std::unordered_map<HWND, Control*> byWindow_;
    std::vector<Container*> docked_;
    UniqueWindow tips_;
    HFONT font_ = nullptr;
    std::vector<HFONT> fonts_;
    std::vector<HBRUSH> brushes_;
    std::vector<UniqueIcon> icons_;
};

// A message the form layer posts to a container for a control: wParam what, lParam the control.
constexpr UINT kPostedControlMessage = WM_APP + 0x2A1;
// A key the form handles itself, as TranslateKey rewrote it: wParam the KeyCommand, lParam the
// control it applies to.
constexpr UINT kFormKeyMessage = WM_APP + 0x2A2;
// The form or a container got the focus: it goes on to a control.
constexpr UINT kFormFocusMessage = WM_APP + 0x2A3;

// Gives the focus back to the control of the form that had it when the guard was made, if it
// went elsewhere meanwhile: a message box takes the focus and leaves it on the host's window.
class FocusReturn {
public:
    explicit FocusReturn(Form& form) noexcept;
    ~FocusReturn();
    FocusReturn(const FocusReturn&) = delete;
    FocusReturn& operator=(const FocusReturn&) = delete;

private:
    Form& form_;
    HWND focus_ = nullptr;
};

} // namespace rud::pane
