#pragma once
// The base of every COM object of the DLL: the object derives from its interfaces through it,
// answers QueryInterface from its table of interfaces (`static std::span<const
// InterfaceEntry<Derived>> InterfaceTable() noexcept`, see InterfaceTable.h), counts itself among
// the module's live objects while it exists and deletes itself with its last reference. The
// count starts at zero; the first ComPtr (or QueryInterface) takes the first reference.
// The object belongs to the thread that made it (OwningThread.h): IUnknown checks it, and so
// should every other method that does more than forward.
#include "InterfaceTable.h"
#include "Module.h"
#include "OwningThread.h"
#include <windows.h>
#include <unknwn.h>

namespace rud::module {

template <class Derived, class... Interfaces>
class ModuleObject : public Interfaces... {
public:
    // One overrider for the IUnknown of every interface.
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) noexcept override {
        thread_.Check("QueryInterface");
        return QueryInterfaceFrom(Derived::InterfaceTable(), static_cast<Derived*>(this), riid, ppv);
    }
    ULONG STDMETHODCALLTYPE AddRef() noexcept override {
        thread_.Check("AddRef");
        return InterlockedIncrement(&refs_);
    }
    ULONG STDMETHODCALLTYPE Release() noexcept override {
        thread_.Check("Release");
        ULONG n = InterlockedDecrement(&refs_);
        if (n == 0) delete static_cast<Derived*>(this);
        return n;
    }

protected:
    ModuleObject() noexcept { AddObject(); }
    ~ModuleObject() { ReleaseObject(); }
    ModuleObject(const ModuleObject&) = delete;
    ModuleObject& operator=(const ModuleObject&) = delete;

    // For the derived object's own entry points.
    void CheckThread(const char* where) noexcept { thread_.Check(where); }

private:
    LONG refs_ = 0;
    OwningThread thread_ = OwningThread::ThisThread();
};

} // namespace rud::module
