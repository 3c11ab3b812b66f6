#include "DocumentDump.h"
#include "HostError.h"
#include "KorvaneFramework.h"
#include "Raii.h"
#include <nlohmann/json.hpp>
#include <wrl/client.h>
#include <vector>

namespace kvhost {

namespace {

using Microsoft::WRL::ComPtr;

// A get (or method call) by DISPID; HostError when it fails.
rud::Variant Get(IDispatch* d, DISPID id, std::vector<rud::Variant> args = {}) {
    std::vector<VARIANT> reversed(args.rbegin(), args.rend());
    DISPPARAMS dp{reversed.empty() ? nullptr : reversed.data(), nullptr, static_cast<UINT>(reversed.size()), 0};
    rud::Variant result;
    EXCEPINFO ex{};
    const HRESULT hr = d->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYGET | DISPATCH_METHOD, &dp,
                                 &result, &ex, nullptr);
    const rud::Bstr source = rud::Bstr::attach(ex.bstrSource), help = rud::Bstr::attach(ex.bstrHelpFile);
    const rud::Bstr description = rud::Bstr::attach(ex.bstrDescription);
    if (FAILED(hr)) throw HostError(hr, L"the object model failed: " + description.str());
    return result;
}

ComPtr<IDispatch> Object(const rud::Variant& v) {
    ComPtr<IDispatch> p;
    if (V_VT(&v) == VT_DISPATCH) p = V_DISPATCH(&v);
    if (!p) throw HostError(E_UNEXPECTED, L"the object model gave no object");
    return p;
}

LONG Count(IDispatch* d, DISPID id) {
    rud::Variant n = Get(d, id), asLong;
    if (FAILED(ChangeType(&asLong, &n, VT_I4))) throw HostError(E_UNEXPECTED, L"a count that is no number");
    return V_I4(&asLong);
}

std::wstring Text(const VARIANT& v) {
    rud::Variant value;
    if (FAILED(VariantCopyInd(&value, const_cast<VARIANT*>(&v)))) return {};
    const VARTYPE t = V_VT(&value);
    if (t == VT_EMPTY || t == VT_NULL || t == VT_ERROR || (t & VT_ARRAY)) return {};
    rud::Variant text;
    if (FAILED(VariantChangeTypeEx(&text, &value, LOCALE_USER_DEFAULT, VARIANT_ALPHABOOL, VT_BSTR))) return {};
    std::wstring s(V_BSTR(&text) ? V_BSTR(&text) : L"", SysStringLen(V_BSTR(&text)));
    const size_t first = s.find_first_not_of(L' ');
    if (first == std::wstring::npos) return {};
    return s.substr(first, s.find_last_not_of(L' ') - first + 1);
}

std::string Utf8(const std::wstring& s) { return WideToUtf8(s); }

} // namespace

std::wstring VarTypeName(VARTYPE vt) {
    static const std::pair<VARTYPE, const wchar_t*> kNames[] = {
        {VT_EMPTY, L"VT_EMPTY"}, {VT_NULL, L"VT_NULL"}, {VT_I2, L"VT_I2"}, {VT_I4, L"VT_I4"}, {VT_R4, L"VT_R4"},
        {VT_R8, L"VT_R8"}, {VT_CY, L"VT_CY"}, {VT_DATE, L"VT_DATE"}, {VT_BSTR, L"VT_BSTR"},
        {VT_DISPATCH, L"VT_DISPATCH"}, {VT_ERROR, L"VT_ERROR"}, {VT_BOOL, L"VT_BOOL"}, {VT_VARIANT, L"VT_VARIANT"},
        {VT_UNKNOWN, L"VT_UNKNOWN"}, {VT_DECIMAL, L"VT_DECIMAL"}, {VT_I1, L"VT_I1"}, {VT_UI1, L"VT_UI1"},
        {VT_UI2, L"VT_UI2"}, {VT_UI4, L"VT_UI4"}, {VT_I8, L"VT_I8"}, {VT_UI8, L"VT_UI8"}, {VT_INT, L"VT_INT"},
        {VT_UINT, L"VT_UINT"}};
    std::wstring out;
    if (vt & VT_ARRAY) out += L"VT_ARRAY|";
    if (vt & VT_BYREF) out += L"VT_BYREF|";
    const VARTYPE base = vt & VT_TYPEMASK;
    for (const auto& [type, name] : kNames)
        if (type == base) return out + name;
    return out + std::to_wstring(base);
}

std::string DumpDocumentJson(IDispatch* document, const std::wstring& file) {
    nlohmann::ordered_json out;
    out["file"] = Utf8(file);
    out["sets"] = nlohmann::ordered_json::array();
    ComPtr<IDispatch> sets = Object(Get(document, korvane::DISPID_DOC_PROPERTIES));
    const LONG setCount = Count(sets.Get(), korvane::DISPID_PROPSETS_COUNT);
    for (LONG i = 1; i <= setCount; ++i) {
        ComPtr<IDispatch> set = Object(Get(sets.Get(), DISPID_VALUE, {rud::Variant::fromLong(i)}));
        nlohmann::ordered_json s;
        s["name"] = Utf8(Text(Get(set.Get(), korvane::DISPID_PROPSET_NAME)));
        s["properties"] = nlohmann::ordered_json::array();
        const LONG count = Count(set.Get(), korvane::DISPID_PROPSET_COUNT);
        for (LONG k = 1; k <= count; ++k) {
            ComPtr<IDispatch> prop = Object(Get(set.Get(), DISPID_VALUE, {rud::Variant::fromLong(k)}));
            const rud::Variant name = Get(prop.Get(), korvane::DISPID_PROP_NAME);
            const rud::Variant value = Get(prop.Get(), korvane::DISPID_PROP_VALUE);
            nlohmann::ordered_json p;
            p["name"] = V_VT(&name) == VT_BSTR ? Utf8(std::wstring(V_BSTR(&name), SysStringLen(V_BSTR(&name)))) : "";
            p["type"] = Utf8(VarTypeName(V_VT(&value)));
            p["value"] = Utf8(Text(value));
            s["properties"].push_back(std::move(p));
        }
        out["sets"].push_back(std::move(s));
    }
    return out.dump(1) + "\n";
}

} // namespace kvhost
