#pragma once
// A control of the form layer: one child window of a form, placed in twips relative to its
// container's inner (client) area (reading a position gives what the window took), with its
// text, font, background, tool tip and accessible name.
//
// Controls are plain members of their owner (the form class that uses them); the Form knows them
// by window and destroys their windows, children first, when it is destroyed.
#include "Raii.h"
#include <windows.h>
#include <commctrl.h>
#include <string>
#include <string_view>

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

    // ---- what the form does with its controls
    // Destroys the control's window now (nothing when it has none) and forgets it.
    void DestroyOwnWindow() noexcept;
    // The window went with its parent's: forget it.
    void ForgetWindow() noexcept {
        if (wnd_) OnWindowGone();
    }
    // Docks the control as a row of its container: at the left edge, `top` pixels down, `width`
    // pixels wide, its height kept. Gives that height (0 when it has no window).
    int DockAt(int top, int width) noexcept;
    // Adds the control's tip, if it has one, to a tool-tip window made after the tip was given.
    void AddToolTo(HWND tips) noexcept;

protected:
    // A control that is its own form (Form): it belongs to it from the start.
    explicit Control(Form& self) noexcept : form_(&self) {}
    // The form the control belongs to (null until it is created).
    Form* OwnerForm() const noexcept { return form_; }
    // Creates the window as a child of `parent` and registers it with the form.
    void CreateChild(Form& form, HWND parent, const wchar_t* className, std::wstring_view text,
                     DWORD style, DWORD exStyle, double left, double top, double width,
                     double height, int tabIndex, void* createParam = nullptr);
    // Takes `window` as the control's own (the form's top-level window).
    void AttachWindow(HWND window) noexcept { wnd_.reset(window); }
    HWND Window() const;  // the window, or error 91
    // The window is gone (destroyed by its form or by the system): forget it.
    virtual void OnWindowGone() noexcept {
        (void)wnd_.release();
        tip_.clear();
    }

private:
    // The tool of this control for `text` (kept alive by the caller).
    TTTOOLINFOW ToolInfo(std::wstring& text) const noexcept;
    // Controls that take the focus get FocusableProc in front of their class's window procedure:
    // the form learns where the focus is, the control answers for its accessible name, and keys
    // sent to it directly get the form's keys. It finds the control in the window's user data,
    // not in a window property: under Wine every property lookup is a request to the server,
    // and the common controls' subclass chain makes one for every message (every tree item
    // inserted included). (FocusAndKeys.cpp)
    static LRESULT CALLBACK FocusableProc(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam) noexcept;

    Form* form_ = nullptr;
    UniqueWindow wnd_;
    int tabIndex_ = -1;
    bool hasBack_ = false;
    COLORREF back_ = 0;
    std::wstring tip_;
    std::wstring accName_;
    WNDPROC baseProc_ = nullptr;  // the window procedure FocusableProc passes messages on to
};

} // namespace rud::pane
