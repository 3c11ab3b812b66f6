// In a prefix with RuDerizIRA installed: the ProgID names the class, COM creates it from the
// installed DLL, and the registered type library loads from that file.   InstalledProbe <DLL path>
#include "Identity.h"
#include "KorvaneFramework.h"
#include <wrl/client.h>
#include <cstdio>

using Microsoft::WRL::ComPtr;

static int failures = 0;
static void Expect(bool ok, const char* what) {
    std::printf("%s: %s\n", ok ? "ok" : "FAILED", what);
    failures += ok ? 0 : 1;
}

int wmain(int argc, wchar_t** argv) {
    if (argc != 2 || FAILED(CoInitialize(nullptr))) return 2;
    {
        CLSID clsid{};
        ComPtr<IUnknown> object, addIn, dispatch;
        Expect(SUCCEEDED(CLSIDFromProgID(kProgId, &clsid)) && clsid == CLSID_MyAddin &&
                   SUCCEEDED(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, &object)) &&
                   SUCCEEDED(object->QueryInterface(IID_IKorvaneAddIn, &addIn)) &&
                   SUCCEEDED(object->QueryInterface(IID__MyAddin, &dispatch)),
               "the ProgID creates MyAddin, with IKorvaneAddIn and _MyAddin");
        wchar_t loaded[MAX_PATH] = {};
        HMODULE m = GetModuleHandleW(L"RuDerizIRA.dll");
        Expect(m && GetModuleFileNameW(m, loaded, MAX_PATH) && _wcsicmp(loaded, argv[1]) == 0,
               "from the installed DLL");
        ComPtr<ITypeLib> lib;
        ComPtr<ITypeInfo> info;
        BSTR path = nullptr;
        Expect(SUCCEEDED(LoadRegTypeLib(LIBID_RuDerizIRA, 1, 0, 0, &lib)) &&
                   SUCCEEDED(lib->GetTypeInfoOfGuid(CLSID_MyAddin, &info)) &&
                   SUCCEEDED(QueryPathOfRegTypeLib(LIBID_RuDerizIRA, 1, 0, 0, &path)) && _wcsicmp(path, argv[1]) == 0,
               "the registered type library loads from the installed DLL and describes MyAddin");
        SysFreeString(path);
    }
    CoUninitialize();
    return failures == 0 ? 0 : 1;
}
