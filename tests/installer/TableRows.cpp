// Registers an x86 DLL as its own DllRegisterServer does, from a 64-bit program: the server's
// registration table written into the 32-bit registry view, and the DLL's type library
// registered. What an x86 package's rows are compared with in a 64-bit prefix, where the x86 DLL
// cannot run to register itself.   TableRows <DLL path>
#include "RegistryTable.h"
#include <ole2.h>
#include <oleauto.h>
#include <wrl/client.h>
#include <cstdio>
#include <exception>

int wmain(int argc, wchar_t** argv) {
    if (argc != 2) {
        std::fputs("usage: TableRows <DLL path>\n", stderr);
        return 2;
    }
    try {
        rud::registry::UniqueRegKey classes;
        const LSTATUS s = RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"Software\\Classes", 0,
                                        KEY_ALL_ACCESS | KEY_WOW64_32KEY, classes.put());
        if (s != ERROR_SUCCESS) {
            std::fprintf(stderr, "TableRows: cannot open the 32-bit classes key: %ld\n", static_cast<long>(s));
            return 1;
        }
        rud::registry::WriteValues(classes.get(), rud::registry::ServerRegistryValues(argv[1]));
        // HKEY_CLASSES_ROOT as a 32-bit process sees it, for RegisterTypeLib's own writes.
        if (RegOverridePredefKey(HKEY_CLASSES_ROOT, classes.get()) != ERROR_SUCCESS) {
            std::fputs("TableRows: cannot give the classes root the 32-bit view\n", stderr);
            return 1;
        }
        Microsoft::WRL::ComPtr<ITypeLib> lib;
        HRESULT hr = LoadTypeLibEx(argv[1], REGKIND_NONE, &lib);
        if (SUCCEEDED(hr)) hr = RegisterTypeLib(lib.Get(), argv[1], nullptr);
        if (FAILED(hr)) {
            std::fprintf(stderr, "TableRows: the type library: 0x%08lX\n", static_cast<unsigned long>(hr));
            return 1;
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "TableRows: %s\n", e.what());
        return 1;
    } catch (...) {
        std::fputs("TableRows: the table could not be written\n", stderr);
        return 1;
    }
    return 0;
}
