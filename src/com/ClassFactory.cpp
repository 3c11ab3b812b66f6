// DllGetClassObject and the one class factory, driven by a table of creatable classes.
#include "Identity.h"
#include "Module.h"
#include "ModuleObject.h"
#include "MyAddin.h"
#include <wrl/client.h>
#include <new>
#include <span>

using Microsoft::WRL::ComPtr;

namespace {

using CreateFunction = HRESULT (*)(REFIID, void**) noexcept;

struct CreatableClass {
    const CLSID* clsid;
    CreateFunction create;
};

constexpr CreatableClass kClasses[] = {
    {&CLSID_MyAddin, &rud::addin::CreateMyAddin},
};

// LockServer(TRUE) calls not yet matched by LockServer(FALSE), over all factories.
LONG g_locks = 0;

// The factory counts as a live object: a client holding it keeps the server loaded.
class ClassFactory final : public rud::module::ModuleObject<ClassFactory, IClassFactory> {
    template <class, class...> friend class rud::module::ModuleObject;

public:
    explicit ClassFactory(CreateFunction create) noexcept : create_(create) {}

    STDMETHODIMP CreateInstance(IUnknown* outer, REFIID riid, void** ppv) noexcept override {
        CheckThread("IClassFactory::CreateInstance");
        if (!ppv) return E_POINTER;
        *ppv = nullptr;
        if (outer) return CLASS_E_NOAGGREGATION;
        return create_(riid, ppv);
    }

    // A lock keeps the server loaded exactly as a live object does. An unlock without a lock is
    // refused: it would let the count reach zero while objects are still alive.
    // The count is atomic: DllCanUnloadNow reads it from any thread (ARCHITECTURE.md, Threading).
    STDMETHODIMP LockServer(BOOL lock) noexcept override {
        CheckThread("IClassFactory::LockServer");
        if (lock) {
            InterlockedIncrement(&g_locks);
            rud::module::AddObject();
            return S_OK;
        }
        for (LONG held = g_locks; held > 0; held = g_locks) {
            if (InterlockedCompareExchange(&g_locks, held - 1, held) == held) {
                rud::module::ReleaseObject();
                return S_OK;
            }
        }
        return E_UNEXPECTED;
    }

private:
    ~ClassFactory() = default;

    static std::span<const rud::module::InterfaceEntry<ClassFactory>> InterfaceTable() noexcept {
        using rud::module::Answer;
        static constexpr rud::module::InterfaceEntry<ClassFactory> kInterfaces[] = {
            Answer<ClassFactory, IClassFactory>(IID_IUnknown),
            Answer<ClassFactory, IClassFactory>(IID_IClassFactory),
        };
        return kInterfaces;
    }

    CreateFunction create_;
};

} // namespace

STDAPI DllGetClassObject(REFCLSID clsid, REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    for (const CreatableClass& c : kClasses) {
        if (!IsEqualCLSID(clsid, *c.clsid)) continue;
        ComPtr<ClassFactory> factory(new (std::nothrow) ClassFactory(c.create));
        if (!factory) return E_OUTOFMEMORY;
        return factory->QueryInterface(riid, ppv);
    }
    return CLASS_E_CLASSNOTAVAILABLE;
}
