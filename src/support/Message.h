#pragma once
// The add-in's message boxes: modal, titled with the application's name.
#include <windows.h>
#include <string_view>

namespace rud {

// The title every message box of the add-in carries.
inline constexpr wchar_t kAppTitle[] = L"RuDerizIRA";
// Button and icon flags of the boxes: a failure (critical stop, OK) and a refusal (information, OK).
inline constexpr UINT kCriticalBoxFlags = MB_OK | MB_ICONSTOP;
inline constexpr UINT kInformationBoxFlags = MB_OK | MB_ICONINFORMATION;

// A modal message box titled "RuDerizIRA", owned by the thread's active window so that the host
// cannot be used behind it. Gives the button pressed, 0 when the box could not be shown (the
// thread's last error tells why). Never throws.
int ShowMessage(std::wstring_view text, UINT flags) noexcept;

} // namespace rud
