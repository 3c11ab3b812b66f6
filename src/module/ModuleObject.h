#pragma once
// The reference count every COM object of the DLL shares: it counts itself among the module's
// live objects while it exists and deletes itself with its last reference. The count starts at
// zero; the first ComPtr (or QueryInterface) takes the first reference.
#include "Module.h"
#include <windows.h>

namespace rud::module {

template <class Derived>
class ModuleObject {
protected:
    ModuleObject() noexcept { AddObject(); }
    ~ModuleObject() { ReleaseObject(); }
    ModuleObject(const ModuleObject&) = delete;
    ModuleObject& operator=(const ModuleObject&) = delete;

    ULONG AddRefImpl() noexcept { return InterlockedIncrement(&refs_); }
    ULONG ReleaseImpl() noexcept {
        ULONG n = InterlockedDecrement(&refs_);
        if (n == 0) delete static_cast<Derived*>(this);
        return n;
    }

private:
    LONG refs_ = 0;
};

} // namespace rud::module
