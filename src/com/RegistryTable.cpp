#include "RegistryTable.h"
#include "Identity.h"
#include "AddInError.h"
#include "Raii.h"
#include <algorithm>
#include <cwchar>

namespace rud::registry {
namespace {

// The automation marshaller: interfaces described by a type library are marshalled by oleaut32.
// {00020424-0000-0000-C000-000000000046}
constexpr GUID kPSOAInterface = {0x00020424, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

[[noreturn]] void ThrowRegistryError(LSTATUS status, const wchar_t* what, const std::wstring& key) {
    HRESULT hr = HRESULT_FROM_WIN32(static_cast<DWORD>(status));
    throw AddInError(static_cast<long>(hr), std::wstring(what) + L" " + key + L": " + SystemMessage(hr),
                     L"RuDerizIRA");
}

size_t Depth(const std::wstring& key) { return static_cast<size_t>(std::count(key.begin(), key.end(), L'\\')); }

void RemoveValue(HKEY root, const RegistryValue& v) {
    UniqueRegKey key;
    LSTATUS s = RegOpenKeyExW(root, v.key.c_str(), 0, KEY_SET_VALUE, key.put());
    if (s == ERROR_FILE_NOT_FOUND) return;
    if (s != ERROR_SUCCESS) ThrowRegistryError(s, L"Cannot open", v.key);
    s = RegDeleteValueW(key.get(), v.name.empty() ? nullptr : v.name.c_str());
    if (s != ERROR_SUCCESS && s != ERROR_FILE_NOT_FOUND) ThrowRegistryError(s, L"Cannot delete a value of", v.key);
}

void RemoveKeyIfEmpty(HKEY root, const std::wstring& name) {
    UniqueRegKey key;
    LSTATUS s = RegOpenKeyExW(root, name.c_str(), 0, KEY_QUERY_VALUE, key.put());
    if (s == ERROR_FILE_NOT_FOUND) return;
    if (s != ERROR_SUCCESS) ThrowRegistryError(s, L"Cannot open", name);
    DWORD subkeys = 0, values = 0;
    s = RegQueryInfoKeyW(key.get(), nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &values, nullptr,
                         nullptr, nullptr, nullptr);
    if (s != ERROR_SUCCESS) ThrowRegistryError(s, L"Cannot query", name);
    key.reset();
    // Whatever someone else put there stays, and so does the key that holds it.
    if (subkeys != 0 || values != 0) return;
    s = RegDeleteKeyW(root, name.c_str());
    if (s != ERROR_SUCCESS && s != ERROR_FILE_NOT_FOUND) ThrowRegistryError(s, L"Cannot delete", name);
}

// Deepest first, so that a parent is empty once its children are gone.
void RemoveEmptyKeys(HKEY root, std::vector<std::wstring> keys) {
    std::stable_sort(keys.begin(), keys.end(),
                     [](const std::wstring& a, const std::wstring& b) { return Depth(a) > Depth(b); });
    for (const std::wstring& k : keys) RemoveKeyIfEmpty(root, k);
}

} // namespace

std::wstring GuidText(const GUID& g) {
    wchar_t text[39];
    std::swprintf(text, 39, L"{%08lX-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                  static_cast<unsigned long>(g.Data1), g.Data2, g.Data3, g.Data4[0], g.Data4[1], g.Data4[2],
                  g.Data4[3], g.Data4[4], g.Data4[5], g.Data4[6], g.Data4[7]);
    return text;
}

std::vector<RegistryValue> ServerRegistryValues(std::wstring_view dllPath) {
    const std::wstring clsid = GuidText(CLSID_MyAddin);
    const std::wstring libid = GuidText(LIBID_RuDerizIRA);
    const std::wstring classKey = L"CLSID\\" + clsid;
    const std::wstring progId = kProgId;
    const std::wstring interfaceKey = L"Interface\\" + GuidText(IID__MyAddin);
    return {
        {classKey, L"", kClassDescription},
        {classKey + L"\\InprocServer32", L"", std::wstring(dllPath)},
        {classKey + L"\\InprocServer32", L"ThreadingModel", L"Apartment"},
        {classKey + L"\\ProgID", L"", progId},
        {classKey + L"\\TypeLib", L"", libid},
        {classKey + L"\\Version", L"", L"1.0"},
        {progId, L"", kClassDescription},
        {progId + L"\\CLSID", L"", clsid},
        {interfaceKey, L"", L"_MyAddin"},
        {interfaceKey + L"\\ProxyStubClsid32", L"", GuidText(kPSOAInterface)},
        {interfaceKey + L"\\TypeLib", L"", libid},
        {interfaceKey + L"\\TypeLib", L"Version", L"1.0"},
    };
}

RegistrySnapshot TakeSnapshot(HKEY root, const std::vector<RegistryValue>& values) {
    RegistrySnapshot snapshot;
    for (const RegistryValue& v : values) {
        RegistrySnapshot::Prior prior;
        UniqueRegKey key;
        if (RegOpenKeyExW(root, v.key.c_str(), 0, KEY_QUERY_VALUE, key.put()) != ERROR_SUCCESS) {
            if (std::find(snapshot.newKeys.begin(), snapshot.newKeys.end(), v.key) == snapshot.newKeys.end())
                snapshot.newKeys.push_back(v.key);
        } else {
            const wchar_t* name = v.name.empty() ? nullptr : v.name.c_str();
            DWORD size = 0;
            if (RegQueryValueExW(key.get(), name, nullptr, &prior.type, nullptr, &size) == ERROR_SUCCESS) {
                prior.data.resize(size);
                prior.present = RegQueryValueExW(key.get(), name, nullptr, &prior.type, prior.data.data(), &size) ==
                                ERROR_SUCCESS;
                prior.data.resize(size);
            }
        }
        snapshot.values.push_back(std::move(prior));
    }
    return snapshot;
}

void RestoreSnapshot(HKEY root, const std::vector<RegistryValue>& values, const RegistrySnapshot& snapshot) noexcept {
    for (size_t i = values.size(); i-- > 0;) {
        try {
            const RegistryValue& v = values[i];
            const RegistrySnapshot::Prior& prior = snapshot.values.at(i);
            if (!prior.present) {
                RemoveValue(root, v);
                continue;
            }
            UniqueRegKey key;
            if (RegOpenKeyExW(root, v.key.c_str(), 0, KEY_SET_VALUE, key.put()) == ERROR_SUCCESS)
                RegSetValueExW(key.get(), v.name.empty() ? nullptr : v.name.c_str(), 0, prior.type,
                               prior.data.data(), static_cast<DWORD>(prior.data.size()));
        } catch (...) {
        }
    }
    try { RemoveEmptyKeys(root, snapshot.newKeys); } catch (...) {}
}

void WriteValues(HKEY root, const std::vector<RegistryValue>& values) {
    const RegistrySnapshot before = TakeSnapshot(root, values);
    for (const RegistryValue& v : values) {
        UniqueRegKey key;
        LSTATUS s = RegCreateKeyExW(root, v.key.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_SET_VALUE,
                                    nullptr, key.put(), nullptr);
        if (s == ERROR_SUCCESS) {
            const auto bytes = static_cast<DWORD>((v.data.size() + 1) * sizeof(wchar_t));
            s = RegSetValueExW(key.get(), v.name.empty() ? nullptr : v.name.c_str(), 0, REG_SZ,
                               reinterpret_cast<const BYTE*>(v.data.c_str()), bytes);
        }
        if (s != ERROR_SUCCESS) {
            // Leave no half registration behind, and no earlier one destroyed.
            RestoreSnapshot(root, values, before);
            ThrowRegistryError(s, L"Cannot write", v.key);
        }
    }
}

void RemoveValues(HKEY root, const std::vector<RegistryValue>& values) {
    for (auto v = values.rbegin(); v != values.rend(); ++v) RemoveValue(root, *v);
    std::vector<std::wstring> keys;
    for (const RegistryValue& v : values)
        if (std::find(keys.begin(), keys.end(), v.key) == keys.end()) keys.push_back(v.key);
    RemoveEmptyKeys(root, std::move(keys));
}

} // namespace rud::registry
