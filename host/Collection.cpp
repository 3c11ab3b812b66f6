#include "Collection.h"
#include "Enumerator.h"

namespace kvhost {

void ReturnNew(Call& call, DispObject* object) { call.ReturnObject(object->Disp()); }

void ReturnEnumerator(Call& call, const std::shared_ptr<Core>& core, const std::wstring& instance, size_t count,
                      std::function<DispObject*(size_t)> make) {
    auto* e = new EnumVariantObject(core, L"EnumVARIANT", instance, count, [make](size_t i, VARIANT& out) {
        DispObject* object = make(i);
        V_VT(&out) = VT_DISPATCH;
        V_DISPATCH(&out) = object->Disp();
        object->Disp()->AddRef();
    });
    rud::Variant v;
    V_VT(&v) = VT_UNKNOWN;
    V_UNKNOWN(&v) = static_cast<IEnumVARIANT*>(e);
    e->AddRef();
    call.Return(std::move(v));
}

} // namespace kvhost
