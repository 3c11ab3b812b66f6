#pragma once
// The reference count every COM object of the DLL shares: the object derives from its interfaces
// through this base, counts itself among the module's live objects while it exists and deletes
// itself with its last reference. The count starts at zero; the first ComPtr (or QueryInterface)
// takes the first reference. The object answers QueryInterface itself.
#include "Module.h"
#include <windows.h>
#include <unknwn.h>

namespace rud::module {

template <class Derived, class... Interfaces>
class ModuleObject : public Interfaces... {
public:
    // One overrider for the AddRef and Release of every interface.
    ULONG STDMETHODCALLTYPE AddRef() noexcept override { return InterlockedIncrement(&refs_); }
    ULONG STDMETHODCALLTYPE Release() noexcept override {
        ULONG n = InterlockedDecrement(&refs_);
        if (n == 0) delete static_cast<Derived*>(this);
        return n;
    }

protected:
    ModuleObject() noexcept { AddObject(); }
    ~ModuleObject() { ReleaseObject(); }
    ModuleObject(const ModuleObject&) = delete;
    ModuleObject& operator=(const ModuleObject&) = delete;

private:
    LONG refs_ = 0;
};

} // namespace rud::module
