// Stand-in for MyAddin, linked into RuDerizIRA.dll only when the server is built with
// RUD_COM_STUB_ADDIN=ON (packaging work while the real class is out of the build): the COM
// surface of the class without its behaviour.
#include "Identity.h"
#include "Module.h"
#include "MyAddin.h"
#include "KorvaneFramework.h"
#include <wrl/client.h>
#include <new>

using Microsoft::WRL::ComPtr;

namespace {

class StubAddin final : public _MyAddin, public IKorvaneAddIn {
public:
    StubAddin() noexcept { rud::module::AddObject(); }
    StubAddin(const StubAddin&) = delete;
    StubAddin& operator=(const StubAddin&) = delete;

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) noexcept override {
        if (!ppv) return E_POINTER;
        if (riid == IID_IUnknown || riid == IID_IDispatch || riid == IID__MyAddin) *ppv = static_cast<_MyAddin*>(this);
        else if (riid == IID_IKorvaneAddIn) *ppv = static_cast<IKorvaneAddIn*>(this);
        else { *ppv = nullptr; return E_NOINTERFACE; }
        AddRef();
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() noexcept override { return static_cast<ULONG>(InterlockedIncrement(&refs_)); }
    STDMETHODIMP_(ULONG) Release() noexcept override {
        LONG n = InterlockedDecrement(&refs_);
        if (n == 0) delete this;
        return static_cast<ULONG>(n);
    }

    STDMETHODIMP GetTypeInfoCount(UINT* count) noexcept override {
        if (!count) return E_POINTER;
        *count = 1;
        return S_OK;
    }
    STDMETHODIMP GetTypeInfo(UINT index, LCID, ITypeInfo** info) noexcept override {
        if (!info) return E_POINTER;
        *info = nullptr;
        if (index != 0) return DISP_E_BADINDEX;
        return rud::module::GetTypeInfoOf(IID__MyAddin, info);
    }
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) noexcept override {
        ComPtr<ITypeInfo> info;
        HRESULT hr = rud::module::GetTypeInfoOf(IID__MyAddin, &info);
        return FAILED(hr) ? hr : info->GetIDsOfNames(names, count, ids);
    }
    STDMETHODIMP Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) noexcept override {
        return DISP_E_MEMBERNOTFOUND;
    }

    STDMETHODIMP OnConnection(IDispatch*, LONG, IDispatch*) noexcept override { return E_NOTIMPL; }
    STDMETHODIMP OnConnectToEnvironment(BSTR, IDispatch*, VARIANT_BOOL) noexcept override { return S_OK; }
    STDMETHODIMP OnDisconnection(LONG) noexcept override { return E_NOTIMPL; }

private:
    ~StubAddin() { rud::module::ReleaseObject(); }
    LONG refs_ = 1;
};

} // namespace

HRESULT CreateMyAddin(REFIID riid, void** ppv) noexcept {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    ComPtr<StubAddin> addin;
    *addin.GetAddressOf() = new (std::nothrow) StubAddin();  // adopts the first reference
    if (!addin) return E_OUTOFMEMORY;
    return addin->QueryInterface(riid, ppv);
}
