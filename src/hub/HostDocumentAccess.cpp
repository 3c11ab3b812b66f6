#include "HostDocumentAccess.h"
#include "KorvaneFramework.h"
#include "LateBound.h"

using Microsoft::WRL::ComPtr;

namespace rud::hub {

std::wstring HostDocumentAccess::FullName(IDispatch* document) {
    return late::ToString(late::Get(document, L"FullName"));
}

ComPtr<IDispatch> HostDocumentAccess::PropertySets(IDispatch* document) {
    return late::ToObject(late::Get(document, L"Properties"));
}

// The host's standard enumerator of a collection object (_NewEnum).
ComPtr<IEnumVARIANT> HostDocumentAccess::Items(IDispatch* collection) {
    Variant e = late::Get(collection, DISPID_NEWENUM);
    IUnknown* unknown = nullptr;
    if (V_VT(&e) == VT_UNKNOWN || V_VT(&e) == VT_DISPATCH) unknown = V_UNKNOWN(&e);
    if (!unknown) ThrowFailedCall(DISP_E_TYPEMISMATCH);
    ComPtr<IEnumVARIANT> out;
    HRESULT hr = unknown->QueryInterface(IID_PPV_ARGS(&out));
    if (FAILED(hr)) ThrowFailedCall(hr);
    return out;
}

std::wstring HostDocumentAccess::SetName(IDispatch* set) {
    return late::ToString(late::Get(set, korvane::DISPID_PROPSET_NAME));
}

std::wstring HostDocumentAccess::PropertyName(IDispatch* property) {
    return late::ToString(late::Get(property, korvane::DISPID_PROP_NAME));
}

Variant HostDocumentAccess::PropertyValue(IDispatch* property) {
    return late::Get(property, korvane::DISPID_PROP_VALUE);
}

// Properties(name): the host's first set of that name.
ComPtr<IDispatch> HostDocumentAccess::PropertySet(IDispatch* document, const std::wstring& setName) {
    return late::ToObject(late::Get(document, L"Properties", {Variant::fromString(setName)}));
}

// The set's default member: its first property of that name.
ComPtr<IDispatch> HostDocumentAccess::Property(IDispatch* set, const std::wstring& propertyName) {
    return late::ToObject(late::Get(set, DISPID_VALUE, {Variant::fromString(propertyName)}));
}

void HostDocumentAccess::WriteValue(IDispatch* property, const VARIANT& value) {
    late::Put(property, L"Value", value);
}

void HostDocumentAccess::Save(IDispatch* set) { late::Get(set, L"Save"); }

} // namespace rud::hub
