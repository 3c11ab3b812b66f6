#include "AccessibleName.h"
#include "ModuleObject.h"
#include <oleacc.h>
#include <wrl/client.h>
#include <new>
#include <span>

using Microsoft::WRL::ComPtr;

namespace rud::pane {

namespace {

bool IsSelf(const VARIANT& child) noexcept { return V_VT(&child) == VT_I4 && V_I4(&child) == CHILDID_SELF; }

// The standard object of the window with its name replaced; everything else is the standard
// object's own. It counts among the module's objects: a screen reader may hold it.
class NamedAccessible final : public module::ModuleObject<NamedAccessible, IAccessible, IOleWindow> {
    template <class, class...> friend class module::ModuleObject;

public:
    NamedAccessible(ComPtr<IAccessible> inner, HWND hWnd, std::wstring name)
        : inner_(std::move(inner)), hWnd_(hWnd), name_(std::move(name)) {}

    // IUnknown comes from ModuleObject, answered from InterfaceTable().

    // IDispatch
    STDMETHODIMP GetTypeInfoCount(UINT* n) noexcept override { return inner_->GetTypeInfoCount(n); }
    STDMETHODIMP GetTypeInfo(UINT i, LCID lcid, ITypeInfo** info) noexcept override {
        return inner_->GetTypeInfo(i, lcid, info);
    }
    STDMETHODIMP GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT n, LCID lcid, DISPID* ids) noexcept override {
        return inner_->GetIDsOfNames(riid, names, n, lcid, ids);
    }
    STDMETHODIMP Invoke(DISPID id, REFIID riid, LCID lcid, WORD flags, DISPPARAMS* params, VARIANT* result,
                        EXCEPINFO* excep, UINT* argErr) noexcept override {
        return inner_->Invoke(id, riid, lcid, flags, params, result, excep, argErr);
    }

    // IAccessible: the name of the control itself is ours.
    STDMETHODIMP get_accName(VARIANT child, BSTR* name) noexcept override {
        CheckThread("NamedAccessible::get_accName");
        if (!name) return E_POINTER;
        if (!IsSelf(child)) return inner_->get_accName(child, name);
        *name = SysAllocStringLen(name_.data(), static_cast<UINT>(name_.size()));
        return *name ? S_OK : E_OUTOFMEMORY;
    }
    STDMETHODIMP get_accParent(IDispatch** p) noexcept override { return inner_->get_accParent(p); }
    STDMETHODIMP get_accChildCount(long* n) noexcept override { return inner_->get_accChildCount(n); }
    STDMETHODIMP get_accChild(VARIANT c, IDispatch** p) noexcept override { return inner_->get_accChild(c, p); }
    STDMETHODIMP get_accValue(VARIANT c, BSTR* v) noexcept override { return inner_->get_accValue(c, v); }
    STDMETHODIMP get_accDescription(VARIANT c, BSTR* d) noexcept override { return inner_->get_accDescription(c, d); }
    STDMETHODIMP get_accRole(VARIANT c, VARIANT* r) noexcept override { return inner_->get_accRole(c, r); }
    STDMETHODIMP get_accState(VARIANT c, VARIANT* s) noexcept override { return inner_->get_accState(c, s); }
    STDMETHODIMP get_accHelp(VARIANT c, BSTR* h) noexcept override { return inner_->get_accHelp(c, h); }
    STDMETHODIMP get_accHelpTopic(BSTR* file, VARIANT c, long* topic) noexcept override {
        return inner_->get_accHelpTopic(file, c, topic);
    }
    STDMETHODIMP get_accKeyboardShortcut(VARIANT c, BSTR* k) noexcept override {
        return inner_->get_accKeyboardShortcut(c, k);
    }
    STDMETHODIMP get_accFocus(VARIANT* f) noexcept override { return inner_->get_accFocus(f); }
    STDMETHODIMP get_accSelection(VARIANT* s) noexcept override { return inner_->get_accSelection(s); }
    STDMETHODIMP get_accDefaultAction(VARIANT c, BSTR* a) noexcept override {
        return inner_->get_accDefaultAction(c, a);
    }
    STDMETHODIMP accSelect(long flags, VARIANT c) noexcept override { return inner_->accSelect(flags, c); }
    STDMETHODIMP accLocation(long* x, long* y, long* w, long* h, VARIANT c) noexcept override {
        return inner_->accLocation(x, y, w, h, c);
    }
    STDMETHODIMP accNavigate(long dir, VARIANT start, VARIANT* end) noexcept override {
        return inner_->accNavigate(dir, start, end);
    }
    STDMETHODIMP accHitTest(long x, long y, VARIANT* c) noexcept override { return inner_->accHitTest(x, y, c); }
    STDMETHODIMP accDoDefaultAction(VARIANT c) noexcept override { return inner_->accDoDefaultAction(c); }
    STDMETHODIMP put_accName(VARIANT c, BSTR n) noexcept override { return inner_->put_accName(c, n); }
    STDMETHODIMP put_accValue(VARIANT c, BSTR v) noexcept override { return inner_->put_accValue(c, v); }

    // IOleWindow: WindowFromAccessibleObject asks it for the window.
    STDMETHODIMP GetWindow(HWND* out) noexcept override {
        CheckThread("NamedAccessible::GetWindow");
        if (!out) return E_POINTER;
        *out = hWnd_;
        return S_OK;
    }
    STDMETHODIMP ContextSensitiveHelp(BOOL) noexcept override { return E_NOTIMPL; }

private:
    ~NamedAccessible() = default;

    static std::span<const module::InterfaceEntry<NamedAccessible>> InterfaceTable() noexcept {
        using module::Answer;
        static constexpr module::InterfaceEntry<NamedAccessible> kInterfaces[] = {
            Answer<NamedAccessible, IAccessible>(IID_IUnknown),
            Answer<NamedAccessible, IAccessible>(IID_IDispatch),
            Answer<NamedAccessible, IAccessible>(IID_IAccessible),
            Answer<NamedAccessible, IOleWindow>(IID_IOleWindow),
        };
        return kInterfaces;
    }

    ComPtr<IAccessible> inner_;
    HWND hWnd_;
    std::wstring name_;
};

} // namespace

LRESULT AccessibleObjectNamed(HWND hWnd, WPARAM wParam, const std::wstring& name) noexcept {
    try {
        ComPtr<IAccessible> standard;
        if (FAILED(CreateStdAccessibleObject(hWnd, OBJID_CLIENT, IID_PPV_ARGS(&standard))) || !standard) return 0;
        ComPtr<IAccessible> named(new NamedAccessible(std::move(standard), hWnd, name));
        LRESULT r = LresultFromObject(IID_IAccessible, wParam, named.Get());
        return r > 0 ? r : 0;
    } catch (...) {
        return 0;
    }
}

} // namespace rud::pane
