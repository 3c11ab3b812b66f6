#include "SharedDrawing.h"
#include "AddInError.h"
#include "OwningThread.h"
#include "Raii.h"
#include "Twips.h"
#include <commctrl.h>
#include <algorithm>
#include <string>
#include <utility>

namespace rud::pane {

namespace {

// Shares held by forms, the thread of the forms that hold them, and what they share.
int g_shares = 0;
OwningThread g_sharesThread;

struct SharedFont {
    std::wstring face;
    int height;
    int weight;
    UniqueFont font;
};
std::vector<SharedFont> g_fonts;
std::vector<std::pair<COLORREF, UniqueBrush>> g_brushes;

// Adds `h` to a share's list of what it uses, once.
template <typename H>
void Note(std::vector<H>& used, H h) {
    if (std::find(used.begin(), used.end(), h) == used.end()) used.push_back(h);
}

// A font of `points` on the screen (its character height in pixels, hence the minus sign).
UniqueFont CreatePaneFont(const wchar_t* face, double points, int weight) noexcept {
    return UniqueFont(CreateFontW(-PointsToPixelsY(points), 0, 0, 0, weight, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                                  OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_SWISS,
                                  face));
}

HFONT SharedFontOf(const wchar_t* face, double points, int weight) {
    const int height = PointsToPixelsY(points);
    for (const SharedFont& f : g_fonts)
        if (f.height == height && f.weight == weight && f.face == face) return f.font.get();
    UniqueFont font = CreatePaneFont(face, points, weight);
    if (!font) ThrowFailedCall(E_OUTOFMEMORY);
    g_fonts.push_back(SharedFont{face, height, weight, std::move(font)});
    return g_fonts.back().font.get();
}

HBRUSH SharedBrushOf(COLORREF color) {
    for (const auto& [c, b] : g_brushes)
        if (c == color) return b.get();
    UniqueBrush brush(CreateSolidBrush(color));
    if (!brush) ThrowFailedCall(E_OUTOFMEMORY);
    g_brushes.emplace_back(color, std::move(brush));
    return g_brushes.back().second.get();
}

} // namespace

void EnsureCommonControls() {
    static const bool done = [] {
        INITCOMMONCONTROLSEX icc{sizeof icc, ICC_TREEVIEW_CLASSES | ICC_BAR_CLASSES | ICC_STANDARD_CLASSES};
        return InitCommonControlsEx(&icc) != FALSE;
    }();
    (void)done;
}

const wchar_t* ContainerClassName() noexcept { return L"RuDerizIRA.PaneContainer"; }

void RegisterContainerClass(WNDPROC proc) {
    const wchar_t* name = ContainerClassName();
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    if (GetClassInfoExW(ThisModule(), name, &wc)) return;
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = proc;
    wc.hInstance = ThisModule();
    wc.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    wc.lpszClassName = name;
    if (!RegisterClassExW(&wc) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS)
        ThrowFailedCall(HRESULT_FROM_WIN32(GetLastError()));
}

void DrawingShare::Hold() noexcept {
    g_sharesThread.Check("DrawingShare");
    if (holds_) return;
    holds_ = true;
    ++g_shares;
}

HFONT DrawingShare::Font(const wchar_t* face, double points, int weight) {
    Hold();
    HFONT h = SharedFontOf(face, points, weight);
    Note(fonts_, h);
    return h;
}

HBRUSH DrawingShare::Brush(COLORREF color) {
    Hold();
    HBRUSH h = SharedBrushOf(color);
    Note(brushes_, h);
    return h;
}

void DrawingShare::Release() noexcept {
    fonts_.clear();
    brushes_.clear();
    if (!holds_) return;
    g_sharesThread.Check("DrawingShare");
    holds_ = false;
    if (--g_shares == 0) {
        g_sharesThread.Forget();
        UnregisterClassW(ContainerClassName(), ThisModule());
        g_fonts.clear();
        g_brushes.clear();
    }
}

} // namespace rud::pane
