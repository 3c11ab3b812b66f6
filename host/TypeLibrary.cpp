#include "Host.h"
#include "HostError.h"
#include "Raii.h"
#include <wrl/client.h>

namespace kvhost {

namespace {

std::wstring ExeFolder() {
    std::wstring p(MAX_PATH, L'\0');
    p.resize(GetModuleFileNameW(nullptr, p.data(), MAX_PATH));
    const size_t slash = p.find_last_of(L"\\/");
    return slash == std::wstring::npos ? std::wstring() : p.substr(0, slash + 1);
}

bool Exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

} // namespace

void RegisterHostTypeLibrary() {
    static bool done = false;
    if (done) return;
    // Beside the program first (an installed simulator), else where the build made it.
    std::wstring path = ExeFolder() + L"KorvaneFramework.tlb";
#ifdef KVHOST_TLB_PATH
    if (!Exists(path)) {
        path = Utf8ToWide(KVHOST_TLB_PATH);
        for (auto& c : path)
            if (c == L'/') c = L'\\';
    }
#endif
    if (!Exists(path)) throw HostError(HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND), L"host type library not found: " + path);
    Microsoft::WRL::ComPtr<ITypeLib> lib;
    const HRESULT hr = LoadTypeLibEx(path.c_str(), REGKIND_REGISTER, &lib);
    if (FAILED(hr)) throw HostError(hr, L"cannot register the host type library " + path);
    done = true;
}

} // namespace kvhost
