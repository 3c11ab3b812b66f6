#pragma once
// The pane's own keyboard interface, apart from any window: which key does what, the tab order
// across the form's containers and the access keys of captions. The form layer applies it.
#include <windows.h>
#include <string>
#include <string_view>
#include <vector>

namespace rud::pane {

enum class KeyCommand {
    None,
    NextControl,      // Tab
    PreviousControl,  // Shift+Tab
    AccessKey,        // Alt+<key or character>: the button whose caption underlines it
    PressFocused,     // Enter: presses the focused button
    ShowAccessKeys,   // Alt went down: underline the access keys from now on
};

// What a keyboard message means to the pane. `key` is the message's wParam (a virtual key or a
// character); the modifiers are the keyboard state when the message was taken from the queue.
KeyCommand ClassifyKey(UINT message, WPARAM key, bool shift, bool ctrl, bool alt) noexcept;

struct TabStop {
    int tabIndex = -1;
    bool canFocus = false;  // takes the keyboard focus (a tab stop, enabled and shown)
};

// The position in `stops` of the control that the focus goes to from the one at `from` (-1 when
// the focus is on none of them), following the tab numbers forward or backward and wrapping
// around; controls that cannot take the focus are skipped. -1 when none can.
int NextTabStop(const std::vector<TabStop>& stops, int from, bool backward);

// The access key of a caption: the character after the first single "&" ("&Modify" gives 'M'),
// 0 when there is none ("&&" stands for a plain "&").
wchar_t AccessKeyOf(std::wstring_view caption) noexcept;
// Whether a typed character selects an access key (letter case ignored).
bool MatchesAccessKey(wchar_t typed, wchar_t accessKey) noexcept;
// The caption as read out or shown without its access-key marks ("&Modify" gives "Modify").
std::wstring CaptionText(std::wstring_view caption);

} // namespace rud::pane
