#pragma once
// QueryInterface answered from a table: each row an interface id and the cast of the object to
// the interface it names. Every COM object of the DLL answers through it (ModuleObject), so all
// answer alike: the interface with a reference added, or E_NOINTERFACE and null, or E_POINTER.
#include <windows.h>
#include <unknwn.h>
#include <span>

namespace rud::module {

template <class Object>
struct InterfaceEntry {
    const IID* iid;
    IUnknown* (*cast)(Object*) noexcept;
};

// The row that answers `iid` with the object as `Interface` (one interface may answer several
// ids: a dual interface answers IUnknown and IDispatch too).
template <class Object, class Interface>
constexpr InterfaceEntry<Object> Answer(const IID& iid) noexcept {
    return {&iid, [](Object* object) noexcept -> IUnknown* { return static_cast<Interface*>(object); }};
}

template <class Object>
HRESULT QueryInterfaceFrom(std::span<const InterfaceEntry<Object>> table, Object* object, REFIID riid,
                           void** ppv) noexcept {
    if (!ppv) return E_POINTER;
    for (const InterfaceEntry<Object>& entry : table) {
        if (IsEqualIID(riid, *entry.iid)) {
            IUnknown* answer = entry.cast(object);
            answer->AddRef();
            *ppv = answer;
            return S_OK;
        }
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
}

} // namespace rud::module
