#pragma once
// One subscription to a source's connection point for an event dispinterface. The sink is a
// small COM object of its own that calls back through a handler which holds no reference to its
// owner, so a subscription never keeps its owner alive; ending it unadvises and detaches the sink,
// so that an event arriving late finds no handler and does nothing.
#include <windows.h>
#include <ole2.h>
#include <ocidl.h>
#include <wrl/client.h>
#include <functional>

namespace rud::hub {

class EventSink;

class EventSubscription {
public:
    // Handles one event: its dispatch id and parameters as the source sent them.
    using Handler = std::function<HRESULT(DISPID id, DISPPARAMS* params, EXCEPINFO* excepInfo)>;

    EventSubscription() noexcept;
    EventSubscription(const EventSubscription&) = delete;
    EventSubscription& operator=(const EventSubscription&) = delete;
    ~EventSubscription();

    // Connects a new sink for eventIid to source's connection point (throws on failure, leaving
    // the subscription unconnected).
    void Connect(IUnknown* source, const IID& eventIid, Handler handler);
    // Unadvises and detaches the sink; nothing when not connected.
    void Disconnect() noexcept;

    IUnknown* Source() const noexcept { return source_.Get(); }

private:
    Microsoft::WRL::ComPtr<IUnknown> source_;
    Microsoft::WRL::ComPtr<IConnectionPoint> point_;
    Microsoft::WRL::ComPtr<EventSink> sink_;
    DWORD cookie_ = 0;
};

// The result a sink gives the source for an event that failed: DISP_E_EXCEPTION with the
// error's number and description in excepInfo. Call inside a catch block.
HRESULT ExceptionToExcepInfo(EXCEPINFO* excepInfo) noexcept;

} // namespace rud::hub
