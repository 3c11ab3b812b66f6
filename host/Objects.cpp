#include "Core.h"

namespace kvhost {

namespace {

std::wstring IidText(REFIID iid) {
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
        core->rec.Log({L"ConnectionPoint", source_, L"Advise", Access::Call, {ObjectArg(sink)}});
        if (auto f = core->rec.TakeFault(L"ConnectionPoint", L"Advise", Access::Call)) {
            core->rec.SetLastResult(f->hr);
            return ReturnFault(IID_IConnectionPoint, *f);
        }
        if (!cookie) return E_POINTER;
        *cookie = 0;
        if (!sink) return E_POINTER;
        Sink s{nextCookie_, sink, nullptr};
        // The event interface first (a sink that knows it), plain IDispatch after.
        if (FAILED(sink->QueryInterface(iid_, reinterpret_cast<void**>(s.dispatch.GetAddressOf()))) &&
            FAILED(sink->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(s.dispatch.GetAddressOf())))) {
            core->rec.SetLastResult(CONNECT_E_CANNOTCONNECT);
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
        core->rec.Log({L"ConnectionPoint", source_, L"Unadvise", Access::Call, {std::to_wstring(cookie)}});
        if (auto f = core->rec.TakeFault(L"ConnectionPoint", L"Unadvise", Access::Call)) {
            core->rec.SetLastResult(f->hr);
            return ReturnFault(IID_IConnectionPoint, *f);
        }
        for (auto it = sinks_.begin(); it != sinks_.end(); ++it) {
            if (it->cookie != cookie) continue;
            Sink gone = std::move(*it);
            sinks_.erase(it);
            return S_OK;  // gone's references end here, after the list is consistent
        }
        core->rec.SetLastResult(CONNECT_E_NOCONNECTION);
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
    if (!core_->holdSinksWhileFiring) now.clear();
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

HRESULT FindPoint(Core& core, const std::wstring& kind, ConnectionPoint* point, REFIID riid,
                  IConnectionPoint** out) {
    try {
        if (!out) return E_POINTER;
        *out = nullptr;
        core.rec.Log({kind, L"", L"FindConnectionPoint", Access::Call, {IidText(riid)}});
        if (auto f = core.rec.TakeFault(kind, L"FindConnectionPoint", Access::Call)) {
            core.rec.SetLastResult(f->hr);
            return ReturnFault(IID_IConnectionPointContainer, *f);
        }
        if (!point || riid != point->EventIid()) {
            core.rec.SetLastResult(CONNECT_E_NOCONNECTION);
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

// ---- application

namespace {
constexpr MemberInfo kApplicationMembers[] = {
    {korvane::DISPID_APP_APPLICATIONFLAG, L"ApplicationFlag", kGet},
    {60, L"ActiveDocument", kGet},
    {61, L"Name", kGet},
};
constexpr MemberInfo kNoMembers[] = {{0x7fff0000, L"", 0}};
constexpr MemberInfo kAddInMembers[] = {
    {korvane::DISPID_ADDIN_ADDINEVENTS, L"AddInEvents", kGet},
    {korvane::DISPID_ADDIN_DESCRIPTION, L"Description", kPut},
    {korvane::DISPID_ADDIN_NUMBERSETTING, L"NumberSetting", kPut},
    {korvane::DISPID_ADDIN_FLAGSETTING, L"FlagSetting", kPut},
    {korvane::DISPID_ADDIN_ADDBUTTON, L"AddButton", kCall},
};
constexpr MemberInfo kButtonMembers[] = {
    {korvane::DISPID_BUTTON_BUTTONFLAG, L"ButtonFlag", kPut},
};
constexpr MemberInfo kEnvironmentMembers[] = {
    {0, L"Name", kGet},
};
constexpr MemberInfo kDocumentMembers[] = {
    {korvane::DISPID_DOC_FULLNAME, L"FullName", kGet},
    {korvane::DISPID_DOC_PROPERTIES, L"Properties", kGet},
    {3, L"Name", kGet},
};
constexpr MemberInfo kSetsMembers[] = {
    {DISPID_VALUE, L"Item", kGet},
    {korvane::DISPID_PROPSETS_COUNT, L"Count", kGet},
    {DISPID_NEWENUM, L"_NewEnum", kGet},
};
constexpr MemberInfo kSetMembers[] = {
    {DISPID_VALUE, L"Item", kGet},
    {korvane::DISPID_PROPSET_NAME, L"Name", kGet},
    {korvane::DISPID_PROPSET_SAVE, L"Save", kCall},
    {korvane::DISPID_PROPSET_COUNT, L"Count", kGet},
    {DISPID_NEWENUM, L"_NewEnum", kGet},
};
constexpr MemberInfo kPropertyMembers[] = {
    {korvane::DISPID_PROP_NAME, L"Name", kGet},
    {korvane::DISPID_PROP_VALUE, L"Value", kGet | kPut},
};

template <class T>
void ReturnNew(Call& call, T* object) {
    // The new object starts at zero references; the result variant takes the first.
    call.ReturnObject(object->Disp());
}

// Returns a new enumerator (_NewEnum) of `count` objects, the i-th made by make(i) when it is
// fetched and handed out with a reference of its own.
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
} // namespace

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

Application::Application(std::shared_ptr<Core> core)
    : EventSourceObject(std::move(core), L"Application", DIID_IKorvaneApplication, kApplicationMembers,
                        DIID_IKorvaneApplicationEvents) {}

void Application::Do(DISPID id, Call& call) {
    call.Expect(0, 0);
    switch (id) {
    case korvane::DISPID_APP_APPLICATIONFLAG: call.Return(core_->applicationFlag); break;
    case 60: {
        DocumentObject* d = core_->DocObject(core_->activeDoc);
        call.ReturnObject(d ? d->Disp() : nullptr);
        break;
    }
    case 61: call.Return(rud::Variant::fromString(L"Korvane")); break;
    }
}

AddInEventsSource::AddInEventsSource(std::shared_ptr<Core> core)
    : EventSourceObject(std::move(core), L"AddInEvents", IID_NULL, std::span<const MemberInfo>(kNoMembers, 0),
                        DIID_IKorvaneAddInEvents) {}

HRESULT AddInEventsSource::QueryInterface(REFIID riid, void** ppv) {
    if (core_->addInEventsUndispatchable && riid == IID_IDispatch) {
        if (ppv) *ppv = nullptr;
        return E_NOINTERFACE;
    }
    return EventSourceObject::QueryInterface(riid, ppv);
}

void AddInEventsSource::Do(DISPID, Call&) { throw InvokeFailure{DISP_E_MEMBERNOTFOUND}; }

ToolbarButtonObject::ToolbarButtonObject(std::shared_ptr<Core> core, std::wstring caption_)
    : DispObject(std::move(core), L"ToolbarButton", caption_, DIID_ToolbarButton, kButtonMembers),
      caption(std::move(caption_)) {}

void ToolbarButtonObject::Do(DISPID, Call& call) {
    rud::Variant v;
    if (FAILED(ChangeType(&v, &call.PutValue(), VT_BOOL))) throw InvokeFailure{DISP_E_TYPEMISMATCH};
    flag = V_BOOL(&v) != VARIANT_FALSE;
    flagWasSet = true;
}

EnvironmentObject::EnvironmentObject(std::shared_ptr<Core> core)
    : DispObject(std::move(core), L"Environment", L"", IID_NULL, kEnvironmentMembers) {}

void EnvironmentObject::Do(DISPID, Call& call) {
    call.Expect(0, 0);
    call.Return(rud::Variant::fromString(L"Korvane Environment"));
}

// ---- the add-in object and its VaneBar

AddInObject::AddInObject(std::shared_ptr<Core> core, AddInSlot& slot, std::wstring instance)
    : DispObject(std::move(core), L"AddIn", std::move(instance), DIID_IKorvaneAddInObject, kAddInMembers),
      slot_(slot) {}

HRESULT AddInObject::QueryInterface(REFIID riid, void** ppv) { return DispObject::QueryInterface(riid, ppv); }

void* AddInObject::QueryMore(REFIID riid) noexcept {
    if (riid == IID_IKorvaneVaneBar) return static_cast<IKorvaneVaneBar*>(this);
    return nullptr;
}

HRESULT AddInObject::InterfaceSupportsErrorInfo(REFIID riid) {
    return riid == IID_IKorvaneVaneBar ? S_OK : DispObject::InterfaceSupportsErrorInfo(riid);
}

void AddInObject::Do(DISPID id, Call& call) {
    Core& core = *core_;
    AddInSlot& slot = slot_;
    switch (id) {
    case korvane::DISPID_ADDIN_ADDINEVENTS:
        call.Expect(0, 0);
        if (core.addInEventsValue) {
            call.Return(rud::Variant(*core.addInEventsValue));
        } else if (core.addInEventsUndispatchable) {
            rud::Variant source;
            V_VT(&source) = VT_UNKNOWN;
            slot.events->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&V_UNKNOWN(&source)));
            call.Return(std::move(source));
        } else {
            call.ReturnObject(slot.events->Disp());
        }
        break;
    case korvane::DISPID_ADDIN_DESCRIPTION:
        slot.description = std::wstring();
        {
            rud::Variant v;
            if (FAILED(ChangeType(&v, &call.PutValue(), VT_BSTR))) throw InvokeFailure{DISP_E_TYPEMISMATCH};
            slot.description.assign(V_BSTR(&v) ? V_BSTR(&v) : L"", SysStringLen(V_BSTR(&v)));
        }
        slot.descriptionSet = true;
        break;
    case korvane::DISPID_ADDIN_NUMBERSETTING: {
        rud::Variant v;
        if (FAILED(ChangeType(&v, &call.PutValue(), VT_I4))) throw InvokeFailure{DISP_E_TYPEMISMATCH};
        slot.numberSetting = V_I4(&v);
        break;
    }
    case korvane::DISPID_ADDIN_FLAGSETTING: {
        rud::Variant v;
        if (FAILED(ChangeType(&v, &call.PutValue(), VT_BOOL))) throw InvokeFailure{DISP_E_TYPEMISMATCH};
        slot.flagSetting = V_BOOL(&v) != VARIANT_FALSE;
        break;
    }
    case korvane::DISPID_ADDIN_ADDBUTTON: {
        call.Expect(3, 3);
        auto held = std::make_unique<Held<ToolbarButtonObject>>(
            new ToolbarButtonObject(core_, call.Str(0)));
        (*held)->toolTip = call.Str(1);
        (*held)->commandId = call.Long(2);
        call.ReturnObject((*held)->Disp());
        slot.buttons.push_back(std::move(held));
        break;
    }
    }
}

template <class F>
HRESULT AddInObject::VaneBarCall(const wchar_t* member, std::vector<std::wstring> args, F&& work) noexcept {
    std::shared_ptr<Core> core = core_;
    try {
        core->rec.Log({L"VaneBar", L"", member, Access::Call, std::move(args)});
        if (auto f = core->rec.TakeFault(L"VaneBar", member, Access::Call)) {
            core->rec.SetLastResult(f->hr);
            return ReturnFault(IID_IKorvaneVaneBar, *f, FaultKind::ErrorInfo);
        }
        work();
        SetErrorInfo(0, nullptr);
        return S_OK;
    } catch (const HostError& e) {
        core->rec.SetLastResult(e.hr());
        return ReturnErrorInfo(IID_IKorvaneVaneBar, e.hr(), e.description());
    } catch (...) {
        return E_OUTOFMEMORY;
    }
}

HRESULT AddInObject::CreatePage(IDispatch* theDocument, LONG hInstance, LONG nBitmapID, BSTR ToolTip,
                                LONG Option, LONG* phWnd) {
    if (phWnd) *phWnd = 0;
    std::vector<std::wstring> args;
    try {
        rud::Variant tip = rud::Variant::fromString(std::wstring_view(ToolTip ? ToolTip : L"", SysStringLen(ToolTip)));
        args = {ObjectArg(theDocument), std::to_wstring(hInstance), std::to_wstring(nBitmapID),
                FormatArg(tip), std::to_wstring(Option)};
    } catch (...) {
        return E_OUTOFMEMORY;
    }
    return VaneBarCall(L"CreatePage", std::move(args), [&] {
        if (!phWnd) throw HostError(E_POINTER, L"No place for the page handle");
        Core& core = *core_;
        const int doc = core.DocIdOf(theDocument);
        if (!doc) throw HostError(E_INVALIDARG, L"The object is not an open document");
        if (core.createPageReturnsZero) return;
        HWND page = core.windows.CreatePage(
            doc, slot_.index, reinterpret_cast<HINSTANCE>(static_cast<LONG_PTR>(hInstance)), nBitmapID,
            std::wstring(ToolTip ? ToolTip : L"", SysStringLen(ToolTip)), doc == core.activeDoc);
        *phWnd = static_cast<LONG>(reinterpret_cast<LONG_PTR>(page));
    });
}

template <class F>
HRESULT AddInObject::ExistingPageCall(const wchar_t* member, IDispatch* theDocument, LONG hWnd, LONG Option,
                                      F&& work) noexcept {
    std::vector<std::wstring> args;
    try {
        args = {ObjectArg(theDocument), std::to_wstring(hWnd), std::to_wstring(Option)};
    } catch (...) {
        return E_OUTOFMEMORY;
    }
    return VaneBarCall(member, std::move(args), [&] {
        HWND page = reinterpret_cast<HWND>(static_cast<LONG_PTR>(hWnd));
        // Another add-in's page is as unknown to this one as a page that never was.
        if (core_->windows.PageOwner(page) != slot_.index || !work(page))
            throw HostError(E_INVALIDARG, L"There is no VaneBar page " + std::to_wstring(hWnd));
    });
}

HRESULT AddInObject::DeletePage(IDispatch* theDocument, LONG hWnd, LONG Option) {
    return ExistingPageCall(L"DeletePage", theDocument, hWnd, Option,
                            [&](HWND page) { return core_->windows.DeletePage(page); });
}

HRESULT AddInObject::ActivatePage(IDispatch* theDocument, LONG hWnd, LONG Option) {
    return ExistingPageCall(L"ActivatePage", theDocument, hWnd, Option, [&](HWND page) {
        core_->windows.ActivatePage(page);
        return true;
    });
}

// ---- documents

void DocState::SaveSet(size_t set) {
    if (set >= live.sets.size()) throw HostError(E_INVALIDARG, L"No such property set");
    // The saved image changes only once the file holds it.
    DocumentContent next = saved.sets.size() != live.sets.size() ? live : saved;
    next.sets[set] = live.sets[set];
    if (compound) compound->Save(path, next);
    else if (!path.empty()) SaveDocumentFile(path, next);
    saved = std::move(next);
}

void DocState::SaveAll() {
    if (compound) compound->Save(path, live);
    else if (!path.empty()) SaveDocumentFile(path, live);
    saved = live;
}

namespace {
void RequireOpen(const DocState& s) {
    if (!s.open) throw HostError(RPC_E_DISCONNECTED, L"The document " + s.fullName + L" is closed");
}
} // namespace

DocumentObject::DocumentObject(std::shared_ptr<Core> core, std::shared_ptr<DocState> state)
    : DispObject(std::move(core), L"Document", state->fullName, DIID_IKorvaneDocument, kDocumentMembers),
      state_(std::move(state)) {}

void DocumentObject::Do(DISPID id, Call& call) {
    switch (id) {
    case korvane::DISPID_DOC_FULLNAME:
        call.Expect(0, 0);
        if (!state_->nextNames.empty()) {
            state_->fullName = state_->nextNames.front();
            state_->nextNames.pop_front();
            entry_->instance = state_->fullName;
        }
        call.Return(rud::Variant::fromString(state_->fullName));
        break;
    case korvane::DISPID_DOC_PROPERTIES:
        call.Expect(0, 1);
        RequireOpen(*state_);
        if (call.Missing(0)) {
            ReturnNew(call, new PropertySetsObject(core_, state_));
        } else {
            size_t i = ItemIndex(call, state_->live.sets, [](const SetData& s) { return s.name; }, L"Property set");
            ReturnNew(call, new PropertySetObject(core_, state_, i));
        }
        break;
    case 3: {
        call.Expect(0, 0);
        const std::wstring& f = state_->fullName;
        const size_t slash = f.find_last_of(L"\\/");
        call.Return(rud::Variant::fromString(slash == std::wstring::npos ? f : f.substr(slash + 1)));
        break;
    }
    }
}

PropertySetsObject::PropertySetsObject(std::shared_ptr<Core> core, std::shared_ptr<DocState> state)
    : DispObject(std::move(core), L"PropertySets", state->fullName, DIID_IKorvanePropertySets, kSetsMembers),
      state_(std::move(state)) {}

void PropertySetsObject::Do(DISPID id, Call& call) {
    RequireOpen(*state_);
    switch (id) {
    case DISPID_VALUE: {
        size_t i = ItemIndex(call, state_->live.sets, [](const SetData& s) { return s.name; }, L"Property set");
        ReturnNew(call, new PropertySetObject(core_, state_, i));
        break;
    }
    case korvane::DISPID_PROPSETS_COUNT:
        call.Expect(0, 0);
        call.Return(rud::Variant::fromLong(static_cast<LONG>(state_->live.sets.size())));
        break;
    case DISPID_NEWENUM: {
        call.Expect(0, 0);
        std::shared_ptr<Core> core = core_;
        std::shared_ptr<DocState> state = state_;
        ReturnEnumerator(call, core_, L"PropertySets", state_->live.sets.size(),
                         [core, state](size_t i) { return new PropertySetObject(core, state, i); });
        break;
    }
    }
}

PropertySetObject::PropertySetObject(std::shared_ptr<Core> core, std::shared_ptr<DocState> state, size_t set)
    : DispObject(std::move(core), L"PropertySet", state->live.sets.at(set).name, DIID_IKorvanePropertySet, kSetMembers),
      state_(std::move(state)), set_(set) {}

void PropertySetObject::Do(DISPID id, Call& call) {
    RequireOpen(*state_);
    SetData& set = state_->live.sets.at(set_);
    switch (id) {
    case DISPID_VALUE: {
        size_t i = ItemIndex(call, set.properties, [](const PropertyData& p) { return p.name; }, L"Property");
        ReturnNew(call, new PropertyObject(core_, state_, set_, i));
        break;
    }
    case korvane::DISPID_PROPSET_NAME:
        call.Expect(0, 0);
        call.Return(rud::Variant::fromString(set.name));
        break;
    case korvane::DISPID_PROPSET_SAVE:
        call.Expect(0, 0);
        state_->SaveSet(set_);
        break;
    case korvane::DISPID_PROPSET_COUNT:
        call.Expect(0, 0);
        call.Return(rud::Variant::fromLong(static_cast<LONG>(set.properties.size())));
        break;
    case DISPID_NEWENUM: {
        call.Expect(0, 0);
        std::shared_ptr<Core> core = core_;
        std::shared_ptr<DocState> state = state_;
        const size_t setIndex = set_;
        ReturnEnumerator(call, core_, set.name, set.properties.size(),
                         [core, state, setIndex](size_t i) { return new PropertyObject(core, state, setIndex, i); });
        break;
    }
    }
}

PropertyObject::PropertyObject(std::shared_ptr<Core> core, std::shared_ptr<DocState> state, size_t set, size_t prop)
    : DispObject(std::move(core), L"Property",
                 state->live.sets.at(set).name + L"|" + state->live.sets.at(set).properties.at(prop).name,
                 DIID_IKorvaneProperty, kPropertyMembers),
      state_(std::move(state)), set_(set), prop_(prop) {}

void PropertyObject::Do(DISPID id, Call& call) {
    RequireOpen(*state_);
    PropertyData& p = state_->live.sets.at(set_).properties.at(prop_);
    switch (id) {
    case korvane::DISPID_PROP_NAME:
        call.Expect(0, 0);
        call.Return(rud::Variant::fromString(p.name));
        break;
    case korvane::DISPID_PROP_VALUE:
        if (call.access() == Access::Put) {
            rud::Variant v;
            if (FAILED(VariantCopyInd(&v, const_cast<VARIANT*>(&call.PutValue())))) throw InvokeFailure{DISP_E_TYPEMISMATCH};
            if (state_->compound) v = state_->compound->Accept(set_, prop_, v);
            p.value = std::move(v);
        } else {
            call.Expect(0, 0);
            call.Return(p.value);
        }
        break;
    }
}

} // namespace kvhost
