#include "Controls.h"
#include "Form.h"
#include "Keyboard.h"

namespace rud::pane {

void Label::Create(Form& form, Control& parent, std::wstring_view caption, double left, double top,
                   double width, double height, int tabIndex) {
    CreateChild(form, parent.hWnd(), L"STATIC", caption, SS_LEFT, 0, left, top, width, height, tabIndex);
}

void TextBox::Create(Form& form, Control& parent, double left, double top, double width,
                     double height, int tabIndex, bool readOnly) {
    DWORD style = WS_TABSTOP | ES_LEFT | ES_AUTOHSCROLL | (readOnly ? ES_READONLY : 0);
    CreateChild(form, parent.hWnd(), L"EDIT", L"", style, WS_EX_CLIENTEDGE, left, top, width, height,
                tabIndex);
}

void CommandButton::Create(Form& form, Control& parent, std::wstring_view caption, double left,
                           double top, double width, double height, int tabIndex) {
    CreateChild(form, parent.hWnd(), L"BUTTON", caption, WS_TABSTOP | BS_PUSHBUTTON, 0, left, top,
                width, height, tabIndex);
}

void CommandButton::CreateGraphical(Form& form, Control& parent, UniqueIcon picture, double left,
                                    double top, double width, double height, int tabIndex) {
    CreateChild(form, parent.hWnd(), L"BUTTON", L"", WS_TABSTOP | BS_PUSHBUTTON | BS_ICON, 0, left,
                top, width, height, tabIndex);
    HICON icon = picture.get();
    form.Adopt(std::move(picture));
    SendMessageW(hWnd(), BM_SETIMAGE, IMAGE_ICON, reinterpret_cast<LPARAM>(icon));
}

HICON CommandButton::Picture() const noexcept {
    if (!Exists()) return nullptr;
    return reinterpret_cast<HICON>(SendMessageW(hWnd(), BM_GETIMAGE, IMAGE_ICON, 0));
}

void CommandButton::Click() {
    if (Form* form = OwnerForm(); form && onClick) form->Run(onClick);
}

wchar_t CommandButton::AccessKey() const { return AccessKeyOf(Text()); }

bool CommandButton::OnCommand(WORD code) {
    if (code != BN_CLICKED) return false;
    Click();
    return true;
}

} // namespace rud::pane
