// Run in a prefix where RuDerizIRA is installed: the ProgID gives the class, COM creates the
// object from the installed DLL, and the registered type library loads from it.
//   InstalledProbe <expected DLL path>
#include "Identity.h"
#include "KorvaneFramework.h"
#include <windows.h>
#include <oleauto.h>
#include <wrl/client.h>
#include <cstdio>
#include <string>

using Microsoft::WRL::ComPtr;

namespace {
int failures = 0;

void Expect(bool ok, const char* what) {
    std::printf("%s: %s\n", ok ? "ok" : "FAILED", what);
    failures += ok ? 0 : 1;
}
} // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 2) return 2;
    const std::wstring expected = argv[1];
    CoInitialize(nullptr);
    {
        CLSID clsid{};
        Expect(SUCCEEDED(CLSIDFromProgID(kProgId, &clsid)) && clsid == CLSID_MyAddin, "the ProgID names MyAddin's class");
        ComPtr<IUnknown> object;
        Expect(SUCCEEDED(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, &object)),
               "COM creates the object");
        ComPtr<IUnknown> addIn, dispatch;
        Expect(object && SUCCEEDED(object->QueryInterface(IID_IKorvaneAddIn, &addIn)) &&
                   SUCCEEDED(object->QueryInterface(IID__MyAddin, &dispatch)),
               "it answers IKorvaneAddIn and _MyAddin");
        wchar_t loaded[MAX_PATH] = {};
        HMODULE m = GetModuleHandleW(L"RuDerizIRA.dll");
        Expect(m && GetModuleFileNameW(m, loaded, MAX_PATH) && _wcsicmp(loaded, expected.c_str()) == 0,
               "the object comes from the installed DLL");

        ComPtr<ITypeLib> lib;
        Expect(SUCCEEDED(LoadRegTypeLib(LIBID_RuDerizIRA, 1, 0, 0, &lib)), "the registered type library loads");
        ComPtr<ITypeInfo> info;
        Expect(lib && SUCCEEDED(lib->GetTypeInfoOfGuid(CLSID_MyAddin, &info)), "it describes MyAddin");
        BSTR path = nullptr;
        Expect(SUCCEEDED(QueryPathOfRegTypeLib(LIBID_RuDerizIRA, 1, 0, 0, &path)) && path &&
                   _wcsicmp(path, expected.c_str()) == 0,
               "its registered path is the installed DLL");
        SysFreeString(path);
    }
    CoUninitialize();
    return failures == 0 ? 0 : 1;
}
