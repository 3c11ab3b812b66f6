#pragma once
// Commands: the add-in's event hub and the registry of document panes. It hears the host's
// add-in command events and application document events, and keeps one pane form per open
// document, keyed by the document's full name.
#include "EventSubscription.h"
#include "KeyedCollection.h"
#include <windows.h>
#include <oaidl.h>
#include <wrl/client.h>
#include <memory>

class frmBar;

class Commands : public std::enable_shared_from_this<Commands> {
public:
    // The creation step: an empty registry, no references, no subscriptions.
    static std::shared_ptr<Commands> Create();
    // The destruction step: unloads every registered form, ends the subscriptions.
    ~Commands();

    Commands(const Commands&) = delete;
    Commands& operator=(const Commands&) = delete;

    // Field accessors. Assigning an event source ends the old subscription and connects to the
    // new one; assigning null ends it.
    IDispatch* Get_m_KVapp() const noexcept { return m_KVapp.Get(); }
    void Set_m_KVapp(IDispatch* value) { m_KVapp = value; }
    IDispatch* Get_m_myAddIn() const noexcept { return m_myAddIn.Get(); }
    void Set_m_myAddIn(IDispatch* value) { m_myAddIn = value; }
    IUnknown* Get_m_addinEvents() const noexcept { return m_addinEvents.Source(); }
    void Set_m_addinEvents(IUnknown* source);
    IUnknown* Get_m_AppEvents() const noexcept { return m_AppEvents.Source(); }
    void Set_m_AppEvents(IUnknown* source);

    // Gives the document its pane, once per full name.
    void AddVaneBarForDocument(IDispatch* theDocument);

    // The registry, in order of registration.
    const rud::KeyedCollection<std::shared_ptr<frmBar>>& VaneBars() const noexcept { return cVaneBars; }

private:
    Commands() = default;

    // Command events: received and ignored.
    void m_addinEvents_OnCommand(LONG nCmdID);
    void m_addinEvents_OnCommandHelp(LONG hFrameWnd, LONG uHelpCommand, LONG nCmdID);
    void m_addinEvents_OnCommandUpdateUI(LONG nCmdID, LONG& lCmdFlags, BSTR& MenuItemText, LONG& nIDBitmap);
    // Document events.
    void m_AppEvents_BeforeDocumentSave(IDispatch* theDocument);
    void m_AppEvents_AfterActiveDocumentChange(IDispatch* theDocument);
    void m_AppEvents_AfterDocumentOpen(IDispatch* theDocument);
    void m_AppEvents_AfterNewDocumentOpen(IDispatch* theDocument);
    void m_AppEvents_BeforeDocumentClose(IDispatch* theDocument);

    // The registry's page routines.
    void RemoveVaneBarForDocument(IDispatch* theDocument);
    LONG AddVaneBarPage(IDispatch* theDocument);
    void RemoveVaneBarPage(LONG hWnd, IDispatch* theDocument);
    void ActivateVaneBarPage(LONG hWnd, IDispatch* theDocument);

    // Event dispatch from the sinks.
    HRESULT OnAddInEvent(DISPID id, DISPPARAMS* params, EXCEPINFO* excepInfo);
    HRESULT OnAppEvent(DISPID id, DISPPARAMS* params, EXCEPINFO* excepInfo);
    rud::EventSubscription::Handler SinkHandler(HRESULT (Commands::*member)(DISPID, DISPPARAMS*, EXCEPINFO*));

    Microsoft::WRL::ComPtr<IDispatch> m_KVapp;
    Microsoft::WRL::ComPtr<IDispatch> m_myAddIn;
    rud::KeyedCollection<std::shared_ptr<frmBar>> cVaneBars;
    rud::EventSubscription m_addinEvents;
    rud::EventSubscription m_AppEvents;
};
