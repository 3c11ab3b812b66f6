#include "AddInObjects.h"
#include "Core.h"

namespace kvhost {

namespace {
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
} // namespace

// ---- the command event source

AddInEventsSource::AddInEventsSource(std::shared_ptr<Core> core)
    : EventSourceObject(std::move(core), L"AddInEvents", IID_NULL, std::span<const MemberInfo>(kNoMembers, 0),
                        DIID_IKorvaneAddInEvents) {}

HRESULT AddInEventsSource::QueryInterface(REFIID riid, void** ppv) {
    if (core_->Behaviour().addInEventsUndispatchable && riid == IID_IDispatch) {
        if (ppv) *ppv = nullptr;
        return E_NOINTERFACE;
    }
    return EventSourceObject::QueryInterface(riid, ppv);
}

void AddInEventsSource::Do(DISPID, Call&) { throw InvokeFailure{DISP_E_MEMBERNOTFOUND}; }

// ---- toolbar buttons

ToolbarButtonObject::ToolbarButtonObject(std::shared_ptr<Core> core, std::wstring caption_)
    : DispObject(std::move(core), L"ToolbarButton", caption_, DIID_ToolbarButton, kButtonMembers),
      caption(std::move(caption_)) {}

void ToolbarButtonObject::Do(DISPID, Call& call) {
    rud::Variant v;
    if (FAILED(ChangeType(&v, &call.PutValue(), VT_BOOL))) throw InvokeFailure{DISP_E_TYPEMISMATCH};
    flag = V_BOOL(&v) != VARIANT_FALSE;
    flagWasSet = true;
}

// ---- the add-in object

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
    const HostBehaviour& behaviour = core_->Behaviour();
    AddInSlot& slot = slot_;
    switch (id) {
    case korvane::DISPID_ADDIN_ADDINEVENTS:
        call.Expect(0, 0);
        if (behaviour.addInEventsValue) {
            call.Return(rud::Variant(*behaviour.addInEventsValue));
        } else if (behaviour.addInEventsUndispatchable) {
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

// ---- the VaneBar

template <class F>
HRESULT AddInObject::VaneBarCall(const wchar_t* member, std::vector<std::wstring> args, F&& work) noexcept {
    std::shared_ptr<Core> core = core_;
    try {
        if (auto f = core->LogCall({L"VaneBar", L"", member, Access::Call, std::move(args)}))
            return ReturnFault(IID_IKorvaneVaneBar, *f, FaultKind::ErrorInfo);
        work();
        SetErrorInfo(0, nullptr);
        return S_OK;
    } catch (const HostError& e) {
        core->NoteResult(e.hr());
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
        if (core.Behaviour().createPageReturnsZero) return;
        HWND page = core.Windows().CreatePage(
            doc, slot_.index, reinterpret_cast<HINSTANCE>(static_cast<LONG_PTR>(hInstance)), nBitmapID,
            std::wstring(ToolTip ? ToolTip : L"", SysStringLen(ToolTip)), doc == core.ActiveDocument());
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
        if (core_->Windows().PageOwner(page) != slot_.index || !work(page))
            throw HostError(E_INVALIDARG, L"There is no VaneBar page " + std::to_wstring(hWnd));
    });
}

HRESULT AddInObject::DeletePage(IDispatch* theDocument, LONG hWnd, LONG Option) {
    return ExistingPageCall(L"DeletePage", theDocument, hWnd, Option,
                            [&](HWND page) { return core_->Windows().DeletePage(page); });
}

HRESULT AddInObject::ActivatePage(IDispatch* theDocument, LONG hWnd, LONG Option) {
    return ExistingPageCall(L"ActivatePage", theDocument, hWnd, Option, [&](HWND page) {
        core_->Windows().ActivatePage(page);
        return true;
    });
}

} // namespace kvhost
