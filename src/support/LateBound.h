#pragma once
// Late-bound calls on host objects, by dispatch id or by member name. A failed call throws an
// AddInError with the host's own number and description (EXCEPINFO, else IErrorInfo, else the
// system's text); a call on a null object throws error 91.
#include "AddInError.h"
#include "Raii.h"
#include <oaidl.h>
#include <wrl/client.h>
#include <string_view>
#include <vector>

namespace rud::late {

// Arguments in the order the member declares them. Each VARIANT is borrowed, not owned: pass
// values with Variant temporaries or by-reference arguments made with ByRef.
using Args = std::vector<VARIANT>;

VARIANT ByRef(BSTR* b) noexcept;
VARIANT ByRef(LONG* n) noexcept;
VARIANT ByRef(VARIANT* v) noexcept;

DISPID IdOfName(IDispatch* object, std::wstring_view name);

Variant Invoke(IDispatch* object, DISPID id, WORD flags, const Args& args = {});

// A property read or a method call: one invocation serves both, as the automation run time makes
// it for a member used in an expression.
inline Variant Get(IDispatch* object, DISPID id, const Args& args = {}) {
    return Invoke(object, id, DISPATCH_PROPERTYGET | DISPATCH_METHOD, args);
}
void Put(IDispatch* object, DISPID id, const VARIANT& value);

Variant Get(IDispatch* object, std::wstring_view name, const Args& args = {});
void Put(IDispatch* object, std::wstring_view name, const VARIANT& value);

// Conversions of a result as the automation run time makes them (error 13 on failure).
std::wstring ToString(const VARIANT& v);
bool ToBool(const VARIANT& v);
LONG ToLong(const VARIANT& v);
// The object a result holds (null for Nothing); error 13 for anything else.
Microsoft::WRL::ComPtr<IDispatch> ToObject(const VARIANT& v);
// The object a result holds as it is, dispatchable or not (null for Nothing and Empty); error 13
// for a value that holds no object reference at all.
Microsoft::WRL::ComPtr<IUnknown> ToUnknown(const VARIANT& v);

} // namespace rud::late
