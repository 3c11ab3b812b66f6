#pragma once
// The controls of one document's pane, found through the windows of its host page as a screen
// reader or a test host finds them: by class and by the container that holds them.
#include "UiDriver.h"
#include <windows.h>

struct PaneWindows {
    HWND page = nullptr;
    HWND form = nullptr;
    HWND tree = nullptr;
    HWND txtFile = nullptr;
    HWND txtValue = nullptr;
    HWND cmdModify = nullptr;
    HWND cmdOpen = nullptr;
};

inline PaneWindows FindPaneWindows(HWND page) {
    PaneWindows w;
    w.page = page;
    if (!page) return w;
    w.form = GetWindow(page, GW_CHILD);
    auto trees = kvhost::ui::ByClass(page, L"SysTreeView32");
    if (trees.size() == 1) w.tree = trees[0];
    for (HWND e : kvhost::ui::ByClass(page, L"Edit")) {
        if (w.tree && GetParent(e) == GetParent(w.tree)) w.txtValue = e;
        else w.txtFile = e;
    }
    for (HWND b : kvhost::ui::ByClass(page, L"Button")) {
        if (kvhost::ui::TextOf(b) == L"&Modify") w.cmdModify = b;
        else if (w.txtFile && GetParent(b) == GetParent(w.txtFile)) w.cmdOpen = b;
    }
    return w;
}
