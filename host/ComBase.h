#pragma once
// Building blocks of the host's COM objects: reference counts kept in the ledger, hand-written
// IDispatch over a member table (every call logged and open to fault injection), and the
// argument helpers of Invoke.
#include "HostError.h"
#include "Raii.h"
#include "Recorder.h"
#include <oaidl.h>
#include <ocidl.h>
#include <wrl/client.h>
#include <memory>
#include <span>
#include <string>

namespace kvhost {

using Microsoft::WRL::ComPtr;
class Core;

// Private interface every host object answers: lets the host recognise its own objects among
// the arguments the add-in passes back (a document given to CreatePage, say).
struct IHostObject : public IUnknown {
    virtual LedgerEntry* STDMETHODCALLTYPE Entry() = 0;
};
extern const IID IID_IHostObject;

// The reference count lives in the object's ledger entry, so the ledger is always exact.
class Counted {
public:
    Counted(const Counted&) = delete;
    Counted& operator=(const Counted&) = delete;
    LedgerEntry& Ledger() const noexcept { return *entry_; }
    Core& GetCore() const noexcept { return *core_; }

protected:
    Counted(std::shared_ptr<Core> core, std::wstring kind, std::wstring instance);
    virtual ~Counted() = default;
    ULONG AddRefImpl() noexcept;
    ULONG ReleaseImpl() noexcept;

    std::shared_ptr<Core> core_;
    std::shared_ptr<LedgerEntry> entry_;
};

#define KVHOST_COUNTED_IUNKNOWN                                                          \
    ULONG STDMETHODCALLTYPE AddRef() override { return AddRefImpl(); }                   \
    ULONG STDMETHODCALLTYPE Release() override { return ReleaseImpl(); }                 \
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;

// A reference the host itself keeps: counted in the ledger's hostRefs, so the add-in's own
// references stand out.
template <class T>
class Held {
public:
    Held() = default;
    explicit Held(T* p) { reset(p); }
    Held(const Held&) = delete;
    Held& operator=(const Held&) = delete;
    ~Held() { reset(); }
    void reset(T* p = nullptr) {
        if (p) {
            p->AddRef();
            ++p->Ledger().hostRefs;
        }
        T* old = std::exchange(p_, p);
        if (old) {
            --old->Ledger().hostRefs;
            old->Release();
        }
    }
    T* get() const noexcept { return p_; }
    T* operator->() const noexcept { return p_; }
    explicit operator bool() const noexcept { return p_ != nullptr; }

private:
    T* p_ = nullptr;
};

// Access a member allows.
enum : unsigned { kGet = 1, kPut = 2, kCall = 4 };

struct MemberInfo {
    DISPID id;
    const wchar_t* name;
    unsigned access;
};

// A failure that Invoke returns as its own result (not through EXCEPINFO).
struct InvokeFailure {
    HRESULT hr;
    UINT argErr = 0;
};

// One Invoke as a member handler sees it. Arguments are numbered in declared order.
class Call {
public:
    Call(Access access, DISPPARAMS* params, VARIANT* result) noexcept
        : access_(access), dp_(params), result_(result) {}
    Access access() const noexcept { return access_; }
    UINT Count() const noexcept;
    // The argument, by-reference variants looked through.
    const VARIANT& Arg(UINT i) const;
    // The raw argument as passed (for writing back by-reference arguments).
    VARIANT& RawArg(UINT i) const;
    bool Missing(UINT i) const;
    const VARIANT& PutValue() const;
    std::wstring Str(UINT i) const;
    LONG Long(UINT i) const;
    bool Bool(UINT i) const;
    void Expect(UINT minArgs, UINT maxArgs) const;
    void Return(rud::Variant v) noexcept;
    void ReturnObject(IDispatch* p) noexcept { Return(rud::Variant::fromDispatch(p)); }
    std::vector<std::wstring> ArgTexts() const;

private:
    UINT Index(UINT i) const;
    Access access_;
    DISPPARAMS* dp_;
    VARIANT* result_;
};

class DispObject : public Counted, public IDispatch, public IHostObject, public ISupportErrorInfo {
public:
    KVHOST_COUNTED_IUNKNOWN
    // Vouches for the error info of its dispatch interface only when the host is told so
    // (Host::SetDispatchErrorInfo); otherwise the interface is not offered at all.
    HRESULT STDMETHODCALLTYPE InterfaceSupportsErrorInfo(REFIID riid) override;
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* n) override;
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo** ti) override;
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID,
                                            DISPID* ids) override;
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params,
                                     VARIANT* result, EXCEPINFO* excep, UINT* argErr) override;
    LedgerEntry* STDMETHODCALLTYPE Entry() override { return entry_.get(); }
    IDispatch* Disp() noexcept { return static_cast<IDispatch*>(this); }
    const std::wstring& Kind() const noexcept { return kind_; }

protected:
    DispObject(std::shared_ptr<Core> core, std::wstring kind, std::wstring instance,
               const IID& diid, std::span<const MemberInfo> members);
    // Runs the member; throws HostError or InvokeFailure.
    virtual void Do(DISPID id, Call& call) = 0;
    // Further interfaces of the object (connection points, the VaneBar).
    virtual void* QueryMore(REFIID) noexcept { return nullptr; }
    virtual bool OffersErrorInfo() const noexcept;
    // The instance text of the call log at the time of the call.
    virtual std::wstring Instance() const { return entry_->instance; }

    std::wstring kind_;
    IID diid_;
    std::span<const MemberInfo> members_;
};

// Fills an EXCEPINFO as an automation server does.
void FillExcepInfo(EXCEPINFO* e, HRESULT hr, const std::wstring& description) noexcept;
// Publishes a failure of a vtable member through SetErrorInfo.
HRESULT ReturnErrorInfo(const IID& iid, HRESULT hr, const std::wstring& description) noexcept;
// An injected fault of a vtable member, as its kind says (or as the member usually fails):
// with error info, or bare.
HRESULT ReturnFault(const IID& iid, const Fault& fault, FaultKind usual = FaultKind::Exception) noexcept;
// In a detailed log: logs a call that only the detailed log records and gives the fault injected
// at it, if any. Nothing otherwise.
std::optional<Fault> DetailedCall(Core& core, const std::wstring& object, const std::wstring& instance,
                                  const wchar_t* member, std::wstring arg);
// An object argument as the call log shows it (see FormatArg).
std::wstring ObjectArg(IUnknown* p);
// A readable name for the interfaces the log shows.
std::wstring InterfaceName(REFIID iid);

} // namespace kvhost
