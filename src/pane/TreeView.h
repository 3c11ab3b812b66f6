#pragma once
// A tree view over comctl32's SysTreeView32 with the node model of the form layer: nodes carry
// unique text keys, are added relative to a node named by its key, and are numbered 1, 2, ... in
// the order they were added.
#include "Form.h"
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
    struct NodeData {
        std::wstring key;
    };
    const NodeData& Data(HTREEITEM item) const;
    void Forget() noexcept;

    std::unordered_map<std::wstring, HTREEITEM> byKey_;
    std::unordered_map<HTREEITEM, NodeData> data_;
    std::vector<HTREEITEM> order_;
    int frozen_ = 0;
};

} // namespace rud::pane
