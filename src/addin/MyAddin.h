#pragma once
// MyAddin: the object the host creates and connects through IKorvaneAddIn.
#include <windows.h>
#include <ole2.h>

namespace rud::addin {

// Creates a new MyAddin and asks it for riid (the class factory's CreateInstance).
HRESULT CreateMyAddin(REFIID riid, void** ppv) noexcept;

} // namespace rud::addin
