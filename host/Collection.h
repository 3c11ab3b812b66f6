#pragma once
// What the host's collections (documents' property sets, a set's properties) share: finding the
// item Item asks for, and handing out new objects and enumerators of them.
#include "ComBase.h"
#include <functional>
#include <string>

namespace kvhost {

// Index of the item a collection's Item was asked for: a name (case-insensitive, first match)
// or a 1-based number.
template <class Items, class NameOf>
size_t ItemIndex(const Call& call, const Items& items, NameOf nameOf, const std::wstring& what) {
    call.Expect(1, 1);
    const VARIANT& a = call.Arg(0);
    const VARTYPE t = V_VT(&a) & ~VT_BYREF;
    if (t == VT_I2 || t == VT_I4 || t == VT_UI1 || t == VT_R8 || t == VT_R4) {
        const LONG n = call.Long(0);
        if (n < 1 || static_cast<size_t>(n) > items.size())
            throw HostError(DISP_E_BADINDEX, what + L" " + std::to_wstring(n) + L" does not exist");
        return static_cast<size_t>(n - 1);
    }
    const std::wstring name = call.Str(0);
    for (size_t i = 0; i < items.size(); ++i)
        if (SameName(nameOf(items[i]), name)) return i;
    throw HostError(E_INVALIDARG, what + L" \"" + name + L"\" does not exist");
}

// Returns an object just made; it starts at zero references and the result variant takes the first.
void ReturnNew(Call& call, DispObject* object);

// Returns a new enumerator (_NewEnum) of `count` objects, the i-th made by make(i) when it is
// fetched and handed out with a reference of its own.
void ReturnEnumerator(Call& call, const std::shared_ptr<Core>& core, const std::wstring& instance, size_t count,
                      std::function<DispObject*(size_t)> make);

} // namespace kvhost
