#pragma once
// The registry entries of the server as one table, written and removed by one pair of helpers.
#include <windows.h>
#include "Raii.h"
#include <string>
#include <string_view>
#include <vector>

namespace rud::registry {

struct RegKeyDeleter { void operator()(HKEY h) const noexcept { RegCloseKey(h); } };
using UniqueRegKey = UniqueHandle<HKEY, RegKeyDeleter>;

// One REG_SZ value below a root key. An empty name stands for the key's default value.
struct RegistryValue {
    std::wstring key;
    std::wstring name;
    std::wstring data;
    bool operator==(const RegistryValue&) const = default;
};

// "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" in upper case, as the registry spells GUIDs.
std::wstring GuidText(const GUID& guid);

// Everything the server writes below HKEY_CLASSES_ROOT besides the type library's own keys:
// the class, its ProgID both ways and _MyAddin marshalled through the type library. Every key
// in the table carries at least one value, so "a key of ours" is "a key named in the table".
std::vector<RegistryValue> ServerRegistryValues(std::wstring_view dllPath);

// Writes every value, creating keys as needed. On a failure removes what the table names and
// throws rud::AddInError with the HRESULT of the failing registry call.
void WriteValues(HKEY root, const std::vector<RegistryValue>& values);

// Deletes every value of the table, then every key of the table that is left with neither
// values nor subkeys (deepest first). Values and keys already gone are fine; other failures throw.
void RemoveValues(HKEY root, const std::vector<RegistryValue>& values);

} // namespace rud::registry
