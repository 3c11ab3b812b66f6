#include "MyAddin.h"
#include "MyAddinLineLabels.h"
#include "Message.h"
#include "AddInError.h"
#include "Commands.h"
#include "Identity.h"
#include "KorvaneFramework.h"
#include "LateBound.h"
#include "Module.h"
#include "ModuleObject.h"
#include <memory>
#include <new>
#include <span>

using Microsoft::WRL::ComPtr;

namespace rud::addin {

using hub::Commands;

namespace {
ComPtr<IDispatch> AsHostInterface(IDispatch* object, const IID& iid);
} // namespace

class MyAddin final : public module::ModuleObject<MyAddin, _MyAddin, IKorvaneAddIn, ISupportErrorInfo> {
    template <class, class...> friend class module::ModuleObject;

public:
    // IUnknown comes from ModuleObject, answered from InterfaceTable().

    // IDispatch, served by the embedded type library: the interface has no members of its own.
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) noexcept override {
        CheckThread("MyAddin::GetTypeInfoCount");
        if (!count) return E_POINTER;
        *count = 1;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID, ITypeInfo** info) noexcept override {
        CheckThread("MyAddin::GetTypeInfo");
        if (!info) return E_POINTER;
        *info = nullptr;
        if (index != 0) return DISP_E_BADINDEX;
        return module::GetTypeInfoOf(IID__MyAddin, info);
    }
    // No name is known: the interface has no members of its own, and the inherited ones are not
    // reachable through dispatch.
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID riid, LPOLESTR*, UINT count, LCID, DISPID* ids) noexcept override {
        CheckThread("MyAddin::GetIDsOfNames");
        if (riid != IID_NULL) return DISP_E_UNKNOWNINTERFACE;
        if (!ids) return E_POINTER;
        for (UINT i = 0; i < count; ++i) ids[i] = DISPID_UNKNOWN;
        return DISP_E_UNKNOWNNAME;
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID riid, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                                     EXCEPINFO* excepInfo, UINT* argErr) noexcept override {
        CheckThread("MyAddin::Invoke");
        if (riid != IID_NULL) return DISP_E_UNKNOWNINTERFACE;
        ComPtr<ITypeInfo> info;
        HRESULT hr = module::GetTypeInfoOf(IID__MyAddin, &info);
        if (FAILED(hr)) return hr;
        return info->Invoke(static_cast<_MyAddin*>(this), id, flags, params, result, excepInfo, argErr);
    }

    // ISupportErrorInfo: the connection calls publish their failures (ReturnCurrentError).
    HRESULT STDMETHODCALLTYPE InterfaceSupportsErrorInfo(REFIID riid) noexcept override {
        CheckThread("MyAddin::InterfaceSupportsErrorInfo");
        return riid == IID_IKorvaneAddIn ? S_OK : S_FALSE;
    }

    // IKorvaneAddIn
    HRESULT STDMETHODCALLTYPE OnConnection(IDispatch* Application, LONG ConnectMode,
                                           IDispatch* AddInInstance) noexcept override;
    HRESULT STDMETHODCALLTYPE OnConnectToEnvironment(BSTR EnvCatID, IDispatch* pEnvironmentDispatch,
                                                     VARIANT_BOOL bFirstTime) noexcept override;
    HRESULT STDMETHODCALLTYPE OnDisconnection(LONG DisconnectMode) noexcept override;

    // The toolbar helper on this add-in's host object (see MyAddin.h); nothing calls it yet.
    void AddToolbarButton(const std::wstring& text1, const std::wstring& text2, LONG id, bool flag) {
        if (!m_commands) throw ObjectNotSetError();
        addin::AddToolbarButton(m_commands->AddInObject(), text1, text2, id, flag);
    }

private:
    static std::span<const module::InterfaceEntry<MyAddin>> InterfaceTable() noexcept {
        using module::Answer;
        static constexpr module::InterfaceEntry<MyAddin> kInterfaces[] = {
            Answer<MyAddin, _MyAddin>(IID_IUnknown),
            Answer<MyAddin, _MyAddin>(IID_IDispatch),
            Answer<MyAddin, _MyAddin>(IID__MyAddin),
            Answer<MyAddin, IKorvaneAddIn>(IID_IKorvaneAddIn),
            Answer<MyAddin, ISupportErrorInfo>(IID_ISupportErrorInfo),
        };
        return kInterfaces;
    }

    // Released without OnDisconnection: the hub may outlive this object in a running handler.
    ~MyAddin() { LetGoOfHub(); }

    // A hub that is replaced or dropped hears nothing more, even while a handler of it keeps it.
    void LetGoOfHub() noexcept {
        if (m_commands) m_commands->EndSubscriptions();
        m_commands.reset();
    }

    std::shared_ptr<Commands> m_commands;
};

namespace {

// A host object as the interface the hub's field is declared with.
ComPtr<IDispatch> AsHostInterface(IDispatch* object, const IID& iid) {
    if (!object) throw ObjectNotSetError();
    ComPtr<IDispatch> out;
    HRESULT hr = object->QueryInterface(iid, reinterpret_cast<void**>(out.GetAddressOf()));
    if (FAILED(hr)) ThrowFailedCall(hr);
    return out;
}

} // namespace

HRESULT MyAddin::OnConnection(IDispatch* Application, LONG, IDispatch* AddInInstance) noexcept {
    CheckThread("MyAddin::OnConnection");
    // The first steps are not protected: their failure is the call's result.
    try {
        if (m_commands) m_commands->EndSubscriptions();
        m_commands = Commands::Create();
        m_commands->SetApplication(AsHostInterface(Application, DIID_IKorvaneApplication).Get());
        m_commands->SetAddInObject(AsHostInterface(AddInInstance, DIID_IKorvaneAddInObject).Get());
        Variant events = late::Get(AddInInstance, korvane::DISPID_ADDIN_ADDINEVENTS);
        // The event source is taken as it comes: it need not be dispatchable.
        m_commands->SetAddInEvents(late::ToUnknown(events).Get());
    } catch (...) {
        return ReturnCurrentError(IID_IKorvaneAddIn);
    }
    const long label = labels::OnConnection::kProtectedSteps;
    try {
        // The application is its own event source, handed over as its IUnknown. The query's
        // result is not checked: Application was found non-null above, and COM obliges every
        // object to answer IUnknown; what can fail is the subscription, which throws.
        ComPtr<IUnknown> appEvents;
        Application->QueryInterface(IID_PPV_ARGS(&appEvents));
        m_commands->SetApplicationEvents(appEvents.Get());
        late::Put(AddInInstance, korvane::DISPID_ADDIN_DESCRIPTION, Variant::fromString(L"ZazAz IZO for Korvane"));
        late::Put(AddInInstance, korvane::DISPID_ADDIN_NUMBERSETTING, Variant::fromLong(1));
        late::Put(AddInInstance, korvane::DISPID_ADDIN_FLAGSETTING, Variant::fromBool(true));
    } catch (...) {
        // The host still sees a connected add-in; the user is told what failed.
        AddInError e = CurrentError();
        ShowMessage(L"(" + std::to_wstring(label) + L") - " + e.description(), kCriticalBoxFlags);
    }
    return S_OK;
}

HRESULT MyAddin::OnConnectToEnvironment(BSTR, IDispatch*, VARIANT_BOOL) noexcept {
    CheckThread("MyAddin::OnConnectToEnvironment");
    return S_OK;
}

HRESULT MyAddin::OnDisconnection(LONG) noexcept {
    CheckThread("MyAddin::OnDisconnection");
    try {
        if (!m_commands) throw ObjectNotSetError();
        m_commands->SetApplication(nullptr);
        m_commands->SetAddInEvents(nullptr);
        m_commands->SetAddInObject(nullptr);
        // A running handler (a box is up) keeps the hub alive past the release below: it must
        // hear nothing more from the host meanwhile.
        m_commands->SetApplicationEvents(nullptr);
        m_commands.reset();
        return S_OK;
    } catch (...) {
        return ReturnCurrentError(IID_IKorvaneAddIn);
    }
}

void AddToolbarButton(IDispatch* addInObject, const std::wstring& text1, const std::wstring& text2, LONG id, bool flag) {
    // The three arguments go by reference, as the host's member declares them.
    Variant caption = Variant::fromString(text1);
    Variant toolTip = Variant::fromString(text2);
    LONG commandId = id;
    Variant result = late::Get(addInObject, korvane::DISPID_ADDIN_ADDBUTTON,
                                {late::ByRef(&V_BSTR(&caption)), late::ByRef(&V_BSTR(&toolTip)), late::ByRef(&commandId)});
    ComPtr<IDispatch> button = AsHostInterface(late::ToObject(result).Get(), DIID_ToolbarButton);
    if (flag) late::Put(button.Get(), korvane::DISPID_BUTTON_BUTTONFLAG, Variant::fromBool(true));
}

Variant JoinWithLineFeeds(const std::wstring& part1, const std::wstring& part2, const std::wstring& part3,
                          const std::wstring& part4, const std::wstring& part5, const std::wstring& part6) {
    return Variant::fromString(part1 + L'\n' + part2 + L'\n' + part3 + L'\n' + part4 + L'\n' + part5 + L'\n' + part6);
}

HRESULT CreateMyAddin(REFIID riid, void** ppv) noexcept {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    ComPtr<MyAddin> addin(new (std::nothrow) MyAddin());
    if (!addin) return E_OUTOFMEMORY;
    return addin->QueryInterface(riid, ppv);
}

} // namespace rud::addin
