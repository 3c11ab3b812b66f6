#pragma once
// The plain controls of the form layer over the system's own window classes: labels, text boxes
// and command buttons.
#include "Control.h"
#include "Raii.h"
#include <functional>
#include <string_view>

namespace rud::pane {

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

} // namespace rud::pane
