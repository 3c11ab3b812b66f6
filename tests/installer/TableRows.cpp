// Writes the server's registration table for a DLL path into the 32-bit registry view, where a
// 32-bit registration of that DLL puts it: the rows an x86 package's rows are compared with in a
// 64-bit prefix, where the x86 DLL cannot run to register itself.   TableRows <DLL path>
#include "RegistryTable.h"
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
    } catch (const std::exception& e) {
        std::fprintf(stderr, "TableRows: %s\n", e.what());
        return 1;
    } catch (...) {
        std::fputs("TableRows: the table could not be written\n", stderr);
        return 1;
    }
    return 0;
}
