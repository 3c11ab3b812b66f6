#pragma once
// The server module: the count of live objects and locks that DllCanUnloadNow reads, the DLL's
// own path, and the type information of the embedded type library.
#include <windows.h>
#include <oaidl.h>
#include <string>

namespace rud::module {

// Every COM object of the DLL counts itself while it lives; LockServer counts too. Safe from any
// thread: DllCanUnloadNow reads the count wherever COM calls it.
void AddObject() noexcept;
void ReleaseObject() noexcept;
LONG LiveCount() noexcept;

// Holds the module while it lives: DllCanUnloadNow answers S_FALSE meanwhile. For what is no COM
// object but runs the DLL's code when called (the event hub, a pane form and their handlers).
class ModuleLock {
public:
    ModuleLock() noexcept { AddObject(); }
    ~ModuleLock() { ReleaseObject(); }
    ModuleLock(const ModuleLock&) = delete;
    ModuleLock& operator=(const ModuleLock&) = delete;
};

// The full path of this DLL; "" when it cannot be found out (the thread's last error tells why).
std::wstring Path();

// Type information for an interface of the embedded type library (loaded once, cached).
HRESULT GetTypeInfoOf(const IID& iid, ITypeInfo** info) noexcept;
// Drops the cached type library, so that an unloadable server holds nothing of oleaut32's.
void ReleaseTypeLibrary() noexcept;
// Forgets the cached type library without releasing it: at process exit oleaut32 may already be
// gone, and the library goes with the process.
void AbandonTypeLibrary() noexcept;

} // namespace rud::module
