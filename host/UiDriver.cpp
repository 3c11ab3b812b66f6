#include "UiDriver.h"
#include "HostError.h"
#include <commctrl.h>
#include <cwctype>

namespace kvhost::ui {

namespace {
BOOL CALLBACK Collect(HWND w, LPARAM lp) noexcept {
    try {
        reinterpret_cast<std::vector<HWND>*>(lp)->push_back(w);
    } catch (...) {
        return FALSE;
    }
    return TRUE;
}

std::wstring Lower(std::wstring s) {
    for (auto& c : s) c = static_cast<wchar_t>(std::towlower(c));
    return s;
}

std::wstring StripAmpersands(const std::wstring& s) {
    std::wstring out;
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] == L'&') {
            if (i + 1 < s.size() && s[i + 1] == L'&') out += L'&', ++i;
            continue;
        }
        out += s[i];
    }
    return out;
}

HTREEITEM FindItem(HWND tree, HTREEITEM first, const std::wstring& text) {
    for (HTREEITEM i = first; i; i = TreeView_GetNextSibling(tree, i)) {
        const std::wstring t = TreeItemText(tree, i);
        if (t == text || t.starts_with(text + L"=")) return i;
        if (HTREEITEM c = FindItem(tree, TreeView_GetChild(tree, i), text)) return c;
    }
    return nullptr;
}
} // namespace

std::wstring TreeItemText(HWND tree, HTREEITEM item) {
    wchar_t buf[1024] = {};
    TVITEMW it{};
    it.mask = TVIF_TEXT | TVIF_HANDLE;
    it.hItem = item;
    it.pszText = buf;
    it.cchTextMax = 1024;
    if (!SendMessageW(tree, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&it))) return {};
    return buf;
}

} // namespace kvhost::ui

namespace kvhost {
std::vector<HWND> ThreadWindows() {
    std::vector<HWND> top;
    EnumThreadWindows(GetCurrentThreadId(), &ui::Collect, reinterpret_cast<LPARAM>(&top));
    std::vector<HWND> all;
    for (HWND w : top) {
        all.push_back(w);
        for (HWND c : ui::Descendants(w)) all.push_back(c);
    }
    return all;
}
} // namespace kvhost

namespace kvhost::ui {

std::vector<HWND> Descendants(HWND root) {
    std::vector<HWND> out;
    if (root) EnumChildWindows(root, &Collect, reinterpret_cast<LPARAM>(&out));
    return out;
}

std::wstring ClassOf(HWND w) {
    wchar_t buf[256] = {};
    GetClassNameW(w, buf, 256);
    return buf;
}

std::wstring TextOf(HWND w) {
    const int n = GetWindowTextLengthW(w);
    std::wstring t(static_cast<size_t>(n) + 1, L'\0');
    t.resize(static_cast<size_t>(GetWindowTextW(w, t.data(), n + 1)));
    return t;
}

std::vector<HWND> ByClass(HWND root, const std::wstring& part) {
    std::vector<HWND> out;
    const std::wstring p = Lower(part);
    for (HWND w : Descendants(root))
        if (Lower(ClassOf(w)).find(p) != std::wstring::npos) out.push_back(w);
    return out;
}

bool SameCaption(const std::wstring& a, const std::wstring& b) {
    return Lower(StripAmpersands(a)) == Lower(StripAmpersands(b));
}

void Pump() {
    MSG m;
    while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) {
        if (m.message == WM_QUIT) {
            PostQuitMessage(static_cast<int>(m.wParam));
            return;
        }
        TranslateMessage(&m);
        DispatchMessageW(&m);
    }
}

namespace {
// Clicks the middle of an item's text as a user would.
bool ClickItem(HWND tree, HTREEITEM item) {
    TreeView_EnsureVisible(tree, item);
    Pump();
    RECT r{};
    if (!TreeView_GetItemRect(tree, item, &r, TRUE)) return false;
    const LPARAM at = MAKELPARAM((r.left + r.right) / 2, (r.top + r.bottom) / 2);
    PostMessageW(tree, WM_LBUTTONDOWN, MK_LBUTTON, at);
    PostMessageW(tree, WM_LBUTTONUP, 0, at);
    Pump();
    return true;
}

HWND FirstTree(HWND root) {
    auto trees = ByClass(root, L"SysTreeView32");
    return trees.empty() ? nullptr : trees.front();
}

// 1-based position of item among its siblings.
size_t Position(HWND tree, HTREEITEM item) {
    size_t n = 1;
    for (HTREEITEM i = TreeView_GetPrevSibling(tree, item); i; i = TreeView_GetPrevSibling(tree, i)) ++n;
    return n;
}
} // namespace

bool ClickTreeItem(HWND root, const std::wstring& text) {
    for (HWND tree : ByClass(root, L"SysTreeView32")) {
        HTREEITEM item = FindItem(tree, TreeView_GetRoot(tree), text);
        if (item) return ClickItem(tree, item);
    }
    return false;
}

bool ClickTreeNode(HWND root, const std::wstring& path) {
    HWND tree = FirstTree(root);
    if (!tree) return false;
    const size_t dot = path.find(L'.');
    long r = _wtol(path.substr(0, dot).c_str());
    long c = dot == std::wstring::npos ? 0 : _wtol(path.substr(dot + 1).c_str());
    HTREEITEM item = TreeView_GetRoot(tree);
    for (; item && r > 1; --r) item = TreeView_GetNextSibling(tree, item);
    if (!item || r < 1) return false;
    if (c > 0) {
        item = TreeView_GetChild(tree, item);
        for (; item && c > 1; --c) item = TreeView_GetNextSibling(tree, item);
        if (!item) return false;
    }
    return ClickItem(tree, item);
}

bool PressTreeKey(HWND root, UINT vk) {
    HWND tree = FirstTree(root);
    if (!tree) return false;
    PostMessageW(tree, WM_KEYDOWN, vk, 1);
    PostMessageW(tree, WM_KEYUP, vk, static_cast<LPARAM>(0xC0000001u));
    Pump();
    return true;
}

TreeSelection SelectedTreeNode(HWND root) {
    TreeSelection s;
    HWND tree = FirstTree(root);
    if (!tree) return s;
    HTREEITEM item = TreeView_GetSelection(tree);
    if (!item) return s;
    s.text = TreeItemText(tree, item);
    HTREEITEM parent = TreeView_GetParent(tree, item);
    s.path = parent ? std::to_wstring(Position(tree, parent)) + L"." + std::to_wstring(Position(tree, item))
                    : std::to_wstring(Position(tree, item));
    return s;
}

bool SetEditText(HWND root, const std::wstring& target, const std::wstring& text) {
    HWND edit = nullptr;
    if (target.starts_with(L"#")) {
        const int id = _wtoi(target.c_str() + 1);
        for (HWND w : ByClass(root, L"Edit"))
            if (GetDlgCtrlID(w) == id) { edit = w; break; }
    } else {
        const int n = _wtoi(target.c_str());
        auto edits = ByClass(root, L"Edit");
        if (n >= 1 && static_cast<size_t>(n) <= edits.size()) edit = edits[static_cast<size_t>(n - 1)];
    }
    if (!edit) return false;
    SendMessageW(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
    Pump();
    return true;
}

bool ClickButton(HWND root, const std::wstring& caption) {
    if (caption.starts_with(L"#")) {
        auto buttons = ByClass(root, L"Button");
        const long n = _wtol(caption.c_str() + 1);
        if (n < 1 || static_cast<size_t>(n) > buttons.size() || !IsWindowEnabled(buttons[n - 1])) return false;
        PostMessageW(buttons[n - 1], BM_CLICK, 0, 0);
        Pump();
        return true;
    }
    for (HWND b : ByClass(root, L"Button")) {
        if (!SameCaption(TextOf(b), caption) || !IsWindowEnabled(b)) continue;
        PostMessageW(b, BM_CLICK, 0, 0);
        Pump();
        return true;
    }
    return false;
}

} // namespace kvhost::ui
