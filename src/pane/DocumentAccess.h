#pragma once
// DocumentAccess: what the pane reads from a document and writes to it, one member per request to
// the host, so that the routine making the request labels it and a failure stops at its step. The
// pane knows no interface of the host: the hub provides the calls. A failed call throws an
// AddInError with the host's number and description.
#include "Raii.h"
#include <oaidl.h>
#include <wrl/client.h>
#include <string>

namespace rud::pane {

class DocumentAccess {
public:
    virtual ~DocumentAccess() = default;

    // The document's full name.
    virtual std::wstring FullName(IDispatch* document) = 0;
    // The document's collection of property sets.
    virtual Microsoft::WRL::ComPtr<IDispatch> PropertySets(IDispatch* document) = 0;
    // The enumerator of a collection's items: the sets of that collection, the properties of a set.
    virtual Microsoft::WRL::ComPtr<IEnumVARIANT> Items(IDispatch* collection) = 0;
    virtual std::wstring SetName(IDispatch* set) = 0;
    virtual std::wstring PropertyName(IDispatch* property) = 0;
    // The value as the host gives it (by reference included).
    virtual Variant PropertyValue(IDispatch* property) = 0;

    // A set of the document and a property of a set, by name, as the host finds them.
    virtual Microsoft::WRL::ComPtr<IDispatch> PropertySet(IDispatch* document, const std::wstring& setName) = 0;
    virtual Microsoft::WRL::ComPtr<IDispatch> Property(IDispatch* set, const std::wstring& propertyName) = 0;
    virtual void WriteValue(IDispatch* property, const VARIANT& value) = 0;
    virtual void Save(IDispatch* set) = 0;

protected:
    DocumentAccess() = default;
    DocumentAccess(const DocumentAccess&) = default;
    DocumentAccess& operator=(const DocumentAccess&) = default;
};

} // namespace rud::pane
