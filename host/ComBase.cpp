#include "ComBase.h"
#include "Core.h"

namespace kvhost {

// {6C1F0B6E-3D2A-4F7B-9E51-2B0C4D7A9E10}
const IID IID_IHostObject = {0x6c1f0b6e, 0x3d2a, 0x4f7b, {0x9e, 0x51, 0x2b, 0x0c, 0x4d, 0x7a, 0x9e, 0x10}};

Counted::Counted(std::shared_ptr<Core> core, std::wstring kind, std::wstring instance)
    : core_(std::move(core)), entry_(core_->Register(std::move(kind), std::move(instance))) {}

ULONG Counted::AddRefImpl() noexcept {
    ++entry_->addRefs;
    return static_cast<ULONG>(++entry_->refs);
}

ULONG Counted::ReleaseImpl() noexcept {
    ++entry_->releases;
    const long n = --entry_->refs;
    if (n == 0) {
        entry_->destroyed = true;
        delete this;
    }
    return static_cast<ULONG>(n < 0 ? 0 : n);
}

// ---- Call

UINT Call::Count() const noexcept {
    if (!dp_) return 0;
    return dp_->cArgs - (access_ == Access::Put ? 1 : 0);
}

UINT Call::Index(UINT i) const {
    // rgvarg holds the arguments last first; a put's value (named DISPID_PROPERTYPUT) is at 0.
    const UINT n = Count();
    if (i >= n) throw InvokeFailure{DISP_E_BADPARAMCOUNT};
    const UINT offset = access_ == Access::Put ? 1 : 0;
    return offset + (n - 1 - i);
}

VARIANT& Call::RawArg(UINT i) const { return dp_->rgvarg[Index(i)]; }

const VARIANT& Call::Arg(UINT i) const {
    const VARIANT* v = &RawArg(i);
    if (V_VT(v) == (VT_BYREF | VT_VARIANT)) v = V_VARIANTREF(v);
    return *v;
}

bool Call::Missing(UINT i) const {
    if (i >= Count()) return true;
    const VARIANT& v = Arg(i);
    return V_VT(&v) == VT_ERROR && V_ERROR(&v) == DISP_E_PARAMNOTFOUND;
}

const VARIANT& Call::PutValue() const {
    if (access_ != Access::Put || !dp_ || dp_->cArgs < 1) throw InvokeFailure{DISP_E_BADPARAMCOUNT};
    const VARIANT* v = &dp_->rgvarg[0];
    if (V_VT(v) == (VT_BYREF | VT_VARIANT)) v = V_VARIANTREF(v);
    return *v;
}

std::wstring Call::Str(UINT i) const {
    rud::Variant v;
    if (FAILED(ChangeType(&v, &Arg(i), VT_BSTR))) throw InvokeFailure{DISP_E_TYPEMISMATCH, Index(i)};
    return std::wstring(V_BSTR(&v) ? V_BSTR(&v) : L"", SysStringLen(V_BSTR(&v)));
}

LONG Call::Long(UINT i) const {
    rud::Variant v;
    if (FAILED(ChangeType(&v, &Arg(i), VT_I4))) throw InvokeFailure{DISP_E_TYPEMISMATCH, Index(i)};
    return V_I4(&v);
}

bool Call::Bool(UINT i) const {
    rud::Variant v;
    if (FAILED(ChangeType(&v, &Arg(i), VT_BOOL))) throw InvokeFailure{DISP_E_TYPEMISMATCH, Index(i)};
    return V_BOOL(&v) != VARIANT_FALSE;
}

void Call::Expect(UINT minArgs, UINT maxArgs) const {
    const UINT n = Count();
    if (n < minArgs || n > maxArgs) throw InvokeFailure{DISP_E_BADPARAMCOUNT};
}

void Call::Return(rud::Variant v) noexcept {
    if (!result_) return;
    VariantClear(result_);
    *result_ = v;
    VariantInit(&v);
}

std::vector<std::wstring> Call::ArgTexts() const {
    std::vector<std::wstring> out;
    if (!dp_) return out;
    for (UINT i = 0; i < Count(); ++i) out.push_back(FormatArg(dp_->rgvarg[Index(i)]));
    if (access_ == Access::Put && dp_->cArgs >= 1) out.push_back(FormatArg(dp_->rgvarg[0]));
    return out;
}

// ---- IDispatch

DispObject::DispObject(std::shared_ptr<Core> core, std::wstring kind, std::wstring instance,
                       const IID& diid, std::span<const MemberInfo> members)
    : Counted(std::move(core), kind, std::move(instance)), kind_(std::move(kind)), diid_(diid),
      members_(members) {}

HRESULT DispObject::QueryInterface(REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (riid == IID_IUnknown || riid == IID_IDispatch || riid == diid_)
        *ppv = static_cast<IDispatch*>(this);
    else if (riid == IID_IHostObject)
        *ppv = static_cast<IHostObject*>(this);
    else if (riid == IID_ISupportErrorInfo)
        *ppv = OffersErrorInfo() ? static_cast<ISupportErrorInfo*>(this) : nullptr;
    else if ((*ppv = QueryMore(riid)) != nullptr && core_->DetailedLog()) {
        // Asking for one of the host's own interfaces is a host call that can fail.
        try {
            if (DetailedCall(*core_, kind_, Instance(), L"QueryInterface", InterfaceName(riid))) *ppv = nullptr;
        } catch (...) {
            *ppv = nullptr;
        }
    }
    if (!*ppv) return E_NOINTERFACE;
    AddRefImpl();
    return S_OK;
}

bool DispObject::OffersErrorInfo() const noexcept { return core_->Behaviour().dispatchErrorInfo; }

HRESULT DispObject::InterfaceSupportsErrorInfo(REFIID riid) {
    if (!core_->Behaviour().dispatchErrorInfo) return S_FALSE;
    return riid == IID_IDispatch || riid == diid_ || QueryMore(riid) ? S_OK : S_FALSE;
}

HRESULT DispObject::GetTypeInfoCount(UINT* n) {
    if (!n) return E_POINTER;
    *n = 0;
    return S_OK;
}

HRESULT DispObject::GetTypeInfo(UINT, LCID, ITypeInfo** ti) {
    if (ti) *ti = nullptr;
    return DISP_E_BADINDEX;
}

HRESULT DispObject::GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) {
    if (!names || !ids || count == 0) return E_INVALIDARG;
    if (core_->DetailedLog()) {
        try {
            if (auto fault = DetailedCall(*core_, kind_, Instance(), L"GetIDsOfNames", names[0] ? names[0] : L"")) {
                for (UINT i = 0; i < count; ++i) ids[i] = DISPID_UNKNOWN;
                return ReturnFault(IID_IDispatch, *fault);
            }
        } catch (...) {
            return E_OUTOFMEMORY;
        }
    }
    HRESULT hr = S_OK;
    ids[0] = DISPID_UNKNOWN;
    for (const auto& m : members_)
        if (names[0] && SameName(names[0], m.name)) { ids[0] = m.id; break; }
    if (ids[0] == DISPID_UNKNOWN) hr = DISP_E_UNKNOWNNAME;
    for (UINT i = 1; i < count; ++i) {
        ids[i] = DISPID_UNKNOWN;
        hr = DISP_E_UNKNOWNNAME;
    }
    return hr;
}

HRESULT DispObject::Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params,
                           VARIANT* result, EXCEPINFO* excep, UINT* argErr) {
    try {
        const MemberInfo* member = nullptr;
        for (const auto& m : members_)
            if (m.id == id) { member = &m; break; }
        if (!member) return DISP_E_MEMBERNOTFOUND;
        Access access;
        if (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) {
            if (!(member->access & kPut)) return DISP_E_MEMBERNOTFOUND;
            if (!params || params->cArgs < 1 || params->cNamedArgs != 1 ||
                params->rgdispidNamedArgs[0] != DISPID_PROPERTYPUT)
                return DISP_E_PARAMNOTOPTIONAL;
            access = Access::Put;
        } else if (flags & (DISPATCH_METHOD | DISPATCH_PROPERTYGET)) {
            if (member->access & kGet) access = Access::Get;
            else if (member->access & kCall) access = Access::Call;
            else return DISP_E_MEMBERNOTFOUND;
            if (params && params->cNamedArgs != 0) return DISP_E_NONAMEDARGS;
        } else {
            return E_INVALIDARG;
        }
        DISPPARAMS none{nullptr, nullptr, 0, 0};
        Call call(access, params ? params : &none, result);
        if (result) VariantInit(result);

        CallEntry entry{kind_, Instance(), member->name, access, call.ArgTexts(), S_OK};
        // The fault check and logging use a core reference of our own: the member may release
        // the last outside reference to this object while it runs.
        std::shared_ptr<Core> core = core_;
        std::optional<Fault> fault = core->LogCall(std::move(entry));
        // No stale error info from an earlier call may pass for this call's.
        SetErrorInfo(0, nullptr);
        if (fault) {
            if (fault->kind == FaultKind::ErrorInfo) return ReturnErrorInfo(IID_IDispatch, fault->hr, fault->description);
            FillExcepInfo(excep, fault->hr, fault->description);
            return DISP_E_EXCEPTION;
        }
        try {
            Do(id, call);
            return S_OK;
        } catch (const InvokeFailure& f) {
            core->NoteResult(f.hr);
            if (argErr) *argErr = f.argErr;
            if (result) VariantClear(result);
            return f.hr;
        } catch (const HostError& e) {
            core->NoteResult(e.hr());
            if (result) VariantClear(result);
            FillExcepInfo(excep, e.hr(), e.description());
            return DISP_E_EXCEPTION;
        }
    } catch (const InvokeFailure& f) {
        return f.hr;
    } catch (...) {
        return E_OUTOFMEMORY;
    }
}

void FillExcepInfo(EXCEPINFO* e, HRESULT hr, const std::wstring& description) noexcept {
    if (!e) return;
    *e = EXCEPINFO{};
    e->scode = hr;
    e->bstrSource = SysAllocString(L"Korvane");
    e->bstrDescription = SysAllocStringLen(description.data(), static_cast<UINT>(description.size()));
}

HRESULT ReturnErrorInfo(const IID& iid, HRESULT hr, const std::wstring& description) noexcept {
    ComPtr<ICreateErrorInfo> create;
    if (SUCCEEDED(CreateErrorInfo(&create))) {
        create->SetGUID(iid);
        create->SetSource(const_cast<LPOLESTR>(L"Korvane"));
        create->SetDescription(const_cast<LPOLESTR>(description.c_str()));
        ComPtr<IErrorInfo> info;
        if (SUCCEEDED(create.As(&info))) SetErrorInfo(0, info.Get());
    }
    return hr;
}

HRESULT ReturnFault(const IID& iid, const Fault& fault, FaultKind usual) noexcept {
    if (fault.kind.value_or(usual) == FaultKind::ErrorInfo) return ReturnErrorInfo(iid, fault.hr, fault.description);
    SetErrorInfo(0, nullptr);
    return fault.hr;
}

std::optional<Fault> DetailedCall(Core& core, const std::wstring& object, const std::wstring& instance,
                                  const wchar_t* member, std::wstring arg) {
    if (!core.DetailedLog()) return std::nullopt;
    return core.LogCall({object, instance, member, Access::Call, {std::move(arg)}});
}

std::wstring InterfaceName(REFIID iid) {
    if (iid == IID_IKorvaneVaneBar) return L"IKorvaneVaneBar";
    if (iid == IID_IConnectionPointContainer) return L"IConnectionPointContainer";
    if (iid == IID_IEnumVARIANT) return L"IEnumVARIANT";
    wchar_t buf[40] = {};
    StringFromGUID2(iid, buf, 40);
    return buf;
}

std::wstring ObjectArg(IUnknown* p) {
    rud::Variant v;
    V_VT(&v) = VT_UNKNOWN;
    V_UNKNOWN(&v) = p;
    if (p) p->AddRef();
    return FormatArg(v);
}

std::wstring FormatArg(const VARIANT& in) {
    const bool byRef = (V_VT(&in) & VT_BYREF) != 0;
    const VARIANT* v = &in;
    rud::Variant deref;
    if (byRef) {
        if (FAILED(VariantCopyInd(&deref, const_cast<VARIANT*>(&in)))) return L"&?";
        v = &deref;
    }
    std::wstring t;
    switch (V_VT(v)) {
    case VT_EMPTY: t = L"Empty"; break;
    case VT_NULL: t = L"Null"; break;
    case VT_ERROR:
        t = V_ERROR(v) == DISP_E_PARAMNOTFOUND ? L"missing" : L"Error " + std::to_wstring(V_ERROR(v));
        break;
    case VT_BOOL: t = V_BOOL(v) ? L"True" : L"False"; break;
    case VT_BSTR:
        t = L"\"" + std::wstring(V_BSTR(v) ? V_BSTR(v) : L"", SysStringLen(V_BSTR(v))) + L"\"";
        break;
    case VT_DISPATCH:
    case VT_UNKNOWN: {
        IUnknown* p = V_VT(v) == VT_DISPATCH ? V_DISPATCH(v) : V_UNKNOWN(v);
        if (!p) { t = L"Nothing"; break; }
        ComPtr<IHostObject> host;
        if (SUCCEEDED(p->QueryInterface(IID_IHostObject, reinterpret_cast<void**>(host.GetAddressOf())))) {
            const LedgerEntry* e = host->Entry();
            t = e->object;
            if (e->object == L"Document") t += L"[" + e->instance + L"]";
        } else {
            t = L"Object";
        }
        break;
    }
    default: {
        rud::Variant s;
        if (SUCCEEDED(ChangeType(&s, v, VT_BSTR)))
            t = std::wstring(V_BSTR(&s), SysStringLen(V_BSTR(&s)));
        else
            t = L"?";
    }
    }
    return byRef ? L"&" + t : t;
}

} // namespace kvhost
