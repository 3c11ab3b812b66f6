// A tiny add-in for the host's own tests: it connects to both event sources through connection
// points and writes every event it receives, with the dispatch id and the argument types, into
// a journal that the test reads through the TestAddInJournal export.
#include "KorvaneFramework.h"
#include <olectl.h>
#include <wrl/client.h>
#include <atomic>
#include <mutex>
#include <string>
#include <vector>

using Microsoft::WRL::ComPtr;

namespace {

// {3E8C1B52-7A0D-4C39-9F4E-6B2A51D0C7E1}
const CLSID CLSID_TestAddIn = {0x3e8c1b52, 0x7a0d, 0x4c39, {0x9f, 0x4e, 0x6b, 0x2a, 0x51, 0xd0, 0xc7, 0xe1}};
constexpr wchar_t kProgId[] = L"KorvaneTest.EventRecorder";

HMODULE g_module = nullptr;
std::atomic<long> g_objects{0};
std::atomic<long> g_locks{0};
std::wstring g_journal;
int g_mode = 0;  // 1: sinks refuse the event IID; 2: OnConnection fails; 3: a document is kept

void Note(const std::wstring& line) {
    try {
        g_journal += line + L"\n";
        // The same line on the debug-output channel, where korvane-sim prints it.
        std::string ansi;
        for (wchar_t c : line) ansi += c < 128 ? static_cast<char>(c) : '?';
        OutputDebugStringA(("TestAddIn: " + ansi + "\n").c_str());
    } catch (...) {
    }
}

std::wstring TypeName(VARTYPE t) {
    std::wstring s = (t & VT_BYREF) ? L"VT_BYREF|" : L"";
    switch (t & ~VT_BYREF) {
    case VT_I4: return s + L"VT_I4";
    case VT_BSTR: return s + L"VT_BSTR";
    case VT_DISPATCH: return s + L"VT_DISPATCH";
    case VT_UNKNOWN: return s + L"VT_UNKNOWN";
    case VT_BOOL: return s + L"VT_BOOL";
    case VT_VARIANT: return s + L"VT_VARIANT";
    case VT_I2: return s + L"VT_I2";
    default: return s + L"VT_" + std::to_wstring(t & ~VT_BYREF);
    }
}

std::wstring FullNameOf(IDispatch* doc) {
    if (!doc) return L"(Nothing)";
    LPOLESTR name = const_cast<LPOLESTR>(L"FullName");
    DISPID id;
    if (FAILED(doc->GetIDsOfNames(IID_NULL, &name, 1, LOCALE_USER_DEFAULT, &id))) return L"(no FullName)";
    DISPPARAMS none{nullptr, nullptr, 0, 0};
    VARIANT r;
    VariantInit(&r);
    if (FAILED(doc->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYGET, &none, &r, nullptr, nullptr)))
        return L"(FullName failed)";
    std::wstring s = V_VT(&r) == VT_BSTR && V_BSTR(&r) ? V_BSTR(&r) : L"";
    VariantClear(&r);
    return s;
}

class AddIn;

// One sink per event interface; its back pointer is cleared when the subscription ends.
class Sink final : public IDispatch {
public:
    Sink(const wchar_t* name, const IID& iid) : name_(name), iid_(iid) { ++g_objects; }
    ~Sink() { --g_objects; }
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        if (!ppv) return E_POINTER;
        *ppv = nullptr;
        if (riid == iid_) {
            Note(std::wstring(name_) + L" QI event");
            if (g_mode == 1) return E_NOINTERFACE;
        } else if (riid == IID_IDispatch) {
            Note(std::wstring(name_) + L" QI IDispatch");
        } else if (riid != IID_IUnknown) {
            return E_NOINTERFACE;
        }
        *ppv = static_cast<IDispatch*>(this);
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG n = --refs_;
        if (!n) delete this;
        return n;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* n) override { *n = 0; return S_OK; }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* dp, VARIANT*,
                                     EXCEPINFO*, UINT*) override {
        try {
            std::wstring line = std::wstring(name_) + L" " + std::to_wstring(id) + L"(";
            const UINT n = dp ? dp->cArgs : 0;
            for (UINT i = 0; i < n; ++i) {
                // rgvarg holds the last argument first: write them in declared order.
                line += (i ? L"," : L"") + TypeName(V_VT(&dp->rgvarg[n - 1 - i]));
            }
            line += L")";
            if (!(flags & DISPATCH_METHOD)) line += L" not-a-method";
            if (n >= 1 && V_VT(&dp->rgvarg[n - 1]) == VT_DISPATCH) {
                IDispatch* doc = V_DISPATCH(&dp->rgvarg[n - 1]);
                line += L" " + FullNameOf(doc);
                if (g_mode == 3 && !kept_ && doc) {
                    kept_ = doc;  // a leak on purpose, for the ledger tests
                    doc->AddRef();
                }
            }
            if (n == 4 && V_VT(&dp->rgvarg[2]) == (VT_BYREF | VT_I4)) {
                line += L" flags=" + std::to_wstring(*V_I4REF(&dp->rgvarg[2]));
                line += L" text=" + std::wstring(*V_BSTRREF(&dp->rgvarg[1]) ? *V_BSTRREF(&dp->rgvarg[1]) : L"");
                line += L" bitmap=" + std::to_wstring(*V_I4REF(&dp->rgvarg[0]));
                // The by-reference arguments go back to the host changed.
                *V_I4REF(&dp->rgvarg[2]) = 7;
                SysFreeString(*V_BSTRREF(&dp->rgvarg[1]));
                *V_BSTRREF(&dp->rgvarg[1]) = SysAllocString(L"Recorded");
                *V_I4REF(&dp->rgvarg[0]) = 42;
            }
            Note(line);
        } catch (...) {
        }
        return S_OK;
    }

private:
    const wchar_t* name_;
    IID iid_;
    std::atomic<ULONG> refs_{1};
    IDispatch* kept_ = nullptr;  // never released: mode 3 only
};

class AddIn final : public IKorvaneAddIn {
public:
    AddIn() { ++g_objects; }
    ~AddIn() {
        appSub_.Stop();
        cmdSub_.Stop();
        --g_objects;
    }
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        if (!ppv) return E_POINTER;
        *ppv = nullptr;
        if (riid != IID_IUnknown && riid != IID_IKorvaneAddIn) return E_NOINTERFACE;
        *ppv = static_cast<IKorvaneAddIn*>(this);
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG n = --refs_;
        if (!n) delete this;
        return n;
    }
    HRESULT STDMETHODCALLTYPE OnConnection(IDispatch* app, LONG mode, IDispatch* addIn) override {
        wchar_t env[8] = {};
        if (g_mode == 0 && GetEnvironmentVariableW(L"KORVANE_TEST_ADDIN_MODE", env, 8)) g_mode = _wtoi(env);
        Note(L"OnConnection " + std::to_wstring(mode));
        if (g_mode == 2) return E_FAIL;
        if (!app || !addIn) return E_POINTER;
        app_ = app;
        addIn_ = addIn;
        // The add-in events come from the add-in object's AddInEvents property.
        DISPPARAMS none{nullptr, nullptr, 0, 0};
        VARIANT r;
        VariantInit(&r);
        HRESULT hr = addIn->Invoke(korvane::DISPID_ADDIN_ADDINEVENTS, IID_NULL, LOCALE_USER_DEFAULT,
                                   DISPATCH_PROPERTYGET, &none, &r, nullptr, nullptr);
        if (FAILED(hr)) return hr;
        if (V_VT(&r) != VT_DISPATCH || !V_DISPATCH(&r)) { VariantClear(&r); return E_UNEXPECTED; }
        ComPtr<IDispatch> events(V_DISPATCH(&r));
        VariantClear(&r);
        hr = Subscribe(cmdSub_, events.Get(), L"addin", DIID_IKorvaneAddInEvents);
        if (FAILED(hr)) return hr;
        return Subscribe(appSub_, app, L"app", DIID_IKorvaneApplicationEvents);
    }
    HRESULT STDMETHODCALLTYPE OnConnectToEnvironment(BSTR cat, IDispatch* env, VARIANT_BOOL first) override {
        Note(L"OnConnectToEnvironment " + std::wstring(cat ? cat : L"") + L" " +
             (env ? L"object" : L"Nothing") + L" " + std::to_wstring(first));
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE OnDisconnection(LONG mode) override {
        Note(L"OnDisconnection " + std::to_wstring(mode));
        cmdSub_.Stop();
        appSub_.Stop();
        app_.Reset();
        addIn_.Reset();
        return S_OK;
    }

private:
    struct Sub {
        ComPtr<IConnectionPoint> point;
        DWORD cookie = 0;
        void Stop() {
            if (point && cookie) point->Unadvise(cookie);
            point.Reset();
            cookie = 0;
        }
    };
    HRESULT Subscribe(Sub& sub, IUnknown* source, const wchar_t* name, const IID& iid) {
        ComPtr<IConnectionPointContainer> cpc;
        HRESULT hr = source->QueryInterface(IID_PPV_ARGS(&cpc));
        if (FAILED(hr)) return hr;
        hr = cpc->FindConnectionPoint(iid, &sub.point);
        if (FAILED(hr)) return hr;
        Sink* sink = new Sink(name, iid);
        hr = sub.point->Advise(static_cast<IDispatch*>(sink), &sub.cookie);
        sink->Release();  // the connection point holds it now
        Note(std::wstring(name) + L" Advise " + (SUCCEEDED(hr) ? L"ok" : L"failed"));
        return hr;
    }
    std::atomic<ULONG> refs_{1};
    ComPtr<IDispatch> app_, addIn_;
    Sub cmdSub_, appSub_;
};

class Factory : public IClassFactory {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        if (!ppv) return E_POINTER;
        *ppv = nullptr;
        if (riid != IID_IUnknown && riid != IID_IClassFactory) return E_NOINTERFACE;
        *ppv = static_cast<IClassFactory*>(this);
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { ++g_locks; return 2; }
    ULONG STDMETHODCALLTYPE Release() override { --g_locks; return 1; }
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID riid, void** ppv) override {
        if (!ppv) return E_POINTER;
        *ppv = nullptr;
        if (outer) return CLASS_E_NOAGGREGATION;
        AddIn* a = new (std::nothrow) AddIn();
        if (!a) return E_OUTOFMEMORY;
        const HRESULT hr = a->QueryInterface(riid, ppv);
        a->Release();
        return hr;
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override {
        lock ? ++g_locks : --g_locks;
        return S_OK;
    }
};

Factory g_factory;

std::wstring ClsidText() {
    wchar_t buf[40];
    StringFromGUID2(CLSID_TestAddIn, buf, 40);
    return buf;
}

LONG SetValue(const std::wstring& key, const wchar_t* name, const std::wstring& value) {
    HKEY k;
    LONG r = RegCreateKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &k, nullptr);
    if (r != ERROR_SUCCESS) return r;
    r = RegSetValueExW(k, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                       static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(k);
    return r;
}

} // namespace

extern "C" {

BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        g_module = module;
        DisableThreadLibraryCalls(module);
    }
    return TRUE;
}

HRESULT STDAPICALLTYPE DllCanUnloadNow() { return g_objects == 0 && g_locks == 0 ? S_OK : S_FALSE; }

HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID clsid, REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (clsid != CLSID_TestAddIn) return CLASS_E_CLASSNOTAVAILABLE;
    return g_factory.QueryInterface(riid, ppv);
}

HRESULT STDAPICALLTYPE DllRegisterServer() {
    wchar_t path[MAX_PATH];
    GetModuleFileNameW(g_module, path, MAX_PATH);
    const std::wstring clsidKey = L"CLSID\\" + ClsidText();
    LONG r = SetValue(clsidKey, nullptr, L"Korvane test add-in");
    if (r == ERROR_SUCCESS) r = SetValue(clsidKey + L"\\InprocServer32", nullptr, path);
    if (r == ERROR_SUCCESS) r = SetValue(clsidKey + L"\\InprocServer32", L"ThreadingModel", L"Apartment");
    if (r == ERROR_SUCCESS) r = SetValue(clsidKey + L"\\ProgID", nullptr, kProgId);
    if (r == ERROR_SUCCESS) r = SetValue(std::wstring(kProgId) + L"\\CLSID", nullptr, ClsidText());
    return r == ERROR_SUCCESS ? S_OK : SELFREG_E_CLASS;
}

HRESULT STDAPICALLTYPE DllUnregisterServer() {
    RegDeleteTreeW(HKEY_CLASSES_ROOT, (L"CLSID\\" + ClsidText()).c_str());
    RegDeleteTreeW(HKEY_CLASSES_ROOT, kProgId);
    return S_OK;
}

// The journal so far, one line per entry (a BSTR the caller frees).
HRESULT STDAPICALLTYPE TestAddInJournal(BSTR* out) {
    if (!out) return E_POINTER;
    *out = SysAllocStringLen(g_journal.data(), static_cast<UINT>(g_journal.size()));
    return *out || g_journal.empty() ? S_OK : E_OUTOFMEMORY;
}

// Clears the journal and chooses the behaviour of the next connection.
HRESULT STDAPICALLTYPE TestAddInReset(int mode) {
    g_journal.clear();
    g_mode = mode;
    return S_OK;
}

} // extern "C"
