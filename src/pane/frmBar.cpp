#include "frmBar.h"
#include "FileManager.h"
#include "Message.h"
#include "Reports.h"
#include "Text.h"
#include "Trace.h"
#include "WindowHosting.h"
#include "FolderPicture.h"
#include "Keyboard.h"
#include "Twips.h"
#include "LateBound.h"
#include "PropertyKey.h"
#include "ValueTyping.h"
#include "frmBarParts.h"
#include "frmBarLineLabels.h"

using Microsoft::WRL::ComPtr;

namespace rud::pane {

namespace {

// The next item of an enumeration, false at its end.
bool NextItem(IEnumVARIANT* e, Variant& item) {
    ULONG fetched = 0;
    HRESULT hr = e->Next(1, item.put(), &fetched);
    if (FAILED(hr)) rud::ThrowFailedCall(hr);
    return hr == S_OK && fetched == 1;
}

// Runs `each` with every item of a document's collection, in the collection's order. Obtaining
// the enumerator and fetching the first item run at `firstLabel`, fetching every later item at
// `nextLabel`.
template <class Each>
void ForEachItem(Routine& routine, DocumentAccess& documents, IDispatch* collection, long firstLabel,
                 long nextLabel, Each&& each) {
    routine.At(firstLabel);
    ComPtr<IEnumVARIANT> items = documents.Items(collection);
    for (bool first = true;; first = false) {
        routine.At(first ? firstLabel : nextLabel);
        Variant item;
        if (!NextItem(items.Get(), item)) break;
        each(rud::late::ToObject(item));
    }
}

// What a property node stands for, read back from the node itself: the names from its key, the
// value from its text after the name and "=" (names may hold "=" and "|", values "="), the type
// of the value the host gave from its tag.
struct PropertyNode {
    std::wstring setName;
    std::wstring propName;
    std::wstring value;
    VARTYPE valueType = VT_EMPTY;
};
std::optional<PropertyNode> PropertyOf(const TreeView::Node& node) {
    KeyNames names = NamesOfKey(node.Key());
    if (!names.valid) return std::nullopt;
    std::wstring text = node.Text();
    if (text.size() <= names.propName.size() || text.compare(0, names.propName.size(), names.propName) != 0 ||
        text[names.propName.size()] != L'=')
        return std::nullopt;
    std::wstring value = text.substr(names.propName.size() + 1);
    return PropertyNode{std::move(names.setName), std::move(names.propName), std::move(value),
                        static_cast<VARTYPE>(node.Tag())};
}

// Counts the form's own changes of the tree's selection, which are not clicks.
class SelectingByCode {
public:
    explicit SelectingByCode(int& counter) noexcept : counter_(counter) { ++counter_; }
    ~SelectingByCode() { --counter_; }
    SelectingByCode(const SelectingByCode&) = delete;
    SelectingByCode& operator=(const SelectingByCode&) = delete;

private:
    int& counter_;
};

} // namespace

// ---- layout target over the real controls ---------------------------------------------------

Control& frmBar::Parts::Of(Ctl c) {
    switch (c) {
    case Ctl::Form: return form;
    case Ctl::Picture1: return Picture1;
    case Ctl::Picture2: return Picture2;
    case Ctl::TV1: return TV1;
    case Ctl::txtFile: return txtFile;
    case Ctl::cmdOpen: return cmdOpen;
    case Ctl::txtValue: return txtValue;
    case Ctl::cmdModify: return cmdModify;
    case Ctl::lblValue: return lblValue;
    }
    throw rud::InvalidProcedureCallError();
}

double frmBar::Parts::Read(Ctl c, Dim d) {
    Control& control = Of(c);
    switch (d) {
    case Dim::Left: return control.Left();
    case Dim::Top: return control.Top();
    case Dim::Width: return control.Width();
    case Dim::Height: return control.Height();
    case Dim::ScaleWidth: return control.ScaleWidth();
    case Dim::ScaleHeight: return control.ScaleHeight();
    }
    throw rud::InvalidProcedureCallError();
}

void frmBar::Parts::Write(Ctl c, Dim d, double value) {
    Control& control = Of(c);
    switch (d) {
    case Dim::Left: control.SetLeft(value); return;
    case Dim::Top: control.SetTop(value); return;
    case Dim::Width: control.SetWidth(value); return;
    case Dim::Height: control.SetHeight(value); return;
    default: throw rud::InvalidProcedureCallError();
    }
}

void frmBar::Parts::Move(Ctl c, double left, double top, double width, double height) {
    Of(c).Move(left, top, width, height);
}

// ---- lifecycle ----------------------------------------------------------------------------------

std::shared_ptr<frmBar> frmBar::Create(std::shared_ptr<DocumentAccess> documents) {
    if (!documents) throw rud::ObjectNotSetError();
    return std::shared_ptr<frmBar>(new frmBar(std::move(documents)));
}

frmBar::frmBar(std::shared_ptr<DocumentAccess> documents)
    : documents_(std::move(documents)),
      impl_(std::make_unique<Parts>([this]() -> std::shared_ptr<void> { return weak_from_this().lock(); })) {}

frmBar::~frmBar() {
    try {
        // A form still loaded when its last reference goes is unloaded first.
        if (IsLoaded()) Unload();
        Form_Terminate();
    } catch (...) {
    }
}

bool frmBar::IsLoaded() const noexcept { return impl_->loaded; }
HWND frmBar::hWnd() const noexcept { return impl_->form.hWnd(); }
void frmBar::ShowMaximized() noexcept { impl_->form.ShowMaximized(); }
IDispatch* frmBar::Document() const noexcept { return impl_->m_Document.Get(); }
const std::wstring& frmBar::ChosenSetName() const noexcept { return impl_->m_PropSetName; }
const std::wstring& frmBar::ChosenPropertyName() const noexcept { return impl_->m_PropName; }

void frmBar::Load() {
    if (IsLoaded()) return;
    Parts& p = *impl_;
    try {
        p.form.Create(frmBarDesign::kWidth, frmBarDesign::kHeight, frmBarDesign::kBackColor);
        // Created in tab order, so the windows' Z order is the keyboard order in each container.
        p.Picture1.Create(p.form, p.form, 0, 0, 5085, 465, 0);
        p.txtFile.SetBackColor(frmBarDesign::kBackColor);
        p.txtFile.Create(p.form, p.Picture1, 450, 90, 3975, 285, 1, /*readOnly=*/true);
        p.Label1.Create(p.form, p.Picture1, L"File:", 90, 135, 330, 195, 2);
        p.Picture2.SetBackColor(frmBarDesign::kBackColor);
        p.Picture2.Create(p.form, p.form, 0, 465, 5085, 4335, 3);
        p.Label2.Create(p.form, p.Picture2, L"Active Property Table", 90, 45, 3210, 240, 4);
        p.Label2.SetFont(p.form.MakeFont(L"MS Sans Serif", 9.75, FW_BOLD));
        p.TV1.Create(p.form, p.Picture2, 135, 315, 4785, 2715, 5);
        p.txtValue.Create(p.form, p.Picture2, 675, 3870, 3345, 330, 6);
        p.cmdModify.Create(p.form, p.Picture2, L"&Modify", 4050, 3870, 825, 330, 7);
        p.lblValue.Create(p.form, p.Picture2, L"Value:", 135, 3870, 555, 330, 8);
        p.cmdOpen.CreateGraphical(p.form, p.Picture1, MakeFolderPicture(FolderPictureScale(ScreenDpi().y)), 4500,
                                  90, 450, 315, 9);
        p.cmdOpen.SetToolTipText(frmBarDesign::kOpenToolTip);
        // What a screen reader says for each control that takes the focus: the label that
        // explains it (labels come after their boxes in the window order, where the system does
        // not look), the caption, or the picture button's tool tip.
        p.txtFile.SetAccessibleName(p.Label1.Text());
        p.TV1.SetAccessibleName(p.Label2.Text());
        p.txtValue.SetAccessibleName(p.lblValue.Text());
        p.cmdModify.SetAccessibleName(CaptionText(p.cmdModify.Text()));
        p.cmdOpen.SetAccessibleName(frmBarDesign::kOpenToolTip);
        p.form.DockTop(p.Picture1);
        p.form.DockTop(p.Picture2);

        p.form.onResize = [this] { Form_Resize(); };
        p.Picture1.onResize = [this] { Picture1_Resize(); };
        p.Picture2.onResize = [this] { Picture2_Resize(); };
        p.TV1.onClick = [this] { TV1_Click(); };
        // Any change of selection that the form did not make itself (keyboard, collapsing the
        // selected node's parent) acts as a click, so the value box, the chosen property and
        // Modify always belong to the selected node.
        // Expanding or collapsing is no click unless it moved the selection.
        p.TV1.onSelChanged = [this](UINT) {
            if (impl_->selectingByCode == 0) TV1_Click();
            else impl_->knownSelection = impl_->TV1.SelectedItem().Handle();
        };
        p.TV1.onExpanded = [this] {
            if (impl_->selectingByCode == 0 && impl_->TV1.SelectedItem().Handle() != impl_->knownSelection)
                TV1_Click();
        };
        p.cmdModify.onClick = [this] { cmdModify_Click(); };
        p.cmdOpen.onClick = [this] { cmdOpen_Click(); };
    } catch (...) {
        p.form.Destroy();
        throw;
    }
    p.loaded = true;
    Form_Load();
    p.form.ApplyKeyboardCues();
    p.form.SetEventsEnabled(true);
}

void frmBar::Unload() {
    if (!IsLoaded()) return;
    // Keep the form while it unloads, whoever drops the last other reference meanwhile.
    std::shared_ptr<frmBar> hold = weak_from_this().lock();
    Form_Unload();
    impl_->loaded = false;
    impl_->form.Destroy();
}

void frmBar::Form_Load() { rud::TraceLine(L"AddIn: Form_Load"); }

void frmBar::Form_Unload() {
    rud::TraceLine(L"AddIn: Form_Unload");
    impl_->m_App.Reset();
    impl_->m_Document.Reset();
}

void frmBar::Form_Terminate() { rud::TraceLine(L"AddIn: Form_Terminate"); }

// ---- layout -------------------------------------------------------------------------------------

void frmBar::Form_Resize() {
    LayoutFormResize(*impl_);
    rud::TraceLine(L"AddIn: Resize");
    rud::RefreshWindowFrame(impl_->form.hWnd());
}

void frmBar::Picture1_Resize() {
    LayoutPicture1Resize(*impl_);
    rud::RefreshWindowFrame(impl_->Picture1.hWnd());
}

void frmBar::Picture2_Resize() {
    LayoutPicture2Resize(*impl_);
    rud::RefreshWindowFrame(impl_->Picture2.hWnd());
}

// ---- binding --------------------------------------------------------------------------------

void frmBar::InitForm(IDispatch* oKVApp, IDispatch* theDocument) {
    std::shared_ptr<frmBar> hold = weak_from_this().lock();
    // Not under the handler: a failure here goes back to the caller.
    rud::TraceLine(L"Addin: InitForm for " + rud::GetFullName(theDocument));
    ReportOnFailure(L"initForm", [&](Routine& routine) {
        routine.At(labels::InitForm::kBody);
        impl_->m_App = oKVApp;
        impl_->m_Document = theDocument;
        RefreshFilename();
        RefreshPropertyTree();
    });
}

void frmBar::RefreshFilename() {
    Parts& p = *impl_;
    RaiseOnFailure(L"RefreshFilename", [&](Routine& routine) {
        routine.At(labels::RefreshFilename::kDocumentTest);
        if (!p.m_Document) {
            p.txtFile.SetText(L"");
            p.cmdOpen.SetEnabled(false);
            return;
        }
        routine.At(labels::RefreshFilename::kFullName);
        p.txtFile.SetText(L" " + documents_->FullName(p.m_Document.Get()));
        p.cmdOpen.SetEnabled(p.txtFile.Text().find(L'.') != std::wstring::npos);
    });
}

void frmBar::RefreshPropertyTree() {
    namespace line = labels::RefreshPropertyTree;
    Parts& p = *impl_;
    SelectingByCode byCode(p.selectingByCode);
    RaiseOnFailure(L"RefreshPropertyTree", [&](Routine& routine) {
        TreeView::UpdateGuard quiet(p.TV1);
        routine.At(line::kClear);
        p.TV1.Clear();
        p.knownSelection = nullptr;
        p.txtValue.SetText(L"");
        p.m_PropSetName.clear();
        p.m_PropName.clear();
        if (!p.m_Document) return;

        bool anySet = false;
        {
            // Nodes reach the tree when this block ends, a failure's end included.
            TreeView::Growth grow(p.TV1);
            routine.At(line::kProperties);
            DocumentAccess& documents = *documents_;
            ComPtr<IDispatch> sets = documents.PropertySets(p.m_Document.Get());
            ForEachItem(routine, documents, sets.Get(), line::kFirstSet, line::kNextItem, [&](ComPtr<IDispatch> set) {
                routine.At(line::kSetName);
                std::wstring setName = documents.SetName(set.Get());
                std::wstring setText = L"[" + setName + L"]";
                routine.At(line::kAddSetNode);
                const std::wstring setKey = KeyPart(setName);
                const size_t setNode = grow.AddRoot(setKey, std::move(setText));
                anySet = true;

                // One buffer for every property key of the set (the tree keeps its own copy).
                std::wstring key;
                const auto eachProperty = [&](ComPtr<IDispatch> prop) {
                    routine.At(line::kPropertyRead);
                    std::wstring propName = documents.PropertyName(prop.Get());
                    key.assign(setKey);
                    key += L'|';
                    AppendKeyPart(key, propName);
                    Variant value = documents.PropertyValue(prop.Get());
                    const std::wstring valueText = rud::VariantToText(&value);
                    std::wstring text;
                    text.reserve(propName.size() + 1 + valueText.size());
                    text.append(propName).append(1, L'=').append(valueText);

                    routine.At(line::kAddPropertyNode);
                    grow.AddChild(setNode, key, std::move(text), HeldType(value));
                };
                ForEachItem(routine, documents, set.Get(), line::kFirstProperty, line::kNextItem, eachProperty);
            });
            routine.At(line::kSelectFirstSet);
        }  // the collection, set and property references go here

        // An empty collection is an empty document, not a failure: no node to select.
        if (!anySet) return;
        p.TV1.SetSelectedItem(p.TV1.Item(1));
        p.TV1.SelectedItem().SetExpanded(false);
        p.knownSelection = p.TV1.SelectedItem().Handle();
    });
}

// ---- events of the tree and the buttons -------------------------------------------------------

namespace {
bool SameName(const std::wstring& a, const std::wstring& b) noexcept {
    return CompareStringOrdinal(a.data(), static_cast<int>(a.size()), b.data(), static_cast<int>(b.size()), TRUE) ==
           CSTR_EQUAL;
}

HTREEITEM Next(HWND tree, HTREEITEM item, UINT how) noexcept {
    return reinterpret_cast<HTREEITEM>(SendMessageW(tree, TVM_GETNEXTITEM, how, reinterpret_cast<LPARAM>(item)));
}

// The property node that a write by the chosen names reaches: the host takes the first set and
// the first property of a name, in any letter case. Null when the tree shows no such property.
// The names are the nodes' own, read back from their keys.
HTREEITEM NodeReachedByName(frmBar::Parts& p) {
    HWND tree = p.TV1.hWnd();
    for (HTREEITEM root = Next(tree, nullptr, TVGN_ROOT); root; root = Next(tree, root, TVGN_NEXT)) {
        if (!SameName(NamesOfKey(TreeView::Node(&p.TV1, root).Key()).setName, p.m_PropSetName)) continue;
        for (HTREEITEM child = Next(tree, root, TVGN_CHILD); child; child = Next(tree, child, TVGN_NEXT)) {
            KeyNames names = NamesOfKey(TreeView::Node(&p.TV1, child).Key());
            if (names.valid && SameName(names.propName, p.m_PropName)) return child;
        }
        return nullptr;
    }
    return nullptr;
}
} // namespace

void frmBar::TV1_Click() {
    Parts& p = *impl_;
    TreeView::Node node = p.TV1.SelectedItem();
    p.knownSelection = node.Handle();
    if (!node) {
        p.txtValue.SetText(L"");
        p.cmdModify.SetEnabled(false);
        return;
    }
    if (!node.Parent()) {
        p.txtValue.SetText(L"");
        p.txtValue.SetToolTipText(frmBarDesign::kRootNodeToolTip);
        p.cmdModify.SetEnabled(false);
        return;
    }
    std::optional<PropertyNode> found = PropertyOf(node);
    if (!found) return;
    const PropertyNode& prop = *found;
    p.m_PropName = prop.propName;
    p.m_PropSetName = prop.setName;
    p.chosenValueType = prop.valueType;
    p.cmdModify.SetEnabled(true);
    p.txtValue.SetText(prop.value);
    p.txtValue.SetToolTipText(L"[" + p.m_PropSetName + L"] - " + p.m_PropName);
}

void frmBar::cmdModify_Click() {
    std::shared_ptr<frmBar> hold = weak_from_this().lock();
    Parts& p = *impl_;
    if (!p.m_Document) return;
    TreeView::Node node = p.TV1.SelectedItem();
    if (!node) return;

    // A name that an earlier set or property shares (in any letter case) would make the host
    // write the other one: the user's value must not land in a property not selected.
    if (HTREEITEM reached = NodeReachedByName(p); reached && reached != node.Handle()) {
        FocusReturn back(p.form);
        rud::ShowMessage(L"Can't change this property", rud::kInformationBoxFlags);
        return;
    }
    std::wstring value;
    try {
        value = p.txtValue.Text();
        ComPtr<IDispatch> set = documents_->PropertySet(p.m_Document.Get(), p.m_PropSetName);
        ComPtr<IDispatch> prop = documents_->Property(set.Get(), p.m_PropName);
        const Variant written = ValueToWrite(value, p.chosenValueType);
        documents_->WriteValue(prop.Get(), written);
        // The host now holds what was written: the next edit converts to its type, not to the
        // type the value had when the tree was filled.
        p.chosenValueType = written.type();
        if (std::optional<PropertyNode> chosen = PropertyOf(node);
            chosen && chosen->setName == p.m_PropSetName && chosen->propName == p.m_PropName)
            node.SetTag(written.type());
    } catch (...) {
        FocusReturn back(p.form);
        rud::ShowMessage(L"Can't change this property", rud::kInformationBoxFlags);
        return;
    }
    try {
        ComPtr<IDispatch> set = documents_->PropertySet(p.m_Document.Get(), p.m_PropSetName);
        documents_->Save(set.Get());
    } catch (...) {
        FocusReturn back(p.form);
        rud::ShowMessage(L"Can't save this property", rud::kInformationBoxFlags);
        return;
    }
    try {
        // Only the node of the property just written shows the new value; a set node selected
        // while the fields name no property of it keeps its text.
        std::optional<PropertyNode> prop = PropertyOf(node);
        if (!prop || prop->setName != p.m_PropSetName || prop->propName != p.m_PropName) return;
        node.SetText(p.m_PropName + L"=" + value);
    } catch (...) {
        // Rewriting the node's text goes unreported.
    }
}

void frmBar::cmdOpen_Click() {
    Parts& p = *impl_;
    if (rud::TrimBlanks(p.txtFile.Text()).empty()) return;
    rud::ShowFileInExplorer(rud::TrimBlanks(p.txtFile.Text()));
}

} // namespace rud::pane
