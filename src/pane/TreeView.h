#pragma once
// A tree view over comctl32's SysTreeView32 with the node model of the form layer: nodes carry
// unique text keys, are added relative to a node named by its key, and are numbered 1, 2, ... in
// the order they were added.
#include "Form.h"
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace rud::pane {

class TreeView : public Control {
public:
    // Where a node goes relative to its relative node.
    enum Relationship : int { tvwFirst = 0, tvwLast = 1, tvwNext = 2, tvwPrevious = 3, tvwChild = 4 };

    class Node {
    public:
        Node() = default;
        Node(TreeView* tree, HTREEITEM item) noexcept : tree_(tree), item_(item) {}
        explicit operator bool() const noexcept { return item_ != nullptr; }
        HTREEITEM Handle() const noexcept { return item_; }
        bool operator==(const Node& o) const noexcept { return item_ == o.item_; }

        std::wstring Key() const;
        std::wstring Text() const;
        void SetText(std::wstring_view text);
        bool Expanded() const;
        void SetExpanded(bool expanded);
        // The parent node; an empty Node for a root.
        Node Parent() const;
        // A small number kept with a keyed node (0 when none or keyless).
        WORD Tag() const;
        void SetTag(WORD tag);

    private:
        // The tree's window, once the node is known to be a node of that tree (error 91 when not).
        HWND CheckedWindow() const;

        TreeView* tree_ = nullptr;
        HTREEITEM item_ = nullptr;
    };

    // Click: the tree's click notification. The handler runs once the click's own selection
    // change is done, so the selected node is the one clicked.
    std::function<void()> onClick;
    // The selection changed; `action` is TVC_BYMOUSE, TVC_BYKEYBOARD or TVC_UNKNOWN (code).
    std::function<void(UINT action)> onSelChanged;
    // The user expanded or collapsed a node (collapsing can move the selection to it).
    std::function<void()> onExpanded;

    void Create(Form& form, Control& parent, double left, double top, double width, double height,
                int tabIndex);

    // Removes every node.
    void Clear();
    // Adds a node. Without `relative` it is the last root. With it, `relationship` places it
    // (first/last sibling, next/previous, last child); error 35601 when no node has that key.
    // A key already present fails with error 35602; an empty key is no key.
    Node Add(std::optional<std::wstring_view> relative, std::optional<int> relationship,
             std::wstring_view key, std::wstring_view text);

    // Adds roots and their last children the way the control grows cheapest: it looks for a
    // parent among its items in the order they were made, so the nodes reach the window when the
    // Growth ends (a failure that ends it included), every root first, then the children. Keys are
    // checked as they are added; the numbering (Item) follows the order of adding.
    class Growth {
    public:
        explicit Growth(TreeView& tree) noexcept : tree_(tree) {}
        ~Growth();
        Growth(const Growth&) = delete;
        Growth& operator=(const Growth&) = delete;
        // A new last root; gives its number for AddChild.
        size_t AddRoot(std::wstring_view key, std::wstring text);
        void AddChild(size_t root, std::wstring_view key, std::wstring text, WORD tag);

    private:
        struct Pending {
            std::wstring text;
            void* entry;    // its key's entry, null for no key
            size_t parent;  // index in nodes_ of its root, or npos for a root
            HTREEITEM item;
        };
        void* Reserve(std::wstring_view key, WORD tag);
        void Push(Pending pending);
        TreeView& tree_;
        std::vector<Pending> nodes_;
        std::vector<size_t> roots_;
    };
    // The node added index-th (1-based); error 35600 when there is none.
    Node Item(long index);
    size_t Count() const noexcept { return order_.size(); }
    Node Find(std::wstring_view key) const;
    // The selected node, or an empty Node.
    Node SelectedItem() const;
    void SetSelectedItem(const Node& node);

    // Stops redrawing while many nodes are added; redraws once when the last guard goes.
    class UpdateGuard {
    public:
        explicit UpdateGuard(TreeView& tree) noexcept;
        ~UpdateGuard();
        UpdateGuard(const UpdateGuard&) = delete;
        UpdateGuard& operator=(const UpdateGuard&) = delete;

    private:
        TreeView& tree_;
    };

    // The text rectangle of a node in the tree's client area (for clicks in tests).
    RECT ItemRect(const Node& node) const;

    bool OnNotify(const NMHDR& hdr, LRESULT& result) override;
    void OnPosted(WPARAM what) override;

protected:
    void OnWindowGone() noexcept override;

private:
    // What a keyed node carries beside its text; the tree item's lParam points at its key entry,
    // so the key is held once.
    struct Entry {
        HTREEITEM item = nullptr;
        WORD tag = 0;
    };
    using KeyEntry = std::pair<const std::wstring_view, Entry>;
    // The key entry of an item (null for a keyless node); error 91 for no such item.
    const KeyEntry* EntryOf(HTREEITEM item) const;
    HTREEITEM Insert(HTREEITEM parent, HTREEITEM after, std::wstring& text, const KeyEntry* entry) noexcept;
    void Forget() noexcept;
    // A copy of `key` in the tree's key store, which holds the keys of many nodes in each block:
    // one allocation per key would cost as much again as the key index itself.
    std::wstring_view StoreKey(std::wstring_view key);
    // Removes a key from the index (its characters stay in the store until the nodes go).
    void DropKey(const KeyEntry& entry) noexcept;

    struct KeyBlock {
        std::unique_ptr<wchar_t[]> chars;
        size_t size = 0;
        size_t used = 0;
    };
    std::vector<KeyBlock> keyStore_;
    std::unordered_map<std::wstring_view, Entry> byKey_;
    std::vector<HTREEITEM> order_;
    int frozen_ = 0;
};

} // namespace rud::pane
