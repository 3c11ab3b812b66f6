#pragma once
// The simulator's own list of add-ins to load at start, as an installer writes it:
//   HKEY_CURRENT_USER or HKEY_LOCAL_MACHINE \Software\KorvaneSim\AddIns\<ProgID>
//       LoadBehavior  REG_DWORD  1 = load at start, 0 = listed but left alone
// An entry of the user's hides the machine's entry of the same ProgID.
#include <windows.h>
#include <string>
#include <vector>

namespace kvhost {

inline constexpr wchar_t kAddInListKey[] = L"Software\\KorvaneSim\\AddIns";

struct ListedAddIn {
    std::wstring progId;
    bool load = false;     // LoadBehavior is 1
    bool perUser = false;  // found below HKEY_CURRENT_USER
};

// The user's entries, then the machine's, each in ProgID order. None when neither key exists.
std::vector<ListedAddIn> ListedAddIns(const wchar_t* key = kAddInListKey);

} // namespace kvhost
