#pragma once
// The host's object model: application, add-in object (with the VaneBar), toolbar button,
// event sources with their connection points, documents, property sets and properties.
#include "ComBase.h"
#include "CompoundDocument.h"
#include "DocumentModel.h"
#include "KorvaneFramework.h"
#include <olectl.h>
#include <algorithm>
#include <deque>
#include <functional>
#include <vector>

namespace kvhost {

// ---- connection points

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

// Shared by the two event sources: one connection point behind IConnectionPointContainer.
HRESULT FindPoint(Core& core, const std::wstring& kind, ConnectionPoint* point, REFIID riid,
                  IConnectionPoint** out);
HRESULT EnumPoints(Core& core, ConnectionPoint* point, IEnumConnectionPoints** out);

// ---- event sources

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

class Application : public EventSourceObject {
public:
    explicit Application(std::shared_ptr<Core> core);

protected:
    void Do(DISPID id, Call& call) override;
};

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

// A plain object handed to OnConnectToEnvironment.
class EnvironmentObject : public DispObject {
public:
    explicit EnvironmentObject(std::shared_ptr<Core> core);

protected:
    void Do(DISPID id, Call& call) override;
};

// ---- documents

// The state of one document, shared by its COM objects (they may outlive its closing).
struct DocState {
    int id = 0;
    std::wstring fullName;
    std::deque<std::wstring> nextNames;  // names that the coming FullName reads give, in turn
    std::wstring path;                   // file it came from and is saved to; empty for a new one
    DocumentContent live;                // values as the host holds them now
    DocumentContent saved;               // values as last written to the file
    std::shared_ptr<CompoundDocument> compound;  // a compound file's property sets; null for JSON
    bool open = true;

    // Writes the set (index) to the file: the saved image takes the live values of that set.
    void SaveSet(size_t set);
    // Writes every set.
    void SaveAll();
};

class DocumentObject : public DispObject {
public:
    DocumentObject(std::shared_ptr<Core> core, std::shared_ptr<DocState> state);
    const std::shared_ptr<DocState>& State() const noexcept { return state_; }

protected:
    void Do(DISPID id, Call& call) override;
    std::wstring Instance() const override { return state_->fullName; }

private:
    std::shared_ptr<DocState> state_;
};

class PropertySetsObject : public DispObject {
public:
    PropertySetsObject(std::shared_ptr<Core> core, std::shared_ptr<DocState> state);

protected:
    void Do(DISPID id, Call& call) override;
    std::wstring Instance() const override { return state_->fullName; }

private:
    std::shared_ptr<DocState> state_;
};

class PropertySetObject : public DispObject {
public:
    PropertySetObject(std::shared_ptr<Core> core, std::shared_ptr<DocState> state, size_t set);

protected:
    void Do(DISPID id, Call& call) override;

private:
    std::shared_ptr<DocState> state_;
    size_t set_;
};

class PropertyObject : public DispObject {
public:
    PropertyObject(std::shared_ptr<Core> core, std::shared_ptr<DocState> state, size_t set,
                   size_t prop);

protected:
    void Do(DISPID id, Call& call) override;

private:
    std::shared_ptr<DocState> state_;
    size_t set_;
    size_t prop_;
};

// The element an enumerator hands out carries its own reference; these give it back when a
// Next fails half-way.
inline void ReleaseElement(VARIANT& v) noexcept { VariantClear(&v); }
inline void ReleaseElement(CONNECTDATA& c) noexcept { if (c.pUnk) c.pUnk->Release(); c.pUnk = nullptr; }
inline void ReleaseElement(IConnectionPoint*& p) noexcept { if (p) p->Release(); p = nullptr; }

// An enumerator over count elements, each made (with its own reference) as it is fetched: the
// standard IEnumVARIANT of the collections, and the enumerators of connections and points.
template <class IEnum, class Element>
class Enumerator : public Counted, public IEnum {
public:
    using Maker = std::function<void(size_t index, Element& out)>;
    Enumerator(std::shared_ptr<Core> core, std::wstring kind, std::wstring instance, size_t count, Maker make,
               size_t pos = 0)
        : Counted(std::move(core), std::move(kind), std::move(instance)), count_(count), make_(std::move(make)),
          pos_(pos) {}

    ULONG STDMETHODCALLTYPE AddRef() override { return AddRefImpl(); }
    ULONG STDMETHODCALLTYPE Release() override { return ReleaseImpl(); }
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        if (!ppv) return E_POINTER;
        *ppv = (riid == IID_IUnknown || riid == __uuidof(IEnum)) ? static_cast<IEnum*>(this) : nullptr;
        if (!*ppv) return E_NOINTERFACE;
        AddRefImpl();
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Next(ULONG n, Element* out, ULONG* fetched) override {
        if (!out) return E_POINTER;
        try {
            if (auto f = DetailedCall(*core_, entry_->object, entry_->instance, L"Next", std::to_wstring(n))) {
                if (fetched) *fetched = 0;
                return ReturnFault(__uuidof(IEnum), *f);
            }
        } catch (...) {
            return E_OUTOFMEMORY;
        }
        ULONG got = 0;
        try {
            for (; got < n && pos_ < count_; ++got, ++pos_) make_(pos_, out[got]);
        } catch (...) {
            for (ULONG i = 0; i < got; ++i) ReleaseElement(out[i]);
            if (fetched) *fetched = 0;
            return E_OUTOFMEMORY;
        }
        if (fetched) *fetched = got;
        return got == n ? S_OK : S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE Skip(ULONG n) override {
        const size_t skipped = std::min(count_ - pos_, static_cast<size_t>(n));
        pos_ += skipped;
        return skipped == n ? S_OK : S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE Reset() override {
        pos_ = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Clone(IEnum** e) override {
        if (!e) return E_POINTER;
        try {
            *e = new Enumerator(core_, entry_->object, entry_->instance, count_, make_, pos_);
            (*e)->AddRef();
            return S_OK;
        } catch (...) {
            *e = nullptr;
            return E_OUTOFMEMORY;
        }
    }

private:
    size_t count_;
    Maker make_;
    size_t pos_;
};

using EnumVariantObject = Enumerator<IEnumVARIANT, VARIANT>;
using EnumConnectionsObject = Enumerator<IEnumConnections, CONNECTDATA>;
using EnumPointsObject = Enumerator<IEnumConnectionPoints, IConnectionPoint*>;

} // namespace kvhost
