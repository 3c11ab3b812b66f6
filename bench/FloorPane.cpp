#include "FloorPane.h"
#include "FolderPicture.h"
#include "KorvaneFramework.h"
#include "Raii.h"
#include "Twips.h"
#include "frmBarLayout.h"
#include <commctrl.h>
#include <wrl/client.h>
#include <array>
#include <stdexcept>

using Microsoft::WRL::ComPtr;
using namespace rud::pane;

namespace bench {

namespace {

constexpr COLORREF kGrey = 0x00E0E0E0;
constexpr wchar_t kClass[] = L"RuDerizIRA.FloorContainer";

// The pane's controls, in its order of creation (the tab order).
enum Slot { Picture1, txtFile, Label1, Picture2, Label2, TV1, txtValue, cmdModify, lblValue, cmdOpen, Form, kSlots };

struct Design {
    Slot container;
    const wchar_t* cls;
    const wchar_t* text;
    DWORD style, exStyle;
    double left, top, width, height;
};
const Design kDesign[] = {
    {Form, kClass, L"", WS_CLIPCHILDREN | WS_CLIPSIBLINGS, WS_EX_CONTROLPARENT, 0, 0, 5085, 465},
    {Picture1, L"EDIT", L"", WS_TABSTOP | ES_LEFT | ES_AUTOHSCROLL | ES_READONLY, WS_EX_CLIENTEDGE, 450, 90, 3975, 285},
    {Picture1, L"STATIC", L"File:", SS_LEFT, 0, 90, 135, 330, 195},
    {Form, kClass, L"", WS_CLIPCHILDREN | WS_CLIPSIBLINGS, WS_EX_CONTROLPARENT, 0, 465, 5085, 4335},
    {Picture2, L"STATIC", L"Active Property Table", SS_LEFT, 0, 90, 45, 3210, 240},
    {Picture2, WC_TREEVIEWW, L"", WS_TABSTOP | TVS_HASLINES | TVS_HASBUTTONS | TVS_LINESATROOT | TVS_SHOWSELALWAYS,
     WS_EX_CLIENTEDGE, 135, 315, 4785, 2715},
    {Picture2, L"EDIT", L"", WS_TABSTOP | ES_LEFT | ES_AUTOHSCROLL, WS_EX_CLIENTEDGE, 675, 3870, 3345, 330},
    {Picture2, L"BUTTON", L"&Modify", WS_TABSTOP | BS_PUSHBUTTON, 0, 4050, 3870, 825, 330},
    {Picture2, L"STATIC", L"Value:", SS_LEFT, 0, 135, 3870, 555, 330},
    {Picture1, L"BUTTON", L"", WS_TABSTOP | BS_PUSHBUTTON | BS_ICON, 0, 4500, 90, 450, 315},
};

// The pane's layout arithmetic run on rectangles in pixels, converted as the windows would.
class Rects : public LayoutTarget {
public:
    std::array<RECT, kSlots> r{};
    double Read(Ctl c, Dim d) override {
        const RECT& x = r[Of(c)];
        switch (d) {
        case Dim::Left: return PixelsToTwipsX(x.left);
        case Dim::Top: return PixelsToTwipsY(x.top);
        case Dim::Width: case Dim::ScaleWidth: return PixelsToTwipsX(x.right - x.left);
        case Dim::Height: case Dim::ScaleHeight: return PixelsToTwipsY(x.bottom - x.top);
        }
        return 0;
    }
    void Write(Ctl c, Dim d, double v) override {
        RECT& x = r[Of(c)];
        const int w = x.right - x.left, h = x.bottom - x.top;
        switch (d) {
        case Dim::Left: x.left = TwipsToPixelsX(v); x.right = x.left + w; break;
        case Dim::Top: x.top = TwipsToPixelsY(v); x.bottom = x.top + h; break;
        case Dim::Width: x.right = x.left + std::max(0, TwipsToPixelsX(v)); break;
        case Dim::Height: x.bottom = x.top + std::max(0, TwipsToPixelsY(v)); break;
        default: break;
        }
    }
    void Move(Ctl c, double left, double top, double width, double height) override {
        RECT& x = r[Of(c)];
        x.left = TwipsToPixelsX(left);
        x.top = TwipsToPixelsY(top);
        x.right = x.left + std::max(0, TwipsToPixelsX(width));
        x.bottom = x.top + std::max(0, TwipsToPixelsY(height));
    }

private:
    static Slot Of(Ctl c) {
        // In the order of Ctl.
        constexpr Slot slots[] = {Form, Picture1, Picture2, TV1, txtFile, cmdOpen, txtValue, cmdModify, lblValue};
        return slots[static_cast<int>(c)];
    }
};

// Containers paint their background and colour their labels and the file box like the pane's.
struct ContainerData {
    HBRUSH brush;
    COLORREF color;
    HWND ownColored;  // the child with a background of its own (the file box)
};

LRESULT CALLBACK ContainerProc(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
    auto* d = reinterpret_cast<ContainerData*>(GetWindowLongPtrW(h, GWLP_USERDATA));
    if (d && msg == WM_ERASEBKGND) {
        RECT r;
        GetClientRect(h, &r);
        FillRect(reinterpret_cast<HDC>(wp), &r, d->brush);
        return 1;
    }
    if (d && msg == WM_CTLCOLORSTATIC) {
        HDC dc = reinterpret_cast<HDC>(wp);
        const bool own = reinterpret_cast<HWND>(lp) == d->ownColored;
        SetBkColor(dc, own ? kGrey : d->color);
        SetTextColor(dc, GetSysColor(COLOR_WINDOWTEXT));
        return reinterpret_cast<LRESULT>(own ? reinterpret_cast<HBRUSH>(GetPropW(h, L"grey")) : d->brush);
    }
    return DefWindowProcW(h, msg, wp, lp);
}

VARIANT Get(IDispatch* object, DISPID id) {
    DISPPARAMS none{};
    VARIANT out;
    VariantInit(&out);
    HRESULT hr = object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYGET | DISPATCH_METHOD, &none,
                                &out, nullptr, nullptr);
    if (FAILED(hr)) throw std::runtime_error("host read failed");
    return out;
}

VARIANT GetNamed(IDispatch* object, const wchar_t* name) {
    DISPID id = 0;
    LPOLESTR n = const_cast<LPOLESTR>(name);
    if (FAILED(object->GetIDsOfNames(IID_NULL, &n, 1, LOCALE_USER_DEFAULT, &id))) throw std::runtime_error("no member");
    return Get(object, id);
}

std::wstring Text(VARIANT v) {
    VARIANT t;
    VariantInit(&t);
    std::wstring s;
    if (SUCCEEDED(VariantChangeTypeEx(&t, &v, LOCALE_USER_DEFAULT, VARIANT_ALPHABOOL, VT_BSTR)))
        s.assign(V_BSTR(&t), SysStringLen(V_BSTR(&t)));
    VariantClear(&t);
    VariantClear(&v);
    size_t first = s.find_first_not_of(L' ');
    if (first == std::wstring::npos) return {};
    return s.substr(first, s.find_last_not_of(L' ') - first + 1);
}

ComPtr<IEnumVARIANT> Items(IDispatch* collection) {
    VARIANT e = Get(collection, DISPID_NEWENUM);
    ComPtr<IEnumVARIANT> out;
    V_UNKNOWN(&e)->QueryInterface(IID_PPV_ARGS(&out));
    VariantClear(&e);
    return out;
}

ComPtr<IDispatch> Next(IEnumVARIANT* e) {
    VARIANT item;
    VariantInit(&item);
    ULONG n = 0;
    ComPtr<IDispatch> out;
    if (e->Next(1, &item, &n) == S_OK && n == 1) out = V_DISPATCH(&item);
    VariantClear(&item);
    return out;
}

HTREEITEM Insert(HWND tree, HTREEITEM parent, std::wstring& text) {
    TVINSERTSTRUCTW ins{};
    ins.hParent = parent;
    ins.hInsertAfter = TVI_LAST;
    ins.item.mask = TVIF_TEXT;
    ins.item.pszText = text.data();
    return reinterpret_cast<HTREEITEM>(SendMessageW(tree, TVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&ins)));
}

ContainerData g_data[2];

} // namespace

FloorPane::FloorPane() {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = ContainerProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    wc.lpszClassName = kClass;
    RegisterClassExW(&wc);
}

FloorPane::~FloorPane() {
    Close();
    UnregisterClassW(kClass, GetModuleHandleW(nullptr));
}

void FloorPane::Open(IDispatch* addInObject, IDispatch* document, HINSTANCE pageImageModule) {
    addIn_ = addInObject;
    document_ = document;
    ComPtr<IKorvaneVaneBar> vaneBar;
    addIn_->QueryInterface(IID_PPV_ARGS(&vaneBar));
    LONG page = 0;
    rud::Bstr tip(L"RI Doroz OZA");
    vaneBar->CreatePage(document, static_cast<LONG>(reinterpret_cast<INT_PTR>(pageImageModule)), 105, tip.get(), 0, &page);
    page_ = reinterpret_cast<HWND>(static_cast<INT_PTR>(page));

    const int dpi = ScreenDpi().y;
    font_ = CreateFontW(-MulDiv(8, dpi, 72), 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                        CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_SWISS, L"MS Sans Serif");
    bold_ = CreateFontW(-static_cast<int>(std::lround(9.75 * dpi / 72.0)), 0, 0, 0, FW_BOLD, FALSE, FALSE, FALSE,
                        DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                        DEFAULT_PITCH | FF_SWISS, L"MS Sans Serif");
    grey_ = CreateSolidBrush(kGrey);
    face_ = CreateSolidBrush(GetSysColor(COLOR_BTNFACE));
    picture_ = MakeFolderPicture().release();

    // Final rectangles first: the design, then the resize arithmetic for the page's size.
    RECT client;
    GetClientRect(page_, &client);
    Rects rects;
    for (int i = 0; i < cmdOpen + 1; ++i) {
        const Design& d = kDesign[i];
        RECT& r = rects.r[i];
        r.left = TwipsToPixelsX(d.left);
        r.top = TwipsToPixelsY(d.top);
        r.right = r.left + TwipsToPixelsX(d.width);
        r.bottom = r.top + TwipsToPixelsY(d.height);
    }
    rects.r[Form] = client;
    const int stripHeight = rects.r[Picture1].bottom - rects.r[Picture1].top;
    rects.r[Picture1] = RECT{0, 0, client.right, stripHeight};
    rects.r[Picture2].right = client.right;
    LayoutFormResize(rects);
    LayoutPicture1Resize(rects);
    LayoutPicture2Resize(rects);

    // Hidden form, every control at its final place, then one show.
    HWND w[kSlots] = {};
    w[Form] = CreateWindowExW(WS_EX_CONTROLPARENT, kClass, L"", WS_CHILD | WS_CLIPCHILDREN | WS_MAXIMIZE, 0, 0,
                              client.right, client.bottom, page_, nullptr, GetModuleHandleW(nullptr), nullptr);
    g_data[0] = {face_, GetSysColor(COLOR_BTNFACE), nullptr};
    g_data[1] = {grey_, kGrey, nullptr};
    SetWindowLongPtrW(w[Form], GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&g_data[1]));
    for (int i = 0; i < cmdOpen + 1; ++i) {
        const Design& d = kDesign[i];
        const RECT& r = rects.r[i];
        w[i] = CreateWindowExW(d.exStyle, d.cls, d.text, d.style | WS_CHILD | WS_VISIBLE, r.left, r.top,
                               r.right - r.left, r.bottom - r.top, w[d.container], nullptr,
                               GetModuleHandleW(nullptr), nullptr);
        SendMessageW(w[i], WM_SETFONT, reinterpret_cast<WPARAM>(i == Label2 ? bold_ : font_), FALSE);
    }
    g_data[0].ownColored = w[txtFile];
    SetPropW(w[Picture1], L"grey", grey_);
    SetWindowLongPtrW(w[Picture1], GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&g_data[0]));
    SetWindowLongPtrW(w[Picture2], GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&g_data[1]));
    SendMessageW(w[cmdOpen], BM_SETIMAGE, IMAGE_ICON, reinterpret_cast<LPARAM>(picture_));
    tips_ = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX,
                            CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr,
                            GetModuleHandleW(nullptr), nullptr);
    std::wstring tipText = L"Apri direttamente la cartella di rete con i profili campi";
    TTTOOLINFOW ti{};
    ti.cbSize = TTTOOLINFOW_V2_SIZE;
    ti.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    ti.hwnd = w[Picture1];
    ti.uId = reinterpret_cast<UINT_PTR>(w[cmdOpen]);
    ti.lpszText = tipText.data();
    SendMessageW(tips_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&ti));

    // The same host reads as the pane's, then the tree: set nodes first, then their properties.
    VARIANT name = GetNamed(document_, L"FullName");
    std::wstring file = L" " + std::wstring(V_BSTR(&name), SysStringLen(V_BSTR(&name)));
    VariantClear(&name);
    SetWindowTextW(w[txtFile], file.c_str());
    EnableWindow(w[cmdOpen], file.find(L'.') != std::wstring::npos);
    SetWindowTextW(w[txtValue], L"");

    std::vector<std::wstring> setTexts;
    std::vector<std::vector<std::wstring>> propTexts;
    VARIANT setsV = GetNamed(document_, L"Properties");
    ComPtr<IEnumVARIANT> sets = Items(V_DISPATCH(&setsV));
    while (ComPtr<IDispatch> set = Next(sets.Get())) {
        setTexts.push_back(L"[" + Text(Get(set.Get(), korvane::DISPID_PROPSET_NAME)) + L"]");
        propTexts.emplace_back();
        ComPtr<IEnumVARIANT> props = Items(set.Get());
        while (ComPtr<IDispatch> prop = Next(props.Get())) {
            std::wstring n = Text(Get(prop.Get(), korvane::DISPID_PROP_NAME));
            propTexts.back().push_back(n + L"=" + Text(Get(prop.Get(), korvane::DISPID_PROP_VALUE)));
        }
    }
    VariantClear(&setsV);
    std::vector<HTREEITEM> roots;
    for (std::wstring& t : setTexts) roots.push_back(Insert(w[TV1], TVI_ROOT, t));
    for (size_t s = 0; s < roots.size(); ++s)
        for (std::wstring& t : propTexts[s]) Insert(w[TV1], roots[s], t);
    if (!roots.empty()) SendMessageW(w[TV1], TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(roots[0]));

    ShowWindow(w[Form], SW_SHOWMAXIMIZED);
}

void FloorPane::Close() {
    if (page_) {
        ComPtr<IKorvaneVaneBar> vaneBar;
        addIn_->QueryInterface(IID_PPV_ARGS(&vaneBar));
        vaneBar->DeletePage(document_, static_cast<LONG>(reinterpret_cast<INT_PTR>(page_)), 0);
        page_ = nullptr;
    }
    if (tips_) DestroyWindow(tips_);
    tips_ = nullptr;
    for (HGDIOBJ o : {static_cast<HGDIOBJ>(font_), static_cast<HGDIOBJ>(bold_), static_cast<HGDIOBJ>(grey_),
                      static_cast<HGDIOBJ>(face_)})
        if (o) DeleteObject(o);
    font_ = bold_ = nullptr;
    grey_ = face_ = nullptr;
    if (picture_) DestroyIcon(picture_);
    picture_ = nullptr;
}

} // namespace bench
