#include "Commands.h"
#include "CommandsLineLabels.h"
#include "HostDocumentAccess.h"
#include "Reports.h"
#include "Trace.h"
#include "WindowHosting.h"
#include "KorvaneFramework.h"
#include "LateBound.h"
#include "Raii.h"
#include "frmBar.h"
#include <string>

using Microsoft::WRL::ComPtr;

namespace rud::hub {

using pane::frmBar;

namespace {

// The page image: bitmap 105 of this DLL's resources, which the host loads through the module
// handle passed with it.
constexpr LONG kPageBitmapId = 105;
constexpr wchar_t kPageToolTip[] = L"RI Doroz OZA";

// The event parameter at a declared position (the source passes them last first).
VARIANT& EventArg(DISPPARAMS* params, UINT index) {
    if (index >= params->cArgs) ThrowFailedCall(DISP_E_BADPARAMCOUNT);
    return params->rgvarg[params->cArgs - 1 - index];
}

// A command event's 32-bit parameter as far as it can be read: the handlers use none of them,
// so a missing one, another type or an unsigned value beyond the signed range is no failure.
LONG CommandArg(DISPPARAMS* params, UINT index) noexcept {
    if (index >= params->cArgs) return 0;
    VARIANT& arg = params->rgvarg[params->cArgs - 1 - index];
    Variant n;
    if (SUCCEEDED(VariantChangeType(&n, &arg, 0, VT_I4))) return V_I4(&n);
    if (SUCCEEDED(VariantChangeType(&n, &arg, 0, VT_UI4))) return static_cast<LONG>(V_UI4(&n));
    return 0;
}

// The host passes window handles as 32-bit values; inside, a handle is an HWND. The page windows
// are the host's: the registry borrows them and never destroys one.
HWND WindowFromHost(LONG h) noexcept { return reinterpret_cast<HWND>(static_cast<INT_PTR>(h)); }
LONG WindowToHost(HWND h) noexcept { return static_cast<LONG>(reinterpret_cast<INT_PTR>(h)); }
std::wstring Decimal(HWND h) { return std::to_wstring(WindowToHost(h)); }

} // namespace

std::shared_ptr<Commands> Commands::Create() { return std::shared_ptr<Commands>(new Commands()); }

Commands::~Commands() {
    // Forms are unloaded in order of registration; the host's pages are left to the host.
    try {
        for (const auto& entry : cVaneBars) {
            std::shared_ptr<frmBar> form = entry.second;
            form->Unload();
        }
    } catch (...) {
        // A form that fails to unload ends the walk; the rest go with the registry.
    }
    cVaneBars.Clear();
}

EventSubscription::Handler Commands::SinkHandler(HRESULT (Commands::*member)(DISPID, DISPPARAMS*, EXCEPINFO*)) {
    // The sink must not keep the hub alive, but a running handler must (a box is modal).
    std::weak_ptr<Commands> weak = weak_from_this();
    return [weak, member](DISPID id, DISPPARAMS* params, EXCEPINFO* excepInfo) -> HRESULT {
        std::shared_ptr<Commands> self = weak.lock();
        if (!self) return S_OK;
        return (self.get()->*member)(id, params, excepInfo);
    };
}

void Commands::SetAddInEvents(IUnknown* source) {
    m_addinEvents.Disconnect();
    if (source) m_addinEvents.Connect(source, DIID_IKorvaneAddInEvents, SinkHandler(&Commands::OnAddInEvent));
}

void Commands::SetApplicationEvents(IUnknown* source) {
    m_AppEvents.Disconnect();
    if (source) m_AppEvents.Connect(source, DIID_IKorvaneApplicationEvents, SinkHandler(&Commands::OnAppEvent));
}

void Commands::EndSubscriptions() noexcept {
    m_addinEvents.Disconnect();
    m_AppEvents.Disconnect();
}

HRESULT Commands::OnAddInEvent(DISPID id, DISPPARAMS* params, EXCEPINFO* excepInfo) {
    try {
        switch (id) {
        case korvane::DISPID_EV_ONCOMMAND:
            m_addinEvents_OnCommand(CommandArg(params, 0));
            break;
        case korvane::DISPID_EV_ONCOMMANDHELP:
            m_addinEvents_OnCommandHelp(CommandArg(params, 0), CommandArg(params, 1), CommandArg(params, 2));
            break;
        case korvane::DISPID_EV_ONCOMMANDUPDATEUI: {
            // The by-reference arguments go back to the host exactly as they came: the handler
            // works on copies.
            LONG flags = CommandArg(params, 1);
            LONG bitmap = CommandArg(params, 3);
            BSTR text = nullptr;
            m_addinEvents_OnCommandUpdateUI(CommandArg(params, 0), flags, text, bitmap);
            break;
        }
        default:
            break;
        }
        return S_OK;
    } catch (...) {
        return ExceptionToExcepInfo(excepInfo);
    }
}

HRESULT Commands::OnAppEvent(DISPID id, DISPPARAMS* params, EXCEPINFO* excepInfo) {
    try {
        void (Commands::*handler)(IDispatch*) = nullptr;
        switch (id) {
        case korvane::DISPID_EV_BEFOREDOCUMENTSAVE: handler = &Commands::m_AppEvents_BeforeDocumentSave; break;
        case korvane::DISPID_EV_AFTERACTIVEDOCUMENTCHANGE: handler = &Commands::m_AppEvents_AfterActiveDocumentChange; break;
        case korvane::DISPID_EV_AFTERDOCUMENTOPEN: handler = &Commands::m_AppEvents_AfterDocumentOpen; break;
        case korvane::DISPID_EV_AFTERNEWDOCUMENTOPEN: handler = &Commands::m_AppEvents_AfterNewDocumentOpen; break;
        case korvane::DISPID_EV_BEFOREDOCUMENTCLOSE: handler = &Commands::m_AppEvents_BeforeDocumentClose; break;
        default: return S_OK;  // the application's other events have no handler
        }
        // The handler's own counted reference to the document.
        ComPtr<IDispatch> theDocument = late::ToObject(EventArg(params, 0));
        (this->*handler)(theDocument.Get());
        return S_OK;
    } catch (...) {
        return ExceptionToExcepInfo(excepInfo);
    }
}

void Commands::m_addinEvents_OnCommand(LONG) {}
void Commands::m_addinEvents_OnCommandHelp(LONG, LONG, LONG) {}
void Commands::m_addinEvents_OnCommandUpdateUI(LONG, LONG&, BSTR&, LONG&) {}

void Commands::m_AppEvents_BeforeDocumentSave(IDispatch* theDocument) {
    if (!m_KVapp) return;
    if (late::ToBool(late::Get(m_KVapp.Get(), korvane::DISPID_APP_APPLICATIONFLAG)))
        TraceLine(L"Addin: BeforeDocumentSave " + GetFullName(theDocument));
}

void Commands::m_AppEvents_AfterActiveDocumentChange(IDispatch* theDocument) {
    TraceLine(L"AddIn: AfterActiveDocumentChange " + GetFullName(theDocument));
}

namespace {
// The three document handlers differ only in their texts and the registry routine they call.
// The report names the event followed by the document (naming it again may fail too: that
// failure goes back to the host).
template <typename RegistryCall>
void HandleDocumentEvent(IDispatch* theDocument, const wchar_t* trace, const wchar_t* location, RegistryCall call) {
    ReportOnFailure(
        location,
        [&](Routine& routine) {
            routine.At(labels::DocumentEvent::kTraceLine);
            TraceLine(trace + GetFullName(theDocument));
            routine.At(labels::DocumentEvent::kRegistryCall);
            call(theDocument);
        },
        [&] { return GetFullName(theDocument); });
}
} // namespace

void Commands::m_AppEvents_AfterDocumentOpen(IDispatch* theDocument) {
    HandleDocumentEvent(theDocument, L"AddIn: AfterDocumentOpen ", L"AfterDocumentOpen",
                        [this](IDispatch* d) { AddVaneBarForDocument(d); });
}

void Commands::m_AppEvents_AfterNewDocumentOpen(IDispatch* theDocument) {
    HandleDocumentEvent(theDocument, L"AddIn: AfterNewDocumentOpen ", L"AfterNewDocumentOpen",
                        [this](IDispatch* d) { AddVaneBarForDocument(d); });
}

void Commands::m_AppEvents_BeforeDocumentClose(IDispatch* theDocument) {
    HandleDocumentEvent(theDocument, L"AddIn: BeforeDocumentClose ", L"BeforeDocumentClose",
                        [this](IDispatch* d) { RemoveVaneBarForDocument(d); });
}

void Commands::AddVaneBarForDocument(IDispatch* theDocument) {
    RaiseOnFailure(L"AddVaneBarForDocument", [&](Routine& routine) {
        if (!theDocument) return;
        routine.At(labels::AddVaneBarForDocument::kKeyTest);
        if (KeyExists(cVaneBars, GetFullName(theDocument))) return;
        routine.At(labels::AddVaneBarForDocument::kAddPage);
        HWND page = AddVaneBarPage(theDocument);
        if (!page) return;
        std::shared_ptr<frmBar> form;
        try {
            routine.At(labels::AddVaneBarForDocument::kLoadForm);
            form = frmBar::Create(std::make_shared<HostDocumentAccess>());
            form->Load();
            routine.At(labels::AddVaneBarForDocument::kKeepPage);
            form->hVaneBarWnd = page;
            routine.At(labels::AddVaneBarForDocument::kRegister);
            cVaneBars.Add(GetFullName(theDocument), form);
        } catch (...) {
            // No record names the page, so no close would ever delete it: hand it back now, as
            // a close does, and report the failure that stopped the registration.
            DeleteUnregisteredPage(page, theDocument);
            throw;
        }
        routine.At(labels::AddVaneBarForDocument::kMakeChild);
        MakeChildWindow(form->hWnd(), form->hVaneBarWnd, false);
        TraceLine(L"AddIn: ChangeParentWindow " + Decimal(form->hVaneBarWnd));
        routine.At(labels::AddVaneBarForDocument::kShow);
        form->ShowMaximized();
        routine.At(labels::AddVaneBarForDocument::kInitForm);
        form->InitForm(m_KVapp.Get(), theDocument);
    });
}

void Commands::DeleteUnregisteredPage(HWND page, IDispatch* theDocument) noexcept {
    try {
        RemoveVaneBarPage(page, theDocument);
    } catch (...) {
        // The host keeps the page; the failure reported is the one that left it.
    }
}

void Commands::RemoveVaneBarForDocument(IDispatch* theDocument) {
    RaiseOnFailure(L"RemoveVaneBarForDocument", [&](Routine& routine) {
        routine.At(labels::RemoveVaneBarForDocument::kDocumentTest);
        if (!theDocument) return;
        routine.At(labels::RemoveVaneBarForDocument::kKeyTest);
        if (!KeyExists(cVaneBars, GetFullName(theDocument))) return;
        routine.At(labels::RemoveVaneBarForDocument::kFetchForm);
        std::shared_ptr<frmBar> form = cVaneBars.Item(GetFullName(theDocument));
        routine.At(labels::RemoveVaneBarForDocument::kRemovePage);
        RemoveVaneBarPage(form->hVaneBarWnd, theDocument);
        routine.At(labels::RemoveVaneBarForDocument::kUnregister);
        cVaneBars.Remove(GetFullName(theDocument));
        routine.At(labels::RemoveVaneBarForDocument::kUnloadForm);
        form->Unload();
        routine.At(labels::RemoveVaneBarForDocument::kReleaseForm);
        form.reset();
    });
}

namespace {
// The host's page service, asked of its add-in object for the length of one routine.
ComPtr<IKorvaneVaneBar> VaneBarOf(IDispatch* addIn) {
    if (!addIn) throw ObjectNotSetError();
    ComPtr<IKorvaneVaneBar> vaneBar;
    HRESULT hr = addIn->QueryInterface(IID_PPV_ARGS(&vaneBar));
    if (FAILED(hr)) ThrowFailedCall(hr);
    return vaneBar;
}

void CheckVaneBar(HRESULT hr, IKorvaneVaneBar* vaneBar) {
    if (FAILED(hr)) ThrowFailedCall(hr, vaneBar, &IID_IKorvaneVaneBar);
}
} // namespace

HWND Commands::AddVaneBarPage(IDispatch* theDocument) {
    return RaiseOnFailure(L"AddVaneBarPage", [&](Routine& routine) -> HWND {
        routine.At(labels::AddVaneBarPage::kObtainVaneBar);
        ComPtr<IKorvaneVaneBar> vaneBar = VaneBarOf(m_myAddIn.Get());
        routine.At(labels::AddVaneBarPage::kCreatePage);
        LONG page = 0;
        Bstr toolTip(kPageToolTip);
        CheckVaneBar(vaneBar->CreatePage(theDocument, static_cast<LONG>(reinterpret_cast<INT_PTR>(ThisModule())),
                                         kPageBitmapId, toolTip.get(), 0, &page),
                     vaneBar.Get());
        if (page == 0) return nullptr;
        TraceLine(L"AddIn: AddVaneBarPage " + Decimal(WindowFromHost(page)));
        return WindowFromHost(page);
    });
}

namespace {
using PageOperation = HRESULT (STDMETHODCALLTYPE IKorvaneVaneBar::*)(IDispatch*, LONG, LONG);

// A page routine that hands an existing page back to the host's page service: obtain the
// service (at one label), call the operation and trace the handle (at the next).
void ForExistingPage(IDispatch* addIn, PageOperation operation, HWND hWnd, IDispatch* theDocument,
                     const wchar_t* location, long obtainLabel, long callLabel, const wchar_t* trace) {
    RaiseOnFailure(location, [&](Routine& routine) {
        routine.At(obtainLabel);
        ComPtr<IKorvaneVaneBar> vaneBar = VaneBarOf(addIn);
        routine.At(callLabel);
        CheckVaneBar((vaneBar.Get()->*operation)(theDocument, WindowToHost(hWnd), 0), vaneBar.Get());
        TraceLine(trace + Decimal(hWnd));
    });
}
} // namespace

void Commands::RemoveVaneBarPage(HWND hWnd, IDispatch* theDocument) {
    ForExistingPage(m_myAddIn.Get(), &IKorvaneVaneBar::DeletePage, hWnd, theDocument, L"RemoveVaneBarPage",
                    labels::RemoveVaneBarPage::kObtainVaneBar, labels::RemoveVaneBarPage::kDeletePage,
                    L"AddIn: RemoveVaneBarPage: ");
}

void Commands::ActivateVaneBarPage(HWND hWnd, IDispatch* theDocument) {
    ForExistingPage(m_myAddIn.Get(), &IKorvaneVaneBar::ActivatePage, hWnd, theDocument, L"ActivateVaneBarPage",
                    labels::ActivateVaneBarPage::kObtainVaneBar, labels::ActivateVaneBarPage::kActivatePage,
                    L"AddIn: ActivateVaneBarPage: ");
}

} // namespace rud::hub
