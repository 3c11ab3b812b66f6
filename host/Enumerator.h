#pragma once
// The enumerators the host hands out: the standard IEnumVARIANT of the collections, and the
// enumerators of connections and connection points. Each element is made as it is fetched.
#include "ComBase.h"
#include <ocidl.h>
#include <algorithm>
#include <functional>

namespace kvhost {

// The element an enumerator hands out carries its own reference; these give it back when a
// Next fails half-way.
inline void ReleaseElement(VARIANT& v) noexcept { VariantClear(&v); }
inline void ReleaseElement(CONNECTDATA& c) noexcept { if (c.pUnk) c.pUnk->Release(); c.pUnk = nullptr; }
inline void ReleaseElement(IConnectionPoint*& p) noexcept { if (p) p->Release(); p = nullptr; }

// An enumerator over count elements, each made (with its own reference) as it is fetched: the
// standard IEnumVARIANT of the collections, and the enumerators of connections and points.
template <class IEnum, class Element>
class Enumerator : public Counted, public IEnum {
public:
    using Maker = std::function<void(size_t index, Element& out)>;
    Enumerator(std::shared_ptr<Core> core, std::wstring kind, std::wstring instance, size_t count, Maker make,
               size_t pos = 0)
        : Counted(std::move(core), std::move(kind), std::move(instance)), count_(count), make_(std::move(make)),
          pos_(pos) {}

    ULONG STDMETHODCALLTYPE AddRef() override { return AddRefImpl(); }
    ULONG STDMETHODCALLTYPE Release() override { return ReleaseImpl(); }
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        if (!ppv) return E_POINTER;
        *ppv = (riid == IID_IUnknown || riid == __uuidof(IEnum)) ? static_cast<IEnum*>(this) : nullptr;
        if (!*ppv) return E_NOINTERFACE;
        AddRefImpl();
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Next(ULONG n, Element* out, ULONG* fetched) override {
        if (!out) return E_POINTER;
        try {
            if (auto f = DetailedCall(*core_, entry_->object, entry_->instance, L"Next", std::to_wstring(n))) {
                if (fetched) *fetched = 0;
                return ReturnFault(__uuidof(IEnum), *f);
            }
        } catch (...) {
            return E_OUTOFMEMORY;
        }
        ULONG got = 0;
        try {
            for (; got < n && pos_ < count_; ++got, ++pos_) make_(pos_, out[got]);
        } catch (...) {
            for (ULONG i = 0; i < got; ++i) ReleaseElement(out[i]);
            if (fetched) *fetched = 0;
            return E_OUTOFMEMORY;
        }
        if (fetched) *fetched = got;
        return got == n ? S_OK : S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE Skip(ULONG n) override {
        const size_t skipped = std::min(count_ - pos_, static_cast<size_t>(n));
        pos_ += skipped;
        return skipped == n ? S_OK : S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE Reset() override {
        pos_ = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Clone(IEnum** e) override {
        if (!e) return E_POINTER;
        try {
            *e = new Enumerator(core_, entry_->object, entry_->instance, count_, make_, pos_);
            (*e)->AddRef();
            return S_OK;
        } catch (...) {
            *e = nullptr;
            return E_OUTOFMEMORY;
        }
    }

private:
    size_t count_;
    Maker make_;
    size_t pos_;
};

using EnumVariantObject = Enumerator<IEnumVARIANT, VARIANT>;
using EnumConnectionsObject = Enumerator<IEnumConnections, CONNECTDATA>;
using EnumPointsObject = Enumerator<IEnumConnectionPoints, IConnectionPoint*>;

} // namespace kvhost
