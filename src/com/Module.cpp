// The server module: DllMain, the count of live objects and locks, and the cached type library.
#include "Module.h"
#include <oleauto.h>
#include <wrl/client.h>
#include <mutex>
#include <string>

using Microsoft::WRL::ComPtr;

namespace rud::module {
namespace {

HINSTANCE g_instance = nullptr;
LONG g_live = 0;

// The embedded type library, loaded on first use. Guarded because apartment-threaded objects
// may live in several single-threaded apartments of one process.
std::mutex g_typeLibLock;
ComPtr<ITypeLib> g_typeLib;

std::wstring ModulePath() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        DWORD n = GetModuleFileNameW(g_instance, path.data(), static_cast<DWORD>(path.size()));
        if (n == 0) return {};
        if (n < path.size()) { path.resize(n); return path; }
        path.resize(path.size() * 2);
    }
}

} // namespace

HINSTANCE Instance() noexcept { return g_instance; }
void AddObject() noexcept { InterlockedIncrement(&g_live); }
void ReleaseObject() noexcept { InterlockedDecrement(&g_live); }
LONG LiveCount() noexcept { return InterlockedCompareExchange(&g_live, 0, 0); }

HRESULT GetTypeInfoOf(const IID& iid, ITypeInfo** info) noexcept {
    if (!info) return E_POINTER;
    *info = nullptr;
    try {
        std::lock_guard<std::mutex> lock(g_typeLibLock);
        if (!g_typeLib) {
            std::wstring path = ModulePath();
            if (path.empty()) return HRESULT_FROM_WIN32(GetLastError());
            HRESULT hr = LoadTypeLibEx(path.c_str(), REGKIND_NONE, &g_typeLib);
            if (FAILED(hr)) return hr;
        }
        return g_typeLib->GetTypeInfoOfGuid(iid, info);
    } catch (...) {
        return E_OUTOFMEMORY;
    }
}

namespace {
// Drops the cached type library, so that an unloadable server holds nothing of oleaut32's.
void ReleaseTypeLibrary() noexcept {
    std::lock_guard<std::mutex> lock(g_typeLibLock);
    g_typeLib.Reset();
}
} // namespace

} // namespace rud::module

// S_OK when no object of the server is alive and no class-factory lock is held.
STDAPI DllCanUnloadNow() {
    if (rud::module::LiveCount() != 0) return S_FALSE;
    rud::module::ReleaseTypeLibrary();
    return S_OK;
}

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
    switch (reason) {
    case DLL_PROCESS_ATTACH:
        rud::module::g_instance = instance;
        break;
    case DLL_PROCESS_DETACH:
        // At process exit oleaut32 may already be gone: the cached library is abandoned with the
        // process instead of being released into a torn-down run time.
        if (reserved) rud::module::g_typeLib.Detach();
        else rud::module::ReleaseTypeLibrary();
        break;
    default:
        break;
    }
    return TRUE;
}
