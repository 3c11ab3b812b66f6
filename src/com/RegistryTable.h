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

// What the table's keys and values held at one moment, so that a failed write can put back an
// earlier registration instead of deleting it.
struct RegistrySnapshot {
    struct Prior {
        bool present = false;
        DWORD type = REG_NONE;
        std::vector<BYTE> data;
    };
    std::vector<Prior> values;          // one per table entry
    std::vector<std::wstring> newKeys;  // keys of the table that did not exist
};
RegistrySnapshot TakeSnapshot(HKEY root, const std::vector<RegistryValue>& values);
// Puts every value of the table back as the snapshot found it and removes the keys that did not
// exist then (when nothing else has been put into them). Best effort: failures are ignored.
void RestoreSnapshot(HKEY root, const std::vector<RegistryValue>& values, const RegistrySnapshot& snapshot) noexcept;

// Writes every value, creating keys as needed. On a failure puts back what the table's keys held
// before the call and throws rud::AddInError with the HRESULT of the failing registry call.
void WriteValues(HKEY root, const std::vector<RegistryValue>& values);

// Deletes every value of the table, then every key of the table that is left with neither
// values nor subkeys (deepest first). Values and keys already gone are fine; other failures throw.
void RemoveValues(HKEY root, const std::vector<RegistryValue>& values);

} // namespace rud::registry
