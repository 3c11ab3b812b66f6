#include "TreeView.h"
#include "AddInError.h"
#include <algorithm>
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
    (void)tree_->EntryOf(item_);
    return h;
}

std::wstring TreeView::Node::Key() const {
    if (!tree_) throw ObjectNotSetError();
    const KeyEntry* e = tree_->EntryOf(item_);
    return e ? std::wstring(e->first) : std::wstring();
}

WORD TreeView::Node::Tag() const {
    if (!tree_) throw ObjectNotSetError();
    const KeyEntry* e = tree_->EntryOf(item_);
    return e ? e->second.tag : 0;
}

void TreeView::Node::SetTag(WORD tag) {
    if (!tree_) throw ObjectNotSetError();
    // The entry belongs to the tree, which this node may change.
    if (auto* e = const_cast<KeyEntry*>(tree_->EntryOf(item_))) e->second.tag = tag;
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

const TreeView::KeyEntry* TreeView::EntryOf(HTREEITEM item) const {
    TVITEMW it{};
    it.mask = TVIF_PARAM | TVIF_HANDLE;
    it.hItem = item;
    if (!item || !Exists() || !SendMessageW(hWnd(), TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&it)))
        throw ObjectNotSetError();
    return reinterpret_cast<const KeyEntry*>(it.lParam);
}

HTREEITEM TreeView::Insert(HTREEITEM parent, HTREEITEM after, std::wstring& text, const KeyEntry* entry) noexcept {
    TVINSERTSTRUCTW ins{};
    ins.hParent = parent;
    ins.hInsertAfter = after;
    ins.item.mask = TVIF_TEXT | TVIF_PARAM;
    ins.item.pszText = text.data();
    ins.item.lParam = reinterpret_cast<LPARAM>(entry);
    return reinterpret_cast<HTREEITEM>(SendMessageW(hWnd(), TVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&ins)));
}

void TreeView::Forget() noexcept {
    byKey_.clear();
    keyStore_.clear();
    order_.clear();
}

std::wstring_view TreeView::StoreKey(std::wstring_view key) {
    constexpr size_t kBlockChars = 16384;
    if (keyStore_.empty() || keyStore_.back().size - keyStore_.back().used < key.size()) {
        const size_t size = std::max(kBlockChars, key.size());
        keyStore_.push_back(KeyBlock{std::make_unique_for_overwrite<wchar_t[]>(size), size, 0});
    }
    KeyBlock& block = keyStore_.back();
    wchar_t* at = block.chars.get() + block.used;
    std::copy(key.begin(), key.end(), at);
    block.used += key.size();
    return std::wstring_view(at, key.size());
}

void TreeView::DropKey(const KeyEntry& entry) noexcept {
    const std::wstring_view key = entry.first;  // a view of the store, not of the entry that goes
    byKey_.erase(key);
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
        auto rel = byKey_.find(*relative);
        if (rel == byKey_.end() || !rel->second.item) throw ElementNotFoundError();
        HTREEITEM r = rel->second.item;
        // The relative's parent only where it is needed: asking the control costs a search.
        auto parentOfRelative = [&] {
            HTREEITEM p = NextItem(h, r, TVGN_PARENT);
            return p ? p : TVI_ROOT;
        };
        switch (relationship.value_or(tvwNext)) {
        case tvwChild: parent = r; after = TVI_LAST; break;
        case tvwLast: parent = parentOfRelative(); after = TVI_LAST; break;
        case tvwFirst: parent = parentOfRelative(); after = TVI_FIRST; break;
        case tvwNext: parent = parentOfRelative(); after = r; break;
        case tvwPrevious: {
            parent = parentOfRelative();
            HTREEITEM prev = NextItem(h, r, TVGN_PREVIOUS);
            after = prev ? prev : TVI_FIRST;
            break;
        }
        default: throw InvalidProcedureCallError();
        }
    }

    KeyEntry* entry = k.empty() ? nullptr : &*byKey_.emplace(StoreKey(k), Entry{}).first;
    std::wstring t(text);
    HTREEITEM item = Insert(parent, after, t, entry);
    try {
        if (!item) throw AddInError(vberr::OutOfMemory, L"Out of memory");
        order_.push_back(item);
    } catch (...) {
        if (item) SendMessageW(h, TVM_DELETEITEM, 0, reinterpret_cast<LPARAM>(item));
        if (entry) DropKey(*entry);
        throw;
    }
    if (entry) entry->second.item = item;
    return Node(this, item);
}

void* TreeView::Growth::Reserve(std::wstring_view key, WORD tag) {
    (void)tree_.Window();
    if (key.empty()) return nullptr;
    if (tree_.byKey_.count(key)) throw KeyNotUniqueError();
    return &*tree_.byKey_.emplace(tree_.StoreKey(key), Entry{nullptr, tag}).first;
}

void TreeView::Growth::Push(Pending pending) {
    try {
        // Room for every node in the numbering now: the end of the Growth must not fail.
        const size_t needed = tree_.order_.size() + nodes_.size() + 1;
        if (tree_.order_.capacity() < needed) tree_.order_.reserve(std::max(needed, 2 * tree_.order_.capacity()));
        nodes_.push_back(std::move(pending));
    } catch (...) {
        if (pending.entry) tree_.DropKey(*static_cast<KeyEntry*>(pending.entry));
        throw;
    }
}

size_t TreeView::Growth::AddRoot(std::wstring_view key, std::wstring text) {
    Push(Pending{std::move(text), Reserve(key, 0), std::wstring::npos, nullptr});
    roots_.push_back(nodes_.size() - 1);
    return roots_.size() - 1;
}

void TreeView::Growth::AddChild(size_t root, std::wstring_view key, std::wstring text, WORD tag) {
    if (root >= roots_.size()) throw ElementNotFoundError();
    Push(Pending{std::move(text), Reserve(key, tag), roots_[root], nullptr});
}

TreeView::Growth::~Growth() {
    // Roots first, then the children in the order they were added (each one its parent's last).
    for (int pass = 0; pass < 2; ++pass) {
        for (Pending& n : nodes_) {
            const bool root = n.parent == std::wstring::npos;
            if (root != (pass == 0)) continue;
            HTREEITEM parent = root ? TVI_ROOT : nodes_[n.parent].item;
            auto* entry = static_cast<KeyEntry*>(n.entry);
            n.item = parent && tree_.Exists() ? tree_.Insert(parent, TVI_LAST, n.text, entry) : nullptr;
            if (entry) {
                // A node the control did not take leaves its key free again.
                if (n.item) entry->second.item = n.item;
                else tree_.DropKey(*entry);
            }
        }
    }
    for (const Pending& n : nodes_)
        if (n.item) tree_.order_.push_back(n.item);
}

TreeView::Node TreeView::Item(long index) {
    (void)Window();
    if (index < 1 || static_cast<size_t>(index) > order_.size()) throw IndexOutOfBoundsError();
    return Node(this, order_[static_cast<size_t>(index - 1)]);
}

TreeView::Node TreeView::Find(std::wstring_view key) const {
    auto it = byKey_.find(key);
    if (it == byKey_.end() || !it->second.item) throw ElementNotFoundError();
    return Node(const_cast<TreeView*>(this), it->second.item);
}

TreeView::Node TreeView::SelectedItem() const {
    HTREEITEM item = NextItem(Window(), nullptr, TVGN_CARET);
    return Node(const_cast<TreeView*>(this), item);
}

void TreeView::SetSelectedItem(const Node& node) {
    HWND h = Window();
    (void)EntryOf(node.Handle());
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
    if (tree_.frozen_++ == 0 && tree_.Exists()) SendMessageW(tree_.hWnd(), WM_SETREDRAW, FALSE, 0);
}

TreeView::UpdateGuard::~UpdateGuard() {
    if (tree_.frozen_ > 0 && --tree_.frozen_ == 0 && tree_.Exists()) {
        SendMessageW(tree_.hWnd(), WM_SETREDRAW, TRUE, 0);
        InvalidateRect(tree_.hWnd(), nullptr, TRUE);
    }
}

bool TreeView::OnNotify(const NMHDR& hdr, LRESULT& result) {
    switch (hdr.code) {
    case NM_CLICK:
        // The tree selects the clicked node only after this notification returns: run the
        // handler once the click is done.
        if (HWND parent = GetAncestor(hWnd(), GA_PARENT))
            PostMessageW(parent, kPostedControlMessage, kPostedClick, reinterpret_cast<LPARAM>(hWnd()));
        result = 0;
        return true;
    case TVN_SELCHANGEDW:
    case TVN_SELCHANGEDA: {
        // The action and the new item sit at the same place in both forms.
        UINT action = reinterpret_cast<const NMTREEVIEWW&>(hdr).action;
        if (Form* form = OwnerForm(); form && onSelChanged) form->Run([&] { onSelChanged(action); });
        result = 0;
        return true;
    }
    case TVN_ITEMEXPANDEDW:
    case TVN_ITEMEXPANDEDA:
        if (Form* form = OwnerForm(); form && onExpanded) form->Run(onExpanded);
        result = 0;
        return true;
    default:
        return false;
    }
}

void TreeView::OnPosted(WPARAM what) {
    if (Form* form = OwnerForm(); form && what == kPostedClick && onClick) form->Run(onClick);
}

} // namespace rud::pane
