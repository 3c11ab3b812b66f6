#pragma once
// The controls and fields of frmBar.
#include "Form.h"
#include "TreeView.h"
#include "frmBar.h"
#include "frmBarLayout.h"
#include <wrl/client.h>
#include <string>

namespace rud::pane {

struct frmBar::Parts : LayoutTarget {
    explicit Parts(Form::KeepAlive keepAlive) : form(std::move(keepAlive)) {}
    // The windows go before the control objects that know them.
    ~Parts() override { form.Destroy(); }

    // The form first: its window outlives the controls' windows, which it destroys.
    Form form;
    Container Picture1;
    TextBox txtFile;
    Label Label1;
    Container Picture2;
    Label Label2;
    TreeView TV1;
    TextBox txtValue;
    CommandButton cmdModify;
    Label lblValue;
    CommandButton cmdOpen;

    Microsoft::WRL::ComPtr<IDispatch> m_App;
    Microsoft::WRL::ComPtr<IDispatch> m_Document;
    std::wstring m_PropSetName;
    std::wstring m_PropName;
    // The type of the chosen property's value when it was read: Modify writes a number, a date or
    // a Boolean back as that type.
    VARTYPE chosenValueType = VT_EMPTY;

    // Loaded from Load to Unload, even when the host destroys the page (and with it the form's
    // window) in between: Unload still runs Form_Unload then.
    bool loaded = false;

    // The selected node as the form last knew it: the one it selected itself or TV1_Click acted
    // on. Only a selection that differs from it is the user's.
    HTREEITEM knownSelection = nullptr;

    // Above 0 while the form's own code changes the tree's selection (those changes are no click).
    int selectingByCode = 0;

    Control& Of(Ctl c);
    double Read(Ctl c, Dim d) override;
    void Write(Ctl c, Dim d, double value) override;
    void Move(Ctl c, double left, double top, double width, double height) override;
};

// Design values of the form, in twips.
namespace frmBarDesign {
constexpr double kWidth = 5085;
constexpr double kHeight = 5130;
constexpr COLORREF kBackColor = 0x00E0E0E0;
constexpr wchar_t kOpenToolTip[] = L"Apri direttamente la cartella di rete con i profili campi";
constexpr wchar_t kRootNodeToolTip[] = L"Click on a root node to open the property table";
} // namespace frmBarDesign

} // namespace rud::pane
