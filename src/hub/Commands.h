#pragma once
// Commands: the add-in's event hub and the registry of document panes. It hears the host's
// add-in command events and application document events, and keeps one pane form per open
// document, keyed by the document's full name.
#include "EventSubscription.h"
#include "KeyedCollection.h"
#include "Module.h"
#include <windows.h>
#include <oaidl.h>
#include <wrl/client.h>
#include <memory>

namespace rud::pane {
class frmBar;
}

namespace rud::hub {

class Commands : public std::enable_shared_from_this<Commands> {
public:
    // The creation step: an empty registry, no references, no subscriptions.
    static std::shared_ptr<Commands> Create();
    // The destruction step: unloads every registered form, ends the subscriptions.
    ~Commands();

    Commands(const Commands&) = delete;
    Commands& operator=(const Commands&) = delete;

    // The host's application and add-in object (m_KVapp, m_myAddIn).
    IDispatch* Application() const noexcept { return m_KVapp.Get(); }
    void SetApplication(IDispatch* application) { m_KVapp = application; }
    IDispatch* AddInObject() const noexcept { return m_myAddIn.Get(); }
    void SetAddInObject(IDispatch* addIn) { m_myAddIn = addIn; }
    // The event sources (m_addinEvents, m_AppEvents). Assigning a source ends the old
    // subscription and connects to the new one; assigning null ends it.
    IUnknown* AddInEvents() const noexcept { return m_addinEvents.Source(); }
    void SetAddInEvents(IUnknown* source);
    IUnknown* ApplicationEvents() const noexcept { return m_AppEvents.Source(); }
    void SetApplicationEvents(IUnknown* source);
    // Ends both subscriptions: for a hub that is let go while one of its handlers may still run
    // (a box is modal) and keep it alive.
    void EndSubscriptions() noexcept;

    // Gives the document its pane, once per full name.
    void AddVaneBarForDocument(IDispatch* theDocument);
    // Asks the host to bring a page to the front. Nothing of the add-in calls it (a change of the
    // active document activates no page); it is reachable for a caller that needs it.
    void ActivateVaneBarPage(HWND hWnd, IDispatch* theDocument);

    // The registry, in order of registration.
    const KeyedCollection<std::shared_ptr<pane::frmBar>>& VaneBars() const noexcept { return cVaneBars; }

private:
    Commands() = default;

    // First, so that it goes last: the hub's handlers are the DLL's code.
    module::ModuleLock holdsTheModule_;

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
    HWND AddVaneBarPage(IDispatch* theDocument);
    void RemoveVaneBarPage(HWND hWnd, IDispatch* theDocument);
    // RemoveVaneBarPage for a page no record holds, its failure ignored.
    void DeleteUnregisteredPage(HWND page, IDispatch* theDocument) noexcept;

    // Event dispatch from the sinks.
    HRESULT OnAddInEvent(DISPID id, DISPPARAMS* params, EXCEPINFO* excepInfo);
    HRESULT OnAppEvent(DISPID id, DISPPARAMS* params, EXCEPINFO* excepInfo);
    EventSubscription::Handler SinkHandler(HRESULT (Commands::*member)(DISPID, DISPPARAMS*, EXCEPINFO*));

    Microsoft::WRL::ComPtr<IDispatch> m_KVapp;
    Microsoft::WRL::ComPtr<IDispatch> m_myAddIn;
    KeyedCollection<std::shared_ptr<pane::frmBar>> cVaneBars;
    EventSubscription m_addinEvents;
    EventSubscription m_AppEvents;
};

} // namespace rud::hub
