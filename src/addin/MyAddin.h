#pragma once
// MyAddin: the object the host creates and connects through IKorvaneAddIn.
#include "Raii.h"
#include <windows.h>
#include <ole2.h>
#include <string>

namespace rud::addin {

// Creates a new MyAddin and asks it for riid (the class factory's CreateInstance).
HRESULT CreateMyAddin(REFIID riid, void** ppv) noexcept;

// MyAddin's two helpers for the add-in's custom toolbar and texts; nothing calls them yet.
// Asks the host's add-in object for a toolbar button (AddButton with the three arguments by
// reference) and, when flag is set, sets its ButtonFlag. Throws AddInError on any failure.
void AddToolbarButton(IDispatch* addInObject, const std::wstring& text1, const std::wstring& text2, LONG id, bool flag);
// The six texts joined with line feeds (character 10), as a string.
Variant JoinWithLineFeeds(const std::wstring& part1, const std::wstring& part2, const std::wstring& part3,
                          const std::wstring& part4, const std::wstring& part5, const std::wstring& part6);

} // namespace rud::addin
