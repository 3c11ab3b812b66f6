#pragma once
// The simulator's own list of add-ins to load at start, as an installer writes it:
//   HKEY_CURRENT_USER or HKEY_LOCAL_MACHINE \Software\KorvaneSim\AddIns\<ProgID>
//       LoadBehavior  REG_DWORD  1 = load at start, 0 = listed but left alone
// An entry of the user's hides the machine's entry of the same ProgID.
#include "Host.h"
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

// What became of one entry marked for loading.
struct StartedAddIn {
    ListedAddIn entry;
    size_t index = SIZE_MAX;    // its index in the host; SIZE_MAX when it was not created
    std::wstring error;         // why it was not created
    HRESULT connection = E_FAIL;  // OnConnection's answer (a refusing add-in is released again)
};

// As the host does at start: every entry marked for loading, in list order, created by its
// ProgID and connected, each as an add-in of its own.
std::vector<StartedAddIn> StartListedAddIns(Host& host, const wchar_t* key = kAddInListKey);

} // namespace kvhost
