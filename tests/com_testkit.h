#pragma once
// Shared by the COM server's tests: the built DLL and the host type library as Wine paths, the
// server loaded with its four exports, and a dump of registry subtrees for before/after checks.
#include <gtest/gtest.h>
#include <windows.h>
#include <ole2.h>
#include <oleauto.h>
#include <wrl/client.h>
#include "RegistryTable.h"
#include <map>
#include <string>
#include <vector>

namespace rud::comtest {

// "/a/b" as the Windows programs of the test bed see it (drive Z: maps the Unix root).
inline std::wstring WinePath(const char* unixPath) {
    std::wstring out = L"Z:";
    for (const char* p = unixPath; *p; ++p) out += (*p == '/') ? L'\\' : static_cast<wchar_t>(*p);
    return out;
}

inline std::wstring ServerPath() { return WinePath(RUD_SERVER_DLL); }
inline std::wstring HostTypeLibPath() { return WinePath(RUD_HOST_TLB); }

// The DLL loaded with LoadLibrary and its exports, freed on destruction.
struct Server {
    using Fn0 = HRESULT(STDAPICALLTYPE*)();
    using FnGetClassObject = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);

    UniqueModule owner;
    HMODULE module = nullptr;
    Fn0 canUnloadNow = nullptr;
    FnGetClassObject getClassObject = nullptr;
    Fn0 registerServer = nullptr;
    Fn0 unregisterServer = nullptr;

    Server() {
        owner.reset(LoadLibraryW(ServerPath().c_str()));
        module = owner.get();
        if (!module) return;
        canUnloadNow = reinterpret_cast<Fn0>(reinterpret_cast<void*>(GetProcAddress(module, "DllCanUnloadNow")));
        getClassObject = reinterpret_cast<FnGetClassObject>(
            reinterpret_cast<void*>(GetProcAddress(module, "DllGetClassObject")));
        registerServer = reinterpret_cast<Fn0>(reinterpret_cast<void*>(GetProcAddress(module, "DllRegisterServer")));
        unregisterServer =
            reinterpret_cast<Fn0>(reinterpret_cast<void*>(GetProcAddress(module, "DllUnregisterServer")));
    }
    Server(const Server&) = delete;
    Server& operator=(const Server&) = delete;

    bool complete() const { return module && canUnloadNow && getClassObject && registerServer && unregisterServer; }

    // The path the loader gives the DLL: what registration writes as InprocServer32.
    std::wstring loadedPath() const {
        wchar_t buf[MAX_PATH * 2] = {};
        GetModuleFileNameW(module, buf, MAX_PATH * 2);
        return buf;
    }
};

// One apartment per test.
struct Apartment {
    HRESULT hr = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    Apartment() = default;
    Apartment(const Apartment&) = delete;
    Apartment& operator=(const Apartment&) = delete;
    ~Apartment() { if (SUCCEEDED(hr)) CoUninitialize(); }
};

// The host's type library must be registered for a reference into it to resolve.
inline HRESULT RegisterHostTypeLib() {
    Microsoft::WRL::ComPtr<ITypeLib> lib;
    const std::wstring path = HostTypeLibPath();
    HRESULT hr = LoadTypeLibEx(path.c_str(), REGKIND_NONE, &lib);
    if (FAILED(hr)) return hr;
    return RegisterTypeLib(lib.Get(), const_cast<OLECHAR*>(path.c_str()), nullptr);
}

inline std::wstring GuidText(const GUID& g) {
    wchar_t buf[40] = {};
    StringFromGUID2(g, buf, 40);
    return buf;
}

// Every key (path relative to the dumped root, lower case) and every value ("key|name" ->
// "type:data") of a registry subtree; an absent subtree dumps as nothing.
using RegistryDump = std::map<std::wstring, std::wstring>;

inline std::wstring Lower(std::wstring s) {
    CharLowerBuffW(s.data(), static_cast<DWORD>(s.size()));
    return s;
}

inline void DumpKey(HKEY key, const std::wstring& path, RegistryDump& out) {
    out[Lower(path)] = L"<key>";
    for (DWORD i = 0;; ++i) {
        wchar_t name[512];
        BYTE data[4096];
        DWORD nameLen = 512, dataLen = sizeof data, type = 0;
        LSTATUS s = RegEnumValueW(key, i, name, &nameLen, nullptr, &type, data, &dataLen);
        if (s != ERROR_SUCCESS) break;
        std::wstring text;
        if (type == REG_SZ || type == REG_EXPAND_SZ)
            text.assign(reinterpret_cast<const wchar_t*>(data), wcsnlen(reinterpret_cast<const wchar_t*>(data), dataLen / 2));
        else
            for (DWORD b = 0; b < dataLen; ++b) text += std::to_wstring(data[b]) + L",";
        out[Lower(path) + L"|" + Lower(name)] = std::to_wstring(type) + L":" + text;
    }
    for (DWORD i = 0;; ++i) {
        wchar_t name[512];
        DWORD nameLen = 512;
        if (RegEnumKeyExW(key, i, name, &nameLen, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        registry::UniqueRegKey child;
        if (RegOpenKeyExW(key, name, 0, KEY_READ, child.put()) != ERROR_SUCCESS) continue;
        DumpKey(child.get(), path + L"\\" + name, out);
    }
}

inline RegistryDump Dump(HKEY root, const std::vector<std::wstring>& subtrees) {
    RegistryDump out;
    for (const std::wstring& s : subtrees) {
        registry::UniqueRegKey key;
        if (RegOpenKeyExW(root, s.c_str(), 0, KEY_READ, key.put()) != ERROR_SUCCESS) continue;
        DumpKey(key.get(), s, out);
    }
    return out;
}

// A REG_SZ value, or "<absent>".
inline std::wstring ReadString(HKEY root, const std::wstring& key, const wchar_t* name = nullptr) {
    wchar_t buf[1024] = {};
    DWORD size = sizeof buf;
    LSTATUS s = RegGetValueW(root, key.c_str(), name, RRF_RT_REG_SZ, nullptr, buf, &size);
    return s == ERROR_SUCCESS ? std::wstring(buf) : std::wstring(L"<absent>");
}

} // namespace rud::comtest
