#pragma once
// A small in-test document object model: a document with FullName and Properties, property
// sets (name id 6, default member by name, Save, enumerable) and properties (name id 1, value
// id 2, Value put by name). Every call is written to a shared log; failures can be switched on.
#include <windows.h>
#include <oaidl.h>
#include <wrl/client.h>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace fakedoc {

using Microsoft::WRL::ComPtr;

struct Log {
    std::vector<std::wstring> calls;
};

// Takes the one reference a new object starts with. (mingw-w64's ComPtr::Attach adds a
// reference of its own, so it cannot be used for that.)
template <class T, class... A>
ComPtr<T> New(A&&... args) {
    ComPtr<T> p;
    *p.GetAddressOf() = new T(std::forward<A>(args)...);
    return p;
}

// Reference counting, IUnknown and IDispatch by a name table; Invoke is the object's own.
class Object : public IDispatch {
public:
    explicit Object(std::shared_ptr<Log> log) : log_(std::move(log)) {}
    virtual ~Object() = default;

    STDMETHODIMP QueryInterface(REFIID riid, void** out) override {
        if (!out) return E_POINTER;
        if (riid == IID_IUnknown || riid == IID_IDispatch) {
            *out = static_cast<IDispatch*>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++refs_; }
    STDMETHODIMP_(ULONG) Release() override {
        ULONG n = --refs_;
        if (n == 0) delete this;
        return n;
    }
    STDMETHODIMP GetTypeInfoCount(UINT* n) override { *n = 0; return S_OK; }
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) override {
        HRESULT hr = S_OK;
        for (UINT i = 0; i < count; ++i) {
            ids[i] = IdOf(names[i]);
            if (ids[i] == DISPID_UNKNOWN) hr = DISP_E_UNKNOWNNAME;
        }
        return hr;
    }

    ULONG refs() const { return refs_; }

protected:
    virtual DISPID IdOf(const std::wstring& name) const = 0;
    void Note(const std::wstring& call) { log_->calls.push_back(call); }
    static HRESULT Fail(EXCEPINFO* ei, const wchar_t* text) {
        if (ei) {
            *ei = EXCEPINFO{};
            ei->scode = MAKE_HRESULT(SEVERITY_ERROR, FACILITY_CONTROL, 1004);
            ei->bstrDescription = SysAllocString(text);
        }
        return DISP_E_EXCEPTION;
    }
    static std::wstring ArgText(DISPPARAMS* p, UINT i) {
        VARIANT v;
        VariantInit(&v);
        std::wstring out;
        if (SUCCEEDED(VariantChangeType(&v, &p->rgvarg[p->cArgs - 1 - i], 0, VT_BSTR)))
            out.assign(V_BSTR(&v), SysStringLen(V_BSTR(&v)));
        VariantClear(&v);
        return out;
    }
    static void SetText(VARIANT* r, const std::wstring& s) {
        if (!r) return;
        V_VT(r) = VT_BSTR;
        V_BSTR(r) = SysAllocStringLen(s.data(), static_cast<UINT>(s.size()));
    }
    static void SetObject(VARIANT* r, IUnknown* o, VARTYPE vt = VT_DISPATCH) {
        if (!r) return;
        V_VT(r) = vt;
        V_UNKNOWN(r) = o;
        o->AddRef();
    }

    std::shared_ptr<Log> log_;
    ULONG refs_ = 1;
};

// An IEnumVARIANT over objects, as the host's standard enumerator gives them.
class Enumerator : public IEnumVARIANT {
public:
    explicit Enumerator(std::vector<ComPtr<IDispatch>> items) : items_(std::move(items)) {}
    virtual ~Enumerator() = default;
    STDMETHODIMP QueryInterface(REFIID riid, void** out) override {
        if (riid == IID_IUnknown || riid == IID_IEnumVARIANT) {
            *out = static_cast<IEnumVARIANT*>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++refs_; }
    STDMETHODIMP_(ULONG) Release() override {
        ULONG n = --refs_;
        if (n == 0) delete this;
        return n;
    }
    STDMETHODIMP Next(ULONG n, VARIANT* out, ULONG* fetched) override {
        ULONG done = 0;
        for (; done < n && pos_ < items_.size(); ++done, ++pos_) {
            VariantInit(&out[done]);
            V_VT(&out[done]) = VT_DISPATCH;
            V_DISPATCH(&out[done]) = items_[pos_].Get();
            items_[pos_]->AddRef();
        }
        if (fetched) *fetched = done;
        return done == n ? S_OK : S_FALSE;
    }
    STDMETHODIMP Skip(ULONG n) override { pos_ += n; return pos_ <= items_.size() ? S_OK : S_FALSE; }
    STDMETHODIMP Reset() override { pos_ = 0; return S_OK; }
    STDMETHODIMP Clone(IEnumVARIANT**) override { return E_NOTIMPL; }

private:
    std::vector<ComPtr<IDispatch>> items_;
    size_t pos_ = 0;
    ULONG refs_ = 1;
};

class Property : public Object {
public:
    Property(std::shared_ptr<Log> log, std::wstring name, VARIANT value)
        : Object(std::move(log)), name_(std::move(name)) {
        VariantInit(&value_);
        VariantCopy(&value_, &value);
    }
    ~Property() override { VariantClear(&value_); }

    bool unreadable = false;
    bool refuseWrite = false;
    std::wstring name_;
    VARIANT value_;

    std::wstring ValueText() const {
        VARIANT v;
        VariantInit(&v);
        std::wstring out;
        if (SUCCEEDED(VariantChangeType(&v, const_cast<VARIANT*>(&value_), 0, VT_BSTR)))
            out.assign(V_BSTR(&v), SysStringLen(V_BSTR(&v)));
        VariantClear(&v);
        return out;
    }

    STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* p, VARIANT* r,
                        EXCEPINFO* ei, UINT*) override {
        if (r) VariantInit(r);
        if (id == 1 && !(flags & DISPATCH_PROPERTYPUT)) {
            SetText(r, name_);
            return S_OK;
        }
        if (id == 2 && (flags & DISPATCH_PROPERTYPUT)) {
            std::wstring v = ArgText(p, 0);
            Note(L"Value=" + v);
            if (refuseWrite) return Fail(ei, L"The property cannot be written");
            VariantClear(&value_);
            V_VT(&value_) = VT_BSTR;
            V_BSTR(&value_) = SysAllocStringLen(v.data(), static_cast<UINT>(v.size()));
            return S_OK;
        }
        if (id == 2) {
            if (unreadable) return Fail(ei, L"The value cannot be read");
            return r ? VariantCopy(r, &value_) : S_OK;
        }
        return DISP_E_MEMBERNOTFOUND;
    }

protected:
    DISPID IdOf(const std::wstring& name) const override {
        if (_wcsicmp(name.c_str(), L"Name") == 0) return 1;
        if (_wcsicmp(name.c_str(), L"Value") == 0) return 2;
        return DISPID_UNKNOWN;
    }
};

class PropertySet : public Object {
public:
    PropertySet(std::shared_ptr<Log> log, std::wstring name) : Object(std::move(log)), name_(std::move(name)) {}

    std::wstring name_;
    std::vector<ComPtr<Property>> props;
    bool refuseSave = false;
    int saves = 0;

    Property* Add(const std::wstring& name, VARIANT value) {
        ComPtr<Property> p = New<Property>(log_, name, value);
        props.push_back(p);
        return p.Get();
    }
    Property* AddText(const std::wstring& name, const std::wstring& value) {
        VARIANT v;
        VariantInit(&v);
        V_VT(&v) = VT_BSTR;
        V_BSTR(&v) = SysAllocString(value.c_str());
        Property* p = Add(name, v);
        VariantClear(&v);
        return p;
    }

    STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* p, VARIANT* r, EXCEPINFO* ei,
                        UINT*) override {
        if (r) VariantInit(r);
        switch (id) {
        case 6: SetText(r, name_); return S_OK;
        case 7:
            Note(L"Save " + name_);
            if (refuseSave) return Fail(ei, L"The set cannot be saved");
            ++saves;
            return S_OK;
        case DISPID_NEWENUM: {
            std::vector<ComPtr<IDispatch>> items(props.begin(), props.end());
            auto* e = new Enumerator(std::move(items));
            SetObject(r, e, VT_UNKNOWN);
            e->Release();
            return S_OK;
        }
        case DISPID_VALUE: {
            std::wstring name = p && p->cArgs ? ArgText(p, 0) : L"";
            Note(L"Item " + name);
            for (auto& prop : props)
                if (_wcsicmp(prop->name_.c_str(), name.c_str()) == 0) {
                    SetObject(r, prop.Get());
                    return S_OK;
                }
            return Fail(ei, L"No such property");
        }
        default: return DISP_E_MEMBERNOTFOUND;
        }
    }

protected:
    DISPID IdOf(const std::wstring& name) const override {
        if (_wcsicmp(name.c_str(), L"Name") == 0) return 6;
        if (_wcsicmp(name.c_str(), L"Save") == 0) return 7;
        return DISPID_UNKNOWN;
    }
};

class PropertySets : public Object {
public:
    using Object::Object;
    std::vector<ComPtr<PropertySet>> sets;

    STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS*, VARIANT* r, EXCEPINFO*, UINT*) override {
        if (r) VariantInit(r);
        if (id != DISPID_NEWENUM) return DISP_E_MEMBERNOTFOUND;
        std::vector<ComPtr<IDispatch>> items(sets.begin(), sets.end());
        auto* e = new Enumerator(std::move(items));
        SetObject(r, e, VT_UNKNOWN);
        e->Release();
        return S_OK;
    }

protected:
    DISPID IdOf(const std::wstring&) const override { return DISPID_UNKNOWN; }
};

class Document : public Object {
public:
    Document(std::shared_ptr<Log> log, std::wstring fullName)
        : Object(log), fullName_(std::move(fullName)) {
        sets_ = New<PropertySets>(log);
    }

    std::wstring fullName_;
    ComPtr<PropertySets> sets_;
    int fullNameReadsLeft = -1;  // when it reaches 0, reading FullName fails

    PropertySet* AddSet(const std::wstring& name) {
        ComPtr<PropertySet> s = New<PropertySet>(log_, name);
        sets_->sets.push_back(s);
        return s.Get();
    }

    STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* p, VARIANT* r, EXCEPINFO* ei,
                        UINT*) override {
        if (r) VariantInit(r);
        if (id == 1) {
            if (fullNameReadsLeft == 0) return Fail(ei, L"The name cannot be read");
            if (fullNameReadsLeft > 0) --fullNameReadsLeft;
            SetText(r, fullName_);
            return S_OK;
        }
        if (id == 2 && (!p || p->cArgs == 0)) {
            Note(L"Properties");
            SetObject(r, sets_.Get());
            return S_OK;
        }
        if (id == 2) {
            std::wstring name = ArgText(p, 0);
            Note(L"Properties " + name);
            for (auto& s : sets_->sets)
                if (_wcsicmp(s->name_.c_str(), name.c_str()) == 0) {
                    SetObject(r, s.Get());
                    return S_OK;
                }
            return Fail(ei, L"No such property set");
        }
        return DISP_E_MEMBERNOTFOUND;
    }

protected:
    DISPID IdOf(const std::wstring& name) const override {
        if (_wcsicmp(name.c_str(), L"FullName") == 0) return 1;
        if (_wcsicmp(name.c_str(), L"Properties") == 0) return 2;
        return DISPID_UNKNOWN;
    }
};

inline ComPtr<Document> MakeDocument(std::shared_ptr<Log> log, const std::wstring& fullName) {
    return New<Document>(std::move(log), fullName);
}

} // namespace fakedoc
