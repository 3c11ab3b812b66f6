#include "EventSubscription.h"
#include "AddInError.h"
#include "ModuleObject.h"
#include <span>

using Microsoft::WRL::ComPtr;

namespace rud::hub {

class EventSink final : public module::ModuleObject<EventSink, IDispatch> {
    template <class, class...> friend class module::ModuleObject;

public:
    EventSink(const IID& eventIid, EventSubscription::Handler handler)
        : iid_(eventIid), handler_(std::move(handler)) {}

    void Detach() noexcept { handler_ = nullptr; }

    // IUnknown: the event interface, known only at run time, is answered as IDispatch.
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) noexcept override {
        return ModuleObject::QueryInterface(IsEqualIID(riid, iid_) ? IID_IDispatch : riid, ppv);
    }

    // IDispatch: events arrive by dispatch id only.
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) noexcept override {
        if (!count) return E_POINTER;
        *count = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo** info) noexcept override {
        if (info) *info = nullptr;
        return DISP_E_BADINDEX;
    }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID* ids) noexcept override {
        if (ids) *ids = DISPID_UNKNOWN;
        return DISP_E_UNKNOWNNAME;
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT* result,
                                     EXCEPINFO* excepInfo, UINT*) noexcept override {
        CheckThread("event sink Invoke");
        if (result) VariantInit(result);
        // A source may let go of the sink while its handler runs (a box is modal): the sink
        // stays until the call returns.
        ComPtr<EventSink> self(this);
        try {
            // The handler may end this subscription while it runs: call a copy.
            EventSubscription::Handler handler = handler_;
            if (!handler) return S_OK;
            DISPPARAMS none{nullptr, nullptr, 0, 0};
            return handler(id, params ? params : &none, excepInfo);
        } catch (...) {
            return ExceptionToExcepInfo(excepInfo);
        }
    }

private:
    ~EventSink() = default;

    static std::span<const module::InterfaceEntry<EventSink>> InterfaceTable() noexcept {
        using module::Answer;
        static constexpr module::InterfaceEntry<EventSink> kInterfaces[] = {
            Answer<EventSink, IDispatch>(IID_IUnknown),
            Answer<EventSink, IDispatch>(IID_IDispatch),
        };
        return kInterfaces;
    }

    IID iid_;
    EventSubscription::Handler handler_;
};

EventSubscription::EventSubscription() noexcept = default;
EventSubscription::~EventSubscription() { Disconnect(); }

void EventSubscription::Connect(IUnknown* source, const IID& eventIid, Handler handler) {
    if (!source) throw ObjectNotSetError();
    ComPtr<IConnectionPointContainer> container;
    HRESULT hr = source->QueryInterface(IID_PPV_ARGS(&container));
    if (FAILED(hr)) ThrowFailedCall(hr);
    ComPtr<IConnectionPoint> point;
    hr = container->FindConnectionPoint(eventIid, &point);
    if (FAILED(hr)) ThrowFailedCall(hr, container.Get(), &IID_IConnectionPointContainer);
    ComPtr<EventSink> sink(new EventSink(eventIid, std::move(handler)));
    DWORD cookie = 0;
    hr = point->Advise(sink.Get(), &cookie);
    if (FAILED(hr)) {
        sink->Detach();
        ThrowFailedCall(hr, point.Get(), &IID_IConnectionPoint);
    }
    source_ = source;
    point_ = std::move(point);
    sink_ = std::move(sink);
    cookie_ = cookie;
}

void EventSubscription::Disconnect() noexcept {
    if (point_) point_->Unadvise(cookie_);
    if (sink_) sink_->Detach();
    point_.Reset();
    sink_.Reset();
    source_.Reset();
    cookie_ = 0;
}

HRESULT ExceptionToExcepInfo(EXCEPINFO* excepInfo) noexcept {
    AddInError e = CurrentError();
    if (!excepInfo) return e.hresult();
    *excepInfo = EXCEPINFO{};
    excepInfo->scode = e.hresult();
    excepInfo->bstrDescription = SysAllocString(e.description().c_str());
    if (!e.source().empty()) excepInfo->bstrSource = SysAllocString(e.source().c_str());
    return DISP_E_EXCEPTION;
}

} // namespace rud::hub
