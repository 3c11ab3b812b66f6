#include "Keyboard.h"
#include <algorithm>
#include <string>

namespace rud::pane {

KeyCommand ClassifyKey(UINT message, WPARAM key, bool shift, bool ctrl, bool alt) noexcept {
    switch (message) {
    case WM_KEYDOWN:
        if (ctrl || alt) return KeyCommand::None;
        if (key == VK_TAB) return shift ? KeyCommand::PreviousControl : KeyCommand::NextControl;
        if (key == VK_RETURN && !shift) return KeyCommand::PressFocused;
        return KeyCommand::None;
    case WM_SYSKEYDOWN:
        if (key == VK_MENU) return KeyCommand::ShowAccessKeys;
        // Alt+letter or digit by its key, whatever character the keyboard layout gives it (the
        // M key is Alt+M on a Greek layout too); other access keys come as characters below.
        if (alt && !ctrl && ((key >= 'A' && key <= 'Z') || (key >= '0' && key <= '9'))) return KeyCommand::AccessKey;
        return KeyCommand::None;
    case WM_SYSCHAR:
        // Alt+character; Ctrl+Alt is AltGr on many layouts and types characters instead.
        return ctrl || key < L' ' ? KeyCommand::None : KeyCommand::AccessKey;
    default:
        return KeyCommand::None;
    }
}

int NextTabStop(const std::vector<TabStop>& stops, int from, bool backward) {
    // Positions in tab-number order (stable for equal numbers, as created).
    std::vector<int> order(stops.size());
    for (size_t i = 0; i < order.size(); ++i) order[i] = static_cast<int>(i);
    std::stable_sort(order.begin(), order.end(),
                     [&](int a, int b) { return stops[static_cast<size_t>(a)].tabIndex < stops[static_cast<size_t>(b)].tabIndex; });
    const int n = static_cast<int>(order.size());
    if (n == 0) return -1;
    auto at = std::find(order.begin(), order.end(), from);
    // From no control, forward starts before the first and backward after the last.
    int start = at == order.end() ? (backward ? n : -1) : static_cast<int>(at - order.begin());
    for (int step = 1; step <= n; ++step) {
        int k = ((start + (backward ? -step : step)) % n + n) % n;
        if (stops[static_cast<size_t>(order[static_cast<size_t>(k)])].canFocus) return order[static_cast<size_t>(k)];
    }
    return -1;
}

wchar_t AccessKeyOf(std::wstring_view caption) noexcept {
    for (size_t i = 0; i + 1 < caption.size(); ++i) {
        if (caption[i] != L'&') continue;
        if (caption[i + 1] != L'&') return caption[i + 1];
        ++i;  // "&&"
    }
    return 0;
}

bool MatchesAccessKey(wchar_t typed, wchar_t accessKey) noexcept {
    if (!typed || !accessKey) return false;
    // CharUpperBuffW maps in the user's language, as the dialog manager compares mnemonics.
    wchar_t a[1] = {typed}, b[1] = {accessKey};
    CharUpperBuffW(a, 1);
    CharUpperBuffW(b, 1);
    return a[0] == b[0];
}

std::wstring CaptionText(std::wstring_view caption) {
    std::wstring out;
    out.reserve(caption.size());
    for (size_t i = 0; i < caption.size(); ++i) {
        if (caption[i] == L'&') {
            if (i + 1 < caption.size() && caption[i + 1] == L'&') out += L'&', ++i;
            continue;
        }
        out += caption[i];
    }
    return out;
}

} // namespace rud::pane
