#pragma once
// How the host delivers events: a connection point holding the sinks of one event interface, and
// the objects that source events through one such point (the application, an add-in's command
// event source).
#include "ComBase.h"
#include <olectl.h>
#include <span>
#include <string>
#include <vector>

namespace kvhost {

// The outcome of delivering one event to one sink.
struct SinkResult {
    HRESULT hr = S_OK;
    std::wstring description;  // from EXCEPINFO when the sink failed with DISP_E_EXCEPTION
};

class ConnectionPoint : public Counted, public IConnectionPoint {
public:
    ConnectionPoint(std::shared_ptr<Core> core, std::wstring sourceName, const IID& eventIid,
                    IConnectionPointContainer* owner);
    KVHOST_COUNTED_IUNKNOWN
    HRESULT STDMETHODCALLTYPE GetConnectionInterface(IID* iid) override;
    HRESULT STDMETHODCALLTYPE GetConnectionPointContainer(IConnectionPointContainer** c) override;
    HRESULT STDMETHODCALLTYPE Advise(IUnknown* sink, DWORD* cookie) override;
    HRESULT STDMETHODCALLTYPE Unadvise(DWORD cookie) override;
    HRESULT STDMETHODCALLTYPE EnumConnections(IEnumConnections** e) override;

    // Delivers an event to every sink connected now (a copy of the list: a sink may
    // unadvise while the event runs). params as Invoke takes them (last argument first).
    std::vector<SinkResult> Fire(DISPID id, DISPPARAMS& params);
    size_t SinkCount() const noexcept { return sinks_.size(); }
    const IID& EventIid() const noexcept { return iid_; }
    // The owner is going away: no container to hand out, no sinks left.
    void Detach() noexcept;
    void DropSinks() noexcept;

private:
    struct Sink {
        DWORD cookie;
        ComPtr<IUnknown> unknown;
        ComPtr<IDispatch> dispatch;
    };
    std::wstring source_;
    IID iid_;
    IConnectionPointContainer* owner_;  // not counted: the owner holds us
    std::vector<Sink> sinks_;
    DWORD nextCookie_ = 1;
};

// An object whose one connection point fires an event interface: the application and the
// add-in's command event source.
class EventSourceObject : public DispObject, public IConnectionPointContainer {
public:
    ~EventSourceObject() override;
    KVHOST_COUNTED_IUNKNOWN
    HRESULT STDMETHODCALLTYPE EnumConnectionPoints(IEnumConnectionPoints** e) override;
    HRESULT STDMETHODCALLTYPE FindConnectionPoint(REFIID riid, IConnectionPoint** cp) override;
    ConnectionPoint& Events() noexcept { return *events_.get(); }

protected:
    EventSourceObject(std::shared_ptr<Core> core, const std::wstring& kind, const IID& diid,
                      std::span<const MemberInfo> members, const IID& eventIid);
    void* QueryMore(REFIID riid) noexcept override;

private:
    Held<ConnectionPoint> events_;
};

} // namespace kvhost
