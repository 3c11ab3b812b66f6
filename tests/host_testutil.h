#pragma once
// Small helpers for the host's tests: late-bound calls with their full outcome, paths of the
// build, files.
#include "Host.h"
#include "HostError.h"
#include "Raii.h"
#include <gtest/gtest.h>
#include <oaidl.h>
#include <wrl/client.h>
#include <string>
#include <vector>

namespace hosttest {

inline std::wstring WinPath(const char* p) {
    std::wstring w = kvhost::Utf8ToWide(p);
    for (auto& c : w)
        if (c == L'/') c = L'\\';
    return w;
}
inline std::wstring Samples() { return WinPath(KVHOST_TEST_SAMPLES); }
inline std::wstring TempDir() { return WinPath(KVHOST_TEST_TMP); }

struct Outcome {
    HRESULT hr = S_OK;
    rud::Variant result;
    HRESULT scode = S_OK;       // EXCEPINFO.scode
    std::wstring description;  // EXCEPINFO.bstrDescription
    UINT argErr = 0;
};

// Arguments in declared order.
inline Outcome Invoke(IDispatch* d, DISPID id, WORD flags, std::vector<rud::Variant> args = {}) {
    Outcome o;
    std::vector<VARIANT> rev(args.rbegin(), args.rend());
    DISPID put = DISPID_PROPERTYPUT;
    DISPPARAMS dp{rev.empty() ? nullptr : rev.data(), nullptr, static_cast<UINT>(rev.size()), 0};
    if (flags & DISPATCH_PROPERTYPUT) {
        dp.rgdispidNamedArgs = &put;
        dp.cNamedArgs = 1;
    }
    EXCEPINFO ex{};
    o.hr = d->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &dp, &o.result, &ex, &o.argErr);
    o.scode = ex.scode;
    if (ex.bstrDescription) o.description.assign(ex.bstrDescription, SysStringLen(ex.bstrDescription));
    SysFreeString(ex.bstrSource);
    SysFreeString(ex.bstrDescription);
    SysFreeString(ex.bstrHelpFile);
    return o;
}

inline Outcome Get(IDispatch* d, DISPID id, std::vector<rud::Variant> args = {}) {
    return Invoke(d, id, DISPATCH_PROPERTYGET | DISPATCH_METHOD, std::move(args));
}
inline Outcome Put(IDispatch* d, DISPID id, rud::Variant v) {
    return Invoke(d, id, DISPATCH_PROPERTYPUT, {std::move(v)});
}

inline DISPID IdOf(IDispatch* d, const wchar_t* name) {
    LPOLESTR n = const_cast<LPOLESTR>(name);
    DISPID id = DISPID_UNKNOWN;
    d->GetIDsOfNames(IID_NULL, &n, 1, LOCALE_USER_DEFAULT, &id);
    return id;
}

inline std::wstring Str(const VARIANT& v) {
    rud::Variant s;
    if (FAILED(VariantChangeTypeEx(&s, const_cast<VARIANT*>(&v), LOCALE_USER_DEFAULT, VARIANT_ALPHABOOL, VT_BSTR)))
        return L"<not text>";
    return std::wstring(V_BSTR(&s), SysStringLen(V_BSTR(&s)));
}

inline Microsoft::WRL::ComPtr<IDispatch> Obj(const VARIANT& v) {
    Microsoft::WRL::ComPtr<IDispatch> p;
    if (V_VT(&v) == VT_DISPATCH) p = V_DISPATCH(&v);
    return p;
}

inline void CopyInto(const std::wstring& from, const std::wstring& to) {
    ASSERT_TRUE(CopyFileW(from.c_str(), to.c_str(), FALSE)) << kvhost::WideToUtf8(from);
}

} // namespace hosttest
