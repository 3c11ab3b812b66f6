#include "EventSource.h"
#include "Core.h"
#include "Enumerator.h"

namespace kvhost {

namespace {

std::wstring IidText(REFIID iid) {
    wchar_t buf[40] = {};
    StringFromGUID2(iid, buf, 40);
    return buf;
}

HRESULT FindPoint(Core& core, const std::wstring& kind, ConnectionPoint* point, REFIID riid,
                  IConnectionPoint** out) {
    try {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (auto f = core.LogCall({kind, L"", L"FindConnectionPoint", Access::Call, {IidText(riid)}}))
            return ReturnFault(IID_IConnectionPointContainer, *f);
        if (!point || riid != point->EventIid()) {
            core.NoteResult(CONNECT_E_NOCONNECTION);
            return CONNECT_E_NOCONNECTION;
        }
        *out = point;
        point->AddRef();
        return S_OK;
    } catch (...) {
        return E_OUTOFMEMORY;
    }
}

HRESULT EnumPoints(Core& core, ConnectionPoint* point, IEnumConnectionPoints** out) {
    if (!out) return E_POINTER;
    try {
        ComPtr<IConnectionPoint> held(point);
        *out = new EnumPointsObject(core.shared_from_this(), L"EnumConnectionPoints", L"", held ? 1 : 0,
                                    [held](size_t, IConnectionPoint*& p) {
                                        p = held.Get();
                                        p->AddRef();
                                    });
        (*out)->AddRef();
        return S_OK;
    } catch (...) {
        *out = nullptr;
        return E_OUTOFMEMORY;
    }
}

} // namespace

// ---- connection points

ConnectionPoint::ConnectionPoint(std::shared_ptr<Core> core, std::wstring sourceName,
                                 const IID& eventIid, IConnectionPointContainer* owner)
    : Counted(std::move(core), L"ConnectionPoint", sourceName), source_(std::move(sourceName)),
      iid_(eventIid), owner_(owner) {}

HRESULT ConnectionPoint::QueryInterface(REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    *ppv = (riid == IID_IUnknown || riid == IID_IConnectionPoint) ? static_cast<IConnectionPoint*>(this) : nullptr;
    if (!*ppv) return E_NOINTERFACE;
    AddRefImpl();
    return S_OK;
}

HRESULT ConnectionPoint::GetConnectionInterface(IID* iid) {
    if (!iid) return E_POINTER;
    *iid = iid_;
    return S_OK;
}

HRESULT ConnectionPoint::GetConnectionPointContainer(IConnectionPointContainer** c) {
    if (!c) return E_POINTER;
    *c = owner_;
    if (!owner_) return E_UNEXPECTED;
    owner_->AddRef();
    return S_OK;
}

HRESULT ConnectionPoint::Advise(IUnknown* sink, DWORD* cookie) {
    try {
        std::shared_ptr<Core> core = core_;
        if (auto f = core->LogCall({L"ConnectionPoint", source_, L"Advise", Access::Call, {ObjectArg(sink)}}))
            return ReturnFault(IID_IConnectionPoint, *f);
        if (!cookie) return E_POINTER;
        *cookie = 0;
        if (!sink) return E_POINTER;
        Sink s{nextCookie_, sink, nullptr};
        // The event interface first (a sink that knows it), plain IDispatch after.
        if (FAILED(sink->QueryInterface(iid_, reinterpret_cast<void**>(s.dispatch.GetAddressOf()))) &&
            FAILED(sink->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(s.dispatch.GetAddressOf())))) {
            core->NoteResult(CONNECT_E_CANNOTCONNECT);
            return CONNECT_E_CANNOTCONNECT;
        }
        if (!owner_) return CONNECT_E_ADVISELIMIT;
        sinks_.push_back(std::move(s));
        *cookie = nextCookie_++;
        return S_OK;
    } catch (...) {
        return E_OUTOFMEMORY;
    }
}

HRESULT ConnectionPoint::Unadvise(DWORD cookie) {
    try {
        std::shared_ptr<Core> core = core_;
        if (auto f = core->LogCall({L"ConnectionPoint", source_, L"Unadvise", Access::Call, {std::to_wstring(cookie)}}))
            return ReturnFault(IID_IConnectionPoint, *f);
        for (auto it = sinks_.begin(); it != sinks_.end(); ++it) {
            if (it->cookie != cookie) continue;
            Sink gone = std::move(*it);
            sinks_.erase(it);
            return S_OK;  // gone's references end here, after the list is consistent
        }
        core->NoteResult(CONNECT_E_NOCONNECTION);
        return CONNECT_E_NOCONNECTION;
    } catch (...) {
        return E_OUTOFMEMORY;
    }
}

HRESULT ConnectionPoint::EnumConnections(IEnumConnections** e) {
    if (!e) return E_POINTER;
    try {
        // A snapshot: connections made or ended later do not change it.
        auto items = std::make_shared<std::vector<std::pair<DWORD, ComPtr<IUnknown>>>>();
        for (const auto& s : sinks_) items->emplace_back(s.cookie, s.unknown);
        *e = new EnumConnectionsObject(core_, L"EnumConnections", L"", items->size(),
                                       [items](size_t i, CONNECTDATA& out) {
                                           out.dwCookie = (*items)[i].first;
                                           out.pUnk = (*items)[i].second.Get();
                                           out.pUnk->AddRef();
                                       });
        (*e)->AddRef();
        return S_OK;
    } catch (...) {
        *e = nullptr;
        return E_OUTOFMEMORY;
    }
}

std::vector<SinkResult> ConnectionPoint::Fire(DISPID id, DISPPARAMS& params) {
    std::vector<Sink> now = sinks_;
    // A careless host calls its sinks through the pointers it keeps, without a reference of the
    // call's own: dropping the sinks meanwhile leaves nothing of the host holding them.
    std::vector<IDispatch*> targets;
    for (auto& s : now) targets.push_back(s.dispatch.Get());
    if (!core_->Behaviour().holdSinksWhileFiring) now.clear();
    std::vector<SinkResult> out;
    for (IDispatch* target : targets) {
        EXCEPINFO ex{};
        UINT argErr = 0;
        rud::Variant result;
        SinkResult r;
        r.hr = target->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, &result, &ex, &argErr);
        if (r.hr == DISP_E_EXCEPTION) {
            if (ex.pfnDeferredFillIn) ex.pfnDeferredFillIn(&ex);
            if (ex.bstrDescription) r.description.assign(ex.bstrDescription, SysStringLen(ex.bstrDescription));
            if (FAILED(ex.scode)) r.hr = ex.scode;
        }
        SysFreeString(ex.bstrSource);
        SysFreeString(ex.bstrDescription);
        SysFreeString(ex.bstrHelpFile);
        out.push_back(std::move(r));
    }
    return out;
}

void ConnectionPoint::Detach() noexcept {
    owner_ = nullptr;
    DropSinks();
}

void ConnectionPoint::DropSinks() noexcept {
    std::vector<Sink> gone;
    gone.swap(sinks_);
}

// ---- event sources

EventSourceObject::EventSourceObject(std::shared_ptr<Core> core, const std::wstring& kind, const IID& diid,
                                     std::span<const MemberInfo> members, const IID& eventIid)
    : DispObject(core, kind, L"", diid, members) {
    events_.reset(new ConnectionPoint(core, kind, eventIid, this));
}

EventSourceObject::~EventSourceObject() {
    if (events_) events_->Detach();
}

HRESULT EventSourceObject::QueryInterface(REFIID riid, void** ppv) { return DispObject::QueryInterface(riid, ppv); }

void* EventSourceObject::QueryMore(REFIID riid) noexcept {
    return riid == IID_IConnectionPointContainer ? static_cast<IConnectionPointContainer*>(this) : nullptr;
}

HRESULT EventSourceObject::EnumConnectionPoints(IEnumConnectionPoints** e) { return EnumPoints(*core_, events_.get(), e); }

HRESULT EventSourceObject::FindConnectionPoint(REFIID riid, IConnectionPoint** cp) {
    return FindPoint(*core_, kind_, events_.get(), riid, cp);
}

} // namespace kvhost
