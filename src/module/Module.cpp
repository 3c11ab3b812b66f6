// The server module: the count of live objects and locks, the DLL's path and the cached type library.
#include "Module.h"
#include "Raii.h"
#include <oleauto.h>
#include <wrl/client.h>
#include <mutex>

using Microsoft::WRL::ComPtr;

namespace rud::module {
namespace {

// What DllCanUnloadNow reads: atomic, since COM calls it (and DllGetClassObject) from any thread
// (ARCHITECTURE.md, Threading); the objects themselves count on their own thread.
LONG g_live = 0;

// The embedded type library, loaded on first use by the objects (on their thread). Guarded
// because DllCanUnloadNow releases it, on whatever thread asks COM to free unused libraries.
std::mutex g_typeLibLock;
ComPtr<ITypeLib> g_typeLib;

} // namespace

void AddObject() noexcept { InterlockedIncrement(&g_live); }
void ReleaseObject() noexcept { InterlockedDecrement(&g_live); }
LONG LiveCount() noexcept { return InterlockedCompareExchange(&g_live, 0, 0); }

std::wstring Path() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        DWORD n = GetModuleFileNameW(ThisModule(), path.data(), static_cast<DWORD>(path.size()));
        if (n == 0) return {};
        if (n < path.size()) {
            path.resize(n);
            return path;
        }
        path.resize(path.size() * 2);
    }
}

HRESULT GetTypeInfoOf(const IID& iid, ITypeInfo** info) noexcept {
    if (!info) return E_POINTER;
    *info = nullptr;
    try {
        std::lock_guard<std::mutex> lock(g_typeLibLock);
        if (!g_typeLib) {
            std::wstring path = Path();
            if (path.empty()) return HRESULT_FROM_WIN32(GetLastError());
            HRESULT hr = LoadTypeLibEx(path.c_str(), REGKIND_NONE, &g_typeLib);
            if (FAILED(hr)) return hr;
        }
        return g_typeLib->GetTypeInfoOfGuid(iid, info);
    } catch (...) {
        return E_OUTOFMEMORY;
    }
}

void ReleaseTypeLibrary() noexcept {
    std::lock_guard<std::mutex> lock(g_typeLibLock);
    g_typeLib.Reset();
}

void AbandonTypeLibrary() noexcept { g_typeLib.Detach(); }

} // namespace rud::module
