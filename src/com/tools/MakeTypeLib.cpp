// Build-time tool, run under Wine: writes the server's type library with ICreateTypeLib2.
// widl cannot make a coclass refer to an interface known only through another type library, so
// the library is written here, with a true cross-library reference to the host's IKorvaneAddIn.
//
//   MakeTypeLib <output .tlb> <host KorvaneFramework.tlb> win32|win64      (Windows paths)
// The last argument names the DLL's platform, whatever the tool's own: a 64-bit build of the tool
// writes the 32-bit DLL's library where 32-bit programs cannot run.
#include "Identity.h"
#include <windows.h>
#include <ole2.h>
#include <oleauto.h>
#include <wrl/client.h>
#include <cstdio>
#include <cwchar>
#include <stdexcept>
#include <string>

using Microsoft::WRL::ComPtr;

namespace {

// {D3F30AE5-2582-11D2-BAF9-080036230602}
constexpr IID kIID_IKorvaneAddIn = {0xD3F30AE5, 0x2582, 0x11D2, {0xBA, 0xF9, 0x08, 0x00, 0x36, 0x23, 0x06, 0x02}};
// {00020430-0000-0000-C000-000000000046}
constexpr GUID kLIBID_StdOle = {0x00020430, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

constexpr wchar_t kLibraryHelp[] = L"Korvane ZazAz IZO with custom Toolbar and Vanebar";

struct Failure : std::runtime_error {
    HRESULT hr;
    Failure(const char* what, HRESULT h) : std::runtime_error(what), hr(h) {}
};

void Check(HRESULT hr, const char* what) {
    if (FAILED(hr)) throw Failure(what, hr);
}

// The methods of ICreateTypeLib2/ICreateTypeInfo take non-const strings they never change.
LPOLESTR Text(const wchar_t* s) { return const_cast<LPOLESTR>(s); }

ComPtr<ITypeInfo> TypeInfoOf(ITypeLib* lib, const IID& iid, const char* what) {
    ComPtr<ITypeInfo> info;
    Check(lib->GetTypeInfoOfGuid(iid, &info), what);
    return info;
}

void Write(const wchar_t* outPath, const wchar_t* hostPath, SYSKIND platform) {
    ComPtr<ITypeLib> stdole;
    Check(LoadRegTypeLib(kLIBID_StdOle, 2, 0, 0, &stdole), "LoadRegTypeLib(stdole2)");
    ComPtr<ITypeLib> host;
    Check(LoadTypeLibEx(hostPath, REGKIND_NONE, &host), "LoadTypeLibEx(host library)");
    ComPtr<ITypeInfo> dispatch = TypeInfoOf(stdole.Get(), IID_IDispatch, "IDispatch in stdole2");
    ComPtr<ITypeInfo> addInInterface = TypeInfoOf(host.Get(), kIID_IKorvaneAddIn, "IKorvaneAddIn in the host library");

    DeleteFileW(outPath);
    ComPtr<ICreateTypeLib2> lib;
    Check(CreateTypeLib2(platform, outPath, &lib), "CreateTypeLib2");
    Check(lib->SetName(Text(L"RuDerizIRA")), "SetName");
    Check(lib->SetGuid(LIBID_RuDerizIRA), "SetGuid");
    Check(lib->SetVersion(1, 0), "SetVersion");
    Check(lib->SetLcid(0), "SetLcid");
    Check(lib->SetDocString(Text(kLibraryHelp)), "SetDocString");
    Check(lib->SetLibFlags(0), "SetLibFlags");

    // 1. _MyAddin: a dual dispatch interface with no members of its own.
    ComPtr<ICreateTypeInfo> iface;
    Check(lib->CreateTypeInfo(Text(L"_MyAddin"), TKIND_DISPATCH, &iface), "CreateTypeInfo(_MyAddin)");
    Check(iface->SetGuid(IID__MyAddin), "_MyAddin SetGuid");
    Check(iface->SetVersion(1, 0), "_MyAddin SetVersion");
    Check(iface->SetDocString(Text(kClassDescription)), "_MyAddin SetDocString");
    HREFTYPE dispatchRef = 0;
    Check(iface->AddRefTypeInfo(dispatch.Get(), &dispatchRef), "_MyAddin AddRefTypeInfo(IDispatch)");
    Check(iface->AddImplType(0, dispatchRef), "_MyAddin AddImplType(IDispatch)");
    Check(iface->SetTypeFlags(TYPEFLAG_FHIDDEN | TYPEFLAG_FDUAL | TYPEFLAG_FNONEXTENSIBLE |
                              TYPEFLAG_FOLEAUTOMATION | TYPEFLAG_FDISPATCHABLE),
          "_MyAddin SetTypeFlags");
    Check(iface->LayOut(), "_MyAddin LayOut");

    // 2. MyAddin: the creatable class, _MyAddin by default, then the host's IKorvaneAddIn.
    ComPtr<ICreateTypeInfo> coclass;
    Check(lib->CreateTypeInfo(Text(L"MyAddin"), TKIND_COCLASS, &coclass), "CreateTypeInfo(MyAddin)");
    Check(coclass->SetGuid(CLSID_MyAddin), "MyAddin SetGuid");
    Check(coclass->SetVersion(1, 0), "MyAddin SetVersion");
    Check(coclass->SetDocString(Text(kClassDescription)), "MyAddin SetDocString");
    Check(coclass->SetTypeFlags(TYPEFLAG_FCANCREATE), "MyAddin SetTypeFlags");
    ComPtr<ITypeInfo> ifaceInfo;
    Check(iface.As(&ifaceInfo), "_MyAddin as ITypeInfo");
    HREFTYPE defaultRef = 0, addInRef = 0;
    Check(coclass->AddRefTypeInfo(ifaceInfo.Get(), &defaultRef), "MyAddin AddRefTypeInfo(_MyAddin)");
    Check(coclass->AddImplType(0, defaultRef), "MyAddin AddImplType(_MyAddin)");
    Check(coclass->SetImplTypeFlags(0, IMPLTYPEFLAG_FDEFAULT), "MyAddin SetImplTypeFlags(0)");
    Check(coclass->AddRefTypeInfo(addInInterface.Get(), &addInRef), "MyAddin AddRefTypeInfo(IKorvaneAddIn)");
    Check(coclass->AddImplType(1, addInRef), "MyAddin AddImplType(IKorvaneAddIn)");
    Check(coclass->SetImplTypeFlags(1, 0), "MyAddin SetImplTypeFlags(1)");
    // Adding a dispatch interface marks the class dispatchable: creatable is all it is.
    Check(coclass->SetTypeFlags(TYPEFLAG_FCANCREATE), "MyAddin SetTypeFlags");
    Check(coclass->LayOut(), "MyAddin LayOut");

    Check(lib->SaveAllChanges(), "SaveAllChanges");
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    const bool win32 = argc == 4 && std::wcscmp(argv[3], L"win32") == 0;
    const bool win64 = argc == 4 && std::wcscmp(argv[3], L"win64") == 0;
    if (!win32 && !win64) {
        std::fputs("usage: MakeTypeLib <output.tlb> <KorvaneFramework.tlb> win32|win64\n", stderr);
        return 2;
    }
    HRESULT init = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    int rc = 0;
    try {
        Write(argv[1], argv[2], win64 ? SYS_WIN64 : SYS_WIN32);
    } catch (const Failure& f) {
        std::fprintf(stderr, "MakeTypeLib: %s failed: 0x%08lX\n", f.what(), static_cast<unsigned long>(f.hr));
        DeleteFileW(argv[1]);
        rc = 1;
    } catch (...) {
        std::fputs("MakeTypeLib: unexpected failure\n", stderr);
        DeleteFileW(argv[1]);
        rc = 1;
    }
    if (SUCCEEDED(init)) CoUninitialize();
    return rc;
}
