#pragma once
// The host's windows: a main window with the docking VaneBar pane on the left and a simple
// document area; the pane stacks one page window per CreatePage and shows the pages of the
// active document. Pages size their child windows to fill them on every WM_SIZE.
#include "Raii.h"
#include <cstdint>
#include <string>
#include <vector>

namespace kvhost {

struct PageInfo;

class HostWindows {
public:
    HostWindows() = default;
    HostWindows(const HostWindows&) = delete;
    HostWindows& operator=(const HostWindows&) = delete;
    ~HostWindows();

    // HostError when the windows cannot be made (no display, say).
    void Create(const std::wstring& title, int width, int height, int paneWidth, bool show);
    void Destroy() noexcept;
    HWND Main() const noexcept { return main_.get(); }
    HWND Pane() const noexcept { return pane_.get(); }

    // owner: the index of the add-in that asked for the page.
    HWND CreatePage(int doc, size_t owner, HINSTANCE module, LONG bitmapId, const std::wstring& toolTip,
                    bool visible);
    bool DeletePage(HWND page) noexcept;
    size_t PageOwner(HWND page) const noexcept;  // SIZE_MAX when it is no page
    int PageDocument(HWND page) const noexcept;  // 0 when unknown
    void ActivatePage(HWND page) noexcept;       // shows it, hides the others
    void ShowPagesOf(int doc) noexcept;          // the pages of the active document
    std::vector<PageInfo> Pages() const;
    void ResizePane(int width) noexcept;
    void ResizeMain(int width, int height) noexcept;
    void SetDocumentText(const std::wstring& text) noexcept;

    // Sizes every direct child of a page to fill it: maximised children the way the system
    // maximises a child window (frame outside, caption inside), the others to the client area.
    static void FillWithChildren(HWND page) noexcept;

private:
    struct Page {
        rud::UniqueWindow hwnd;
        int doc;
        size_t owner;
        std::wstring toolTip;
        LONG bitmapId;
        rud::UniqueBitmap image;
    };
    static LRESULT CALLBACK MainProc(HWND, UINT, WPARAM, LPARAM) noexcept;
    static LRESULT CALLBACK PaneProc(HWND, UINT, WPARAM, LPARAM) noexcept;
    static LRESULT CALLBACK PageProc(HWND, UINT, WPARAM, LPARAM) noexcept;
    void Layout() noexcept;
    void LayoutPages() noexcept;
    void PaintPaneHeader(HDC dc) noexcept;
    const Page* Visible() const noexcept;

    rud::UniqueWindow main_;
    rud::UniqueWindow pane_;
    rud::UniqueWindow docArea_;
    rud::UniqueFont font_;
    std::vector<Page> pages_;
    int paneWidth_ = 320;
};

constexpr int kPaneHeaderHeight = 26;

} // namespace kvhost
