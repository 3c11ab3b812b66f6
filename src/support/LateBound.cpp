#include "LateBound.h"
#include <wrl/client.h>
#include <algorithm>

using Microsoft::WRL::ComPtr;

namespace rud::late {

VARIANT ByRef(BSTR* b) noexcept { VARIANT v; VariantInit(&v); V_VT(&v) = VT_BYREF | VT_BSTR; V_BSTRREF(&v) = b; return v; }
VARIANT ByRef(LONG* n) noexcept { VARIANT v; VariantInit(&v); V_VT(&v) = VT_BYREF | VT_I4; V_I4REF(&v) = n; return v; }
VARIANT ByRef(VARIANT* x) noexcept { VARIANT v; VariantInit(&v); V_VT(&v) = VT_BYREF | VT_VARIANT; V_VARIANTREF(&v) = x; return v; }

namespace {

[[noreturn]] void ThrowException(EXCEPINFO& ei, HRESULT hr) {
    if (ei.pfnDeferredFillIn) ei.pfnDeferredFillIn(&ei);
    Bstr desc = Bstr::attach(ei.bstrDescription);
    Bstr source = Bstr::attach(ei.bstrSource);
    SysFreeString(ei.bstrHelpFile);
    HRESULT code = ei.scode ? ei.scode : hr;
    long number = ei.scode ? ErrorNumberFromHResult(ei.scode) : ei.wCode;
    if (desc.view().empty()) throw AddInError(number, SystemMessage(code), source.str());
    throw AddInError(number, desc.str(), source.str());
}

void CheckObject(IDispatch* object) {
    if (!object) throw ObjectNotSetError();
}

} // namespace

DISPID IdOfName(IDispatch* object, std::wstring_view name) {
    CheckObject(object);
    std::wstring n(name);
    LPOLESTR names[] = {n.data()};
    DISPID id = DISPID_UNKNOWN;
    HRESULT hr = object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
    if (FAILED(hr)) ThrowFailedCall(hr);
    return id;
}

Variant Invoke(IDispatch* object, DISPID id, WORD flags, const Args& args) {
    CheckObject(object);
    std::vector<VARIANT> reversed(args.rbegin(), args.rend());
    DISPID named = DISPID_PROPERTYPUT;
    DISPPARAMS params{reversed.data(), nullptr, static_cast<UINT>(reversed.size()), 0};
    if (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) {
        params.rgdispidNamedArgs = &named;
        params.cNamedArgs = 1;
    }
    Variant result;
    EXCEPINFO ei{};
    UINT argErr = 0;
    bool wantsResult = !(flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF));
    HRESULT hr = object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &params,
                                wantsResult ? &result : nullptr, &ei, &argErr);
    if (hr == DISP_E_EXCEPTION) ThrowException(ei, hr);
    // Without EXCEPINFO the object may still have described the failure through IErrorInfo.
    if (FAILED(hr)) ThrowFailedCall(hr, object, &IID_IDispatch);
    return result;
}

void Put(IDispatch* object, DISPID id, const VARIANT& value) {
    Invoke(object, id, DISPATCH_PROPERTYPUT, Args{value});
}

Variant Get(IDispatch* object, std::wstring_view name, const Args& args) {
    return Get(object, IdOfName(object, name), args);
}
void Put(IDispatch* object, std::wstring_view name, const VARIANT& value) {
    Put(object, IdOfName(object, name), value);
}

namespace {
Variant ChangeType(const VARIANT& v, VARTYPE type, USHORT flags = 0) {
    Variant out;
    HRESULT hr = VariantChangeTypeEx(&out, const_cast<VARIANT*>(&v), LOCALE_USER_DEFAULT, flags, type);
    if (FAILED(hr)) ThrowFailedCall(hr == DISP_E_TYPEMISMATCH ? hr : DISP_E_TYPEMISMATCH);
    return out;
}
} // namespace

std::wstring ToString(const VARIANT& v) {
    Variant s = ChangeType(v, VT_BSTR, VARIANT_ALPHABOOL);
    return std::wstring(V_BSTR(&s), SysStringLen(V_BSTR(&s)));
}

bool ToBool(const VARIANT& v) {
    Variant b = ChangeType(v, VT_BOOL);
    return V_BOOL(&b) != VARIANT_FALSE;
}

LONG ToLong(const VARIANT& v) {
    Variant n = ChangeType(v, VT_I4);
    return V_I4(&n);
}

namespace {
// The value a result holds, through references to variants.
const VARIANT& Dereferenced(const VARIANT& v) {
    const VARIANT* p = &v;
    while (V_VT(p) == (VT_BYREF | VT_VARIANT)) {
        p = V_VARIANTREF(p);
        if (!p) ThrowFailedCall(DISP_E_TYPEMISMATCH);
    }
    return *p;
}

// The object reference a value holds, directly or by reference; false when it holds none.
bool HeldObject(const VARIANT& v, IUnknown*& object) {
    switch (V_VT(&v)) {
    case VT_DISPATCH: object = V_DISPATCH(&v); return true;
    case VT_UNKNOWN: object = V_UNKNOWN(&v); return true;
    case VT_DISPATCH | VT_BYREF: object = V_DISPATCHREF(&v) ? *V_DISPATCHREF(&v) : nullptr; return true;
    case VT_UNKNOWN | VT_BYREF: object = V_UNKNOWNREF(&v) ? *V_UNKNOWNREF(&v) : nullptr; return true;
    default: return false;
    }
}
} // namespace

ComPtr<IDispatch> ToObject(const VARIANT& v) {
    const VARIANT& value = Dereferenced(v);
    ComPtr<IDispatch> out;
    IUnknown* object = nullptr;
    if (HeldObject(value, object)) {
        if (!object) return out;
        if (V_VT(&value) == VT_DISPATCH || V_VT(&value) == (VT_DISPATCH | VT_BYREF)) {
            out = static_cast<IDispatch*>(object);
            return out;
        }
        if (FAILED(object->QueryInterface(IID_PPV_ARGS(&out)))) ThrowFailedCall(DISP_E_TYPEMISMATCH);
        return out;
    }
    if (V_VT(&value) == VT_EMPTY) return out;
    ThrowFailedCall(DISP_E_TYPEMISMATCH);
}

ComPtr<IUnknown> ToUnknown(const VARIANT& v) {
    const VARIANT& value = Dereferenced(v);
    IUnknown* object = nullptr;
    if (V_VT(&value) == VT_EMPTY) return nullptr;  // Empty is Nothing, as in ToObject
    if (!HeldObject(value, object)) ThrowFailedCall(DISP_E_TYPEMISMATCH);
    return ComPtr<IUnknown>(object);
}

} // namespace rud::late
