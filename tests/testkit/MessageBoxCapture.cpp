#include "MessageBoxCapture.h"
#include <stdexcept>

namespace rud::testkit {
namespace {

thread_local MessageBoxCapture* t_active = nullptr;

// Marks a box already seen: a box is activated again whenever focus returns to it.
constexpr wchar_t kSeenProp[] = L"rud.testkit.boxSeen";

bool IsDialogBox(HWND w) {
    wchar_t cls[16] = {};
    return GetClassNameW(w, cls, 16) > 0 && lstrcmpW(cls, L"#32770") == 0;
}

std::wstring WindowText(HWND w) {
    if (!w) return {};
    int n = GetWindowTextLengthW(w);
    std::wstring s(static_cast<size_t>(n) + 1, L'\0');
    n = GetWindowTextW(w, s.data(), n + 1);
    s.resize(static_cast<size_t>(n > 0 ? n : 0));
    return s;
}

struct IconSearch {
    BoxIcon found = BoxIcon::None;
};

BOOL CALLBACK FindIcon(HWND child, LPARAM param) {
    auto* search = reinterpret_cast<IconSearch*>(param);
    wchar_t cls[16] = {};
    if (GetClassNameW(child, cls, 16) == 0 || lstrcmpiW(cls, L"Static") != 0) return TRUE;
    if ((GetWindowLongW(child, GWL_STYLE) & SS_TYPEMASK) != SS_ICON) return TRUE;
    auto icon = reinterpret_cast<HICON>(SendMessageW(child, STM_GETICON, 0, 0));
    if (!icon) return TRUE;
    if (icon == LoadIconA(nullptr, IDI_HAND)) search->found = BoxIcon::Stop;
    else if (icon == LoadIconA(nullptr, IDI_ASTERISK)) search->found = BoxIcon::Information;
    else search->found = BoxIcon::Other;
    return FALSE;
}

LRESULT CALLBACK CbtHook(int code, WPARAM wp, LPARAM lp) {
    if (code == HCBT_ACTIVATE && t_active) {
        try {
            t_active->OnBoxActivated(reinterpret_cast<HWND>(wp));
        } catch (...) {
            // A box that cannot be recorded is still dismissed by nobody: the test sees it missing.
        }
    }
    return CallNextHookEx(nullptr, code, wp, lp);
}

VOID CALLBACK DismissTimer(HWND, UINT, UINT_PTR id, DWORD) {
    KillTimer(nullptr, id);
    if (!t_active) return;
    try {
        t_active->OnDismissTime();
    } catch (...) {
    }
}

} // namespace

MessageBoxCapture::MessageBoxCapture() : MessageBoxCapture(WhileShown{}) {}

MessageBoxCapture::MessageBoxCapture(WhileShown whileShown) : whileShown_(std::move(whileShown)) {
    hook_ = SetWindowsHookExW(WH_CBT, CbtHook, nullptr, GetCurrentThreadId());
    if (!hook_) throw std::runtime_error("SetWindowsHookEx(WH_CBT) failed");
    previous_ = t_active;
    t_active = this;
}

MessageBoxCapture::~MessageBoxCapture() {
    if (timer_) KillTimer(nullptr, timer_);
    t_active = previous_;
    UnhookWindowsHookEx(hook_);
}

void MessageBoxCapture::OnBoxActivated(HWND box) {
    // Only this thread's boxes: under Wine the hook can be told of another program's box taking
    // the focus (a test running beside this one).
    if (!box || GetWindowThreadProcessId(box, nullptr) != GetCurrentThreadId()) return;
    if (!IsDialogBox(box) || GetPropW(box, kSeenProp)) return;
    SetPropW(box, kSeenProp, reinterpret_cast<HANDLE>(1));
    CapturedBox seen;
    seen.window = box;
    seen.title = WindowText(box);
    seen.text = WindowText(GetDlgItem(box, 0xFFFF));
    seen.owner = GetWindow(box, GW_OWNER);
    IconSearch search;
    EnumChildWindows(box, FindIcon, reinterpret_cast<LPARAM>(&search));
    seen.icon = search.found;
    boxes_.push_back(std::move(seen));
    // The box is closed from its own message loop, once it runs: closing it from inside the
    // activation would cut its set-up short.
    toDismiss_.push_back(box);
    if (!timer_) timer_ = SetTimer(nullptr, 0, 1, DismissTimer);
}

void MessageBoxCapture::OnDismissTime() {
    timer_ = 0;
    std::vector<HWND> boxes;
    boxes.swap(toDismiss_);
    for (HWND box : boxes) {
        if (!IsWindow(box)) continue;
        if (whileShown_) {
            for (const CapturedBox& b : boxes_)
                if (b.window == box) {
                    CapturedBox copy = b;  // the action may show and record further boxes
                    whileShown_(copy);
                    break;
                }
        }
        if (IsWindow(box)) PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    }
}

std::vector<std::wstring> SplitCrLf(const std::wstring& text) {
    std::vector<std::wstring> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find(L"\r\n", start);
        if (end == std::wstring::npos) {
            lines.push_back(text.substr(start));
            break;
        }
        lines.push_back(text.substr(start, end - start));
        start = end + 2;
    }
    return lines;
}

} // namespace rud::testkit
