#pragma once
// The server module: its instance handle, the count of live objects and locks that
// DllCanUnloadNow reads, and the type information of the embedded type library.
#include <windows.h>
#include <oaidl.h>

namespace rud::module {

HINSTANCE Instance() noexcept;

// Every COM object of the DLL counts itself while it lives; LockServer counts too.
void AddObject() noexcept;
void ReleaseObject() noexcept;
LONG LiveCount() noexcept;

// Type information for an interface of the embedded type library (loaded once, cached).
HRESULT GetTypeInfoOf(const IID& iid, ITypeInfo** info) noexcept;

} // namespace rud::module
