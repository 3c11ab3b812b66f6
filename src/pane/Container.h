#pragma once
// A window of our own class that holds other controls: a picture box, or the form itself. Its
// window procedure paints its background and passes its children's messages (commands,
// notifications, colours, the form layer's posted messages) on to the control that sent them.
// Event handlers run inside a reference to the form's owner (Form::Run); no exception leaves the
// window procedure.
#include "Control.h"
#include <functional>

namespace rud::pane {

class Container : public Control {
public:
    Container() = default;

    std::function<void()> onResize;

    // A picture box in `parent` (the form or another container).
    void Create(Form& form, Control& parent, double left, double top, double width, double height,
                int tabIndex);

    static const wchar_t* ClassName() noexcept;

protected:
    // The form itself (see Control).
    explicit Container(Form& self) noexcept : Control(self) {}
    static LRESULT CALLBACK WndProc(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam) noexcept;
    virtual bool Handle(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result) noexcept;
    HBRUSH BackBrush() const noexcept;
};

// A message the form layer posts to a container for a control: wParam what, lParam the control.
constexpr UINT kPostedControlMessage = WM_APP + 0x2A1;

} // namespace rud::pane
