// DllRegisterServer and DllUnregisterServer: the type library from the DLL's own resource and
// the table of RegistryTable.h, both below HKEY_CLASSES_ROOT.
#include "Identity.h"
#include "Module.h"
#include "RegistryTable.h"
#include "AddInError.h"
#include <oleauto.h>
#include <wrl/client.h>
#include <string>

using Microsoft::WRL::ComPtr;

namespace {

std::wstring ServerPath() {
    std::wstring path = rud::module::Path();
    if (path.empty()) rud::Check(HRESULT_FROM_WIN32(GetLastError()));
    return path;
}

void RegisterTypeLibrary(const std::wstring& path) {
    ComPtr<ITypeLib> lib;
    rud::Check(LoadTypeLibEx(path.c_str(), REGKIND_NONE, &lib));
    // RegisterTypeLib takes a non-const path it does not change.
    rud::Check(RegisterTypeLib(lib.Get(), const_cast<OLECHAR*>(path.c_str()), nullptr));
}

bool TypeLibraryRegistered() {
    rud::registry::UniqueRegKey key;
    const std::wstring name = L"TypeLib\\" + rud::registry::GuidText(LIBID_RuDerizIRA) + L"\\1.0";
    return RegOpenKeyExW(HKEY_CLASSES_ROOT, name.c_str(), 0, KEY_READ, key.put()) == ERROR_SUCCESS;
}

void UnregisterTypeLibrary() {
    if (TypeLibraryRegistered()) rud::Check(UnRegisterTypeLib(LIBID_RuDerizIRA, 1, 0, 0, kTypeLibPlatform));
}

} // namespace

STDAPI DllRegisterServer() {
    try {
        const std::wstring path = ServerPath();
        const auto values = rud::registry::ServerRegistryValues(path);
        const rud::registry::RegistrySnapshot before = rud::registry::TakeSnapshot(HKEY_CLASSES_ROOT, values);
        const bool libraryWasRegistered = TypeLibraryRegistered();
        rud::registry::WriteValues(HKEY_CLASSES_ROOT, values);
        try {
            RegisterTypeLibrary(path);
        } catch (...) {
            // Undo this call, not an earlier registration: the class goes back to what it was,
            // and a type library registered before stays.
            if (!libraryWasRegistered) {
                try { UnregisterTypeLibrary(); } catch (...) {}
            }
            rud::registry::RestoreSnapshot(HKEY_CLASSES_ROOT, values, before);
            throw;
        }
        return S_OK;
    } catch (...) {
        return rud::CurrentError().hresult();
    }
}

STDAPI DllUnregisterServer() {
    // The type library's removal reads the interface rows of the table (whose TypeLib names this
    // library): it goes first, while they are there. When it cannot go (its registered file is
    // gone, its key is incomplete), the class and ProgID must not keep naming this server: the
    // table's rows are removed all the same, and the call still reports the library's failure.
    HRESULT result = S_OK;
    try {
        UnregisterTypeLibrary();
    } catch (...) {
        result = rud::CurrentError().hresult();
    }
    try {
        rud::registry::RemoveValues(HKEY_CLASSES_ROOT, rud::registry::ServerRegistryValues(ServerPath()));
    } catch (...) {
        if (SUCCEEDED(result)) result = rud::CurrentError().hresult();
    }
    return result;
}
