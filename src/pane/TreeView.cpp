#include "TreeView.h"
#include "AddInError.h"
#include <cstring>

namespace rud::pane {

namespace {

constexpr long kIndexOutOfBounds = 35600;
constexpr long kElementNotFound = 35601;
constexpr WPARAM kPostedClick = 1;

AddInError IndexOutOfBoundsError() { return AddInError(kIndexOutOfBounds, L"Index out of bounds"); }
AddInError ElementNotFoundError() { return AddInError(kElementNotFound, L"Element not found"); }

HTREEITEM NextItem(HWND tree, HTREEITEM item, UINT how) noexcept {
    return reinterpret_cast<HTREEITEM>(
        SendMessageW(tree, TVM_GETNEXTITEM, how, reinterpret_cast<LPARAM>(item)));
}

} // namespace

// ---- Node -------------------------------------------------------------------------------------

HWND TreeView::Node::CheckedWindow() const {
    if (!tree_) throw ObjectNotSetError();
    HWND h = tree_->Window();
    (void)tree_->Data(item_);
    return h;
}

std::wstring TreeView::Node::Key() const {
    if (!tree_) throw ObjectNotSetError();
    return tree_->Data(item_).key;
}

std::wstring TreeView::Node::Text() const {
    HWND h = CheckedWindow();
    // Grow the buffer until the whole text fits (the control truncates silently).
    for (size_t size = 256;; size *= 4) {
        std::wstring text(size, L'\0');
        TVITEMW it{};
        it.mask = TVIF_TEXT | TVIF_HANDLE;
        it.hItem = item_;
        it.pszText = text.data();
        it.cchTextMax = static_cast<int>(size);
        if (!SendMessageW(h, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&it))) ThrowFailedCall(E_FAIL);
        size_t n = wcsnlen(text.c_str(), size);
        if (n + 1 < size || size > (1u << 24)) {
            text.resize(n);
            return text;
        }
    }
}

void TreeView::Node::SetText(std::wstring_view text) {
    HWND h = CheckedWindow();
    std::wstring t(text);
    TVITEMW it{};
    it.mask = TVIF_TEXT | TVIF_HANDLE;
    it.hItem = item_;
    it.pszText = t.data();
    if (!SendMessageW(h, TVM_SETITEMW, 0, reinterpret_cast<LPARAM>(&it))) ThrowFailedCall(E_FAIL);
}

bool TreeView::Node::Expanded() const {
    HWND h = CheckedWindow();
    return (SendMessageW(h, TVM_GETITEMSTATE, reinterpret_cast<WPARAM>(item_), TVIS_EXPANDED) &
            TVIS_EXPANDED) != 0;
}

void TreeView::Node::SetExpanded(bool expanded) {
    HWND h = CheckedWindow();
    SendMessageW(h, TVM_EXPAND, expanded ? TVE_EXPAND : TVE_COLLAPSE, reinterpret_cast<LPARAM>(item_));
}

TreeView::Node TreeView::Node::Parent() const {
    HWND h = CheckedWindow();
    return Node(tree_, NextItem(h, item_, TVGN_PARENT));
}

// ---- TreeView ---------------------------------------------------------------------------------

void TreeView::Create(Form& form, Control& parent, double left, double top, double width,
                      double height, int tabIndex) {
    CreateChild(form, parent.hWnd(), WC_TREEVIEWW, L"",
                WS_TABSTOP | TVS_HASLINES | TVS_HASBUTTONS | TVS_LINESATROOT | TVS_SHOWSELALWAYS,
                WS_EX_CLIENTEDGE, left, top, width, height, tabIndex);
}

const TreeView::NodeData& TreeView::Data(HTREEITEM item) const {
    auto it = data_.find(item);
    if (!item || it == data_.end()) throw ObjectNotSetError();
    return it->second;
}

void TreeView::Forget() noexcept {
    byKey_.clear();
    data_.clear();
    order_.clear();
}

void TreeView::OnWindowGone() noexcept {
    Forget();
    frozen_ = 0;
    Control::OnWindowGone();
}

void TreeView::Clear() {
    HWND h = Window();
    SendMessageW(h, TVM_DELETEITEM, 0, reinterpret_cast<LPARAM>(TVI_ROOT));
    Forget();
}

TreeView::Node TreeView::Add(std::optional<std::wstring_view> relative, std::optional<int> relationship,
                             std::wstring_view key, std::wstring_view text) {
    HWND h = Window();
    std::wstring k(key);
    if (!k.empty() && byKey_.count(k)) throw KeyNotUniqueError();

    HTREEITEM parent = TVI_ROOT;
    HTREEITEM after = TVI_LAST;
    if (relative) {
        auto rel = byKey_.find(std::wstring(*relative));
        if (rel == byKey_.end()) throw ElementNotFoundError();
        HTREEITEM r = rel->second;
        HTREEITEM rParent = NextItem(h, r, TVGN_PARENT);
        if (!rParent) rParent = TVI_ROOT;
        switch (relationship.value_or(tvwNext)) {
        case tvwChild: parent = r; after = TVI_LAST; break;
        case tvwLast: parent = rParent; after = TVI_LAST; break;
        case tvwFirst: parent = rParent; after = TVI_FIRST; break;
        case tvwNext: parent = rParent; after = r; break;
        case tvwPrevious: {
            parent = rParent;
            HTREEITEM prev = NextItem(h, r, TVGN_PREVIOUS);
            after = prev ? prev : TVI_FIRST;
            break;
        }
        default: throw InvalidProcedureCallError();
        }
    }

    std::wstring t(text);
    TVINSERTSTRUCTW ins{};
    ins.hParent = parent;
    ins.hInsertAfter = after;
    ins.item.mask = TVIF_TEXT;
    ins.item.pszText = t.data();
    auto item = reinterpret_cast<HTREEITEM>(SendMessageW(h, TVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&ins)));
    if (!item) throw AddInError(vberr::OutOfMemory, L"Out of memory");
    try {
        data_.emplace(item, NodeData{k});
        order_.push_back(item);
        if (!k.empty()) byKey_.emplace(std::move(k), item);
    } catch (...) {
        data_.erase(item);
        SendMessageW(h, TVM_DELETEITEM, 0, reinterpret_cast<LPARAM>(item));
        throw;
    }
    return Node(this, item);
}

TreeView::Node TreeView::Item(long index) {
    (void)Window();
    if (index < 1 || static_cast<size_t>(index) > order_.size()) throw IndexOutOfBoundsError();
    return Node(this, order_[static_cast<size_t>(index - 1)]);
}

TreeView::Node TreeView::Find(std::wstring_view key) const {
    auto it = byKey_.find(std::wstring(key));
    if (it == byKey_.end()) throw ElementNotFoundError();
    return Node(const_cast<TreeView*>(this), it->second);
}

TreeView::Node TreeView::SelectedItem() const {
    HTREEITEM item = NextItem(Window(), nullptr, TVGN_CARET);
    return Node(const_cast<TreeView*>(this), item);
}

void TreeView::SetSelectedItem(const Node& node) {
    HWND h = Window();
    (void)Data(node.Handle());
    SendMessageW(h, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(node.Handle()));
}

RECT TreeView::ItemRect(const Node& node) const {
    RECT r{};
    HTREEITEM item = node.Handle();
    static_assert(sizeof item <= sizeof r);
    std::memcpy(&r, &item, sizeof item);  // the message takes the item in the rectangle
    if (!SendMessageW(Window(), TVM_GETITEMRECT, TRUE, reinterpret_cast<LPARAM>(&r))) return RECT{};
    return r;
}

TreeView::UpdateGuard::UpdateGuard(TreeView& tree) noexcept : tree_(tree) {
    if (tree_.frozen_++ == 0 && tree_.wnd_) SendMessageW(tree_.wnd_.get(), WM_SETREDRAW, FALSE, 0);
}

TreeView::UpdateGuard::~UpdateGuard() {
    if (tree_.frozen_ > 0 && --tree_.frozen_ == 0 && tree_.wnd_) {
        SendMessageW(tree_.wnd_.get(), WM_SETREDRAW, TRUE, 0);
        InvalidateRect(tree_.wnd_.get(), nullptr, TRUE);
    }
}

bool TreeView::OnNotify(const NMHDR& hdr, LRESULT& result) {
    switch (hdr.code) {
    case NM_CLICK:
        // The tree selects the clicked node only after this notification returns: run the
        // handler once the click is done.
        if (HWND parent = GetAncestor(wnd_.get(), GA_PARENT))
            PostMessageW(parent, kPostedControlMessage, kPostedClick, reinterpret_cast<LPARAM>(wnd_.get()));
        result = 0;
        return true;
    case TVN_SELCHANGEDW:
    case TVN_SELCHANGEDA: {
        // The action and the new item sit at the same place in both forms.
        UINT action = reinterpret_cast<const NMTREEVIEWW&>(hdr).action;
        if (onSelChanged && form_) form_->Run([&] { onSelChanged(action); });
        result = 0;
        return true;
    }
    case TVN_ITEMEXPANDEDW:
    case TVN_ITEMEXPANDEDA:
        if (onExpanded && form_) form_->Run(onExpanded);
        result = 0;
        return true;
    default:
        return false;
    }
}

void TreeView::OnPosted(WPARAM what) {
    if (what == kPostedClick && onClick && form_) form_->Run(onClick);
}

} // namespace rud::pane
