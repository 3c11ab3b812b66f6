#pragma once
// The objects the host gives each add-in of its own: the add-in object (which also serves the
// VaneBar, IKorvaneVaneBar), its command event source and the toolbar buttons it adds.
#include "EventSource.h"
#include "KorvaneFramework.h"
#include <string>
#include <vector>

namespace kvhost {

// The add-in's command event source (what AddInEvents gives).
class AddInEventsSource : public EventSourceObject {
public:
    explicit AddInEventsSource(std::shared_ptr<Core> core);
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;

protected:
    void Do(DISPID id, Call& call) override;
};

class ToolbarButtonObject : public DispObject {
public:
    ToolbarButtonObject(std::shared_ptr<Core> core, std::wstring caption);
    std::wstring caption;
    std::wstring toolTip;
    LONG commandId = 0;
    bool flag = false;
    bool flagWasSet = false;

protected:
    void Do(DISPID id, Call& call) override;
};

struct AddInSlot;

// The host's object for one add-in; also serves IKorvaneVaneBar.
class AddInObject : public DispObject, public IKorvaneVaneBar {
public:
    // The slot outlives the object: the core keeps it, and the object keeps the core.
    AddInObject(std::shared_ptr<Core> core, AddInSlot& slot, std::wstring instance);
    KVHOST_COUNTED_IUNKNOWN
    HRESULT STDMETHODCALLTYPE CreatePage(IDispatch* theDocument, LONG hInstance, LONG nBitmapID,
                                         BSTR ToolTip, LONG Option, LONG* phWnd) override;
    HRESULT STDMETHODCALLTYPE DeletePage(IDispatch* theDocument, LONG hWnd, LONG Option) override;
    HRESULT STDMETHODCALLTYPE ActivatePage(IDispatch* theDocument, LONG hWnd, LONG Option) override;
    HRESULT STDMETHODCALLTYPE InterfaceSupportsErrorInfo(REFIID riid) override;

protected:
    void Do(DISPID id, Call& call) override;
    void* QueryMore(REFIID riid) noexcept override;
    bool OffersErrorInfo() const noexcept override { return true; }

private:
    // Log, injected fault, then the work; failures through SetErrorInfo.
    template <class F>
    HRESULT VaneBarCall(const wchar_t* member, std::vector<std::wstring> args, F&& work) noexcept;
    // A VaneBarCall on a page the host made for this add-in: work(page) is false when there is
    // no such page.
    template <class F>
    HRESULT ExistingPageCall(const wchar_t* member, IDispatch* theDocument, LONG hWnd, LONG Option, F&& work) noexcept;

    AddInSlot& slot_;
};

} // namespace kvhost
