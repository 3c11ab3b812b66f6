#pragma once
// Driving an add-in's pane the way a user would, generically over the child windows of a page:
// click a tree item by its text, type into an edit box, press a button by its caption. Each
// action posts the mouse or button messages and runs the message queue, so the add-in's own
// handlers run as for a real click.
#include <windows.h>
#include <commctrl.h>
#include <string>
#include <vector>

namespace kvhost::ui {

// Every descendant of root, depth first in Z order (the order of EnumChildWindows).
std::vector<HWND> Descendants(HWND root);
// The descendants whose class name contains part (case-insensitive).
std::vector<HWND> ByClass(HWND root, const std::wstring& part);
std::wstring ClassOf(HWND w);
std::wstring TextOf(HWND w);
// The text of a tree view's item ("" when the item cannot be read).
std::wstring TreeItemText(HWND tree, HTREEITEM item);
// "&Modify" and "Modify" are the same caption.
bool SameCaption(const std::wstring& a, const std::wstring& b);

// The tree item whose text is text, or that reads text + "=" + value; parents are expanded so
// it can be seen. False when no tree or no such item.
bool ClickTreeItem(HWND root, const std::wstring& text);
// Sets the text of an edit box: target "#<control id>" or the 1-based position among the
// edit boxes under root. False when there is no such box.
bool SetEditText(HWND root, const std::wstring& target, const std::wstring& text);
// Presses the (enabled) button with that caption ("#N": the N-th button). False when there is none.
bool ClickButton(HWND root, const std::wstring& caption);
// Clicks the tree node at path "R" (the R-th root) or "R.C" (its C-th child), 1-based, in the
// first tree under root. False when there is no such node.
bool ClickTreeNode(HWND root, const std::wstring& path);
// Sends a key (VK_DOWN, ...) to the first tree under root, as the keyboard would.
bool PressTreeKey(HWND root, UINT vk);
// The selected node of the first tree under root: its path ("R" or "R.C", "" when none) and text.
struct TreeSelection {
    std::wstring path;
    std::wstring text;
};
TreeSelection SelectedTreeNode(HWND root);
// Runs this thread's message queue until it is empty.
void Pump();

} // namespace kvhost::ui
