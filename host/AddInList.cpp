#include "AddInList.h"
#include "HostError.h"
#include <algorithm>

namespace kvhost {
namespace {

std::vector<ListedAddIn> ReadHive(HKEY root, const wchar_t* path, bool perUser) {
    std::vector<ListedAddIn> list;
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, path, 0, KEY_READ, &key) != ERROR_SUCCESS) return list;
    for (DWORD i = 0;; ++i) {
        wchar_t name[256];
        DWORD length = 256;
        const LSTATUS s = RegEnumKeyExW(key, i, name, &length, nullptr, nullptr, nullptr, nullptr);
        if (s == ERROR_NO_MORE_ITEMS) break;
        if (s != ERROR_SUCCESS) continue;
        DWORD flag = 0, size = sizeof flag, type = 0;
        const bool read = RegGetValueW(key, name, L"LoadBehavior", RRF_RT_REG_DWORD, &type, &flag, &size) == ERROR_SUCCESS;
        list.push_back({name, read && flag == 1, perUser});
    }
    RegCloseKey(key);
    std::sort(list.begin(), list.end(), [](const ListedAddIn& a, const ListedAddIn& b) {
        return _wcsicmp(a.progId.c_str(), b.progId.c_str()) < 0;
    });
    return list;
}

} // namespace

std::vector<ListedAddIn> ListedAddIns(const wchar_t* key) {
    std::vector<ListedAddIn> all = ReadHive(HKEY_CURRENT_USER, key, true);
    for (ListedAddIn& m : ReadHive(HKEY_LOCAL_MACHINE, key, false)) {
        const bool hidden = std::any_of(all.begin(), all.end(), [&](const ListedAddIn& u) {
            return u.perUser && _wcsicmp(u.progId.c_str(), m.progId.c_str()) == 0;
        });
        if (!hidden) all.push_back(std::move(m));
    }
    return all;
}

std::vector<StartedAddIn> StartListedAddIns(Host& host, const wchar_t* key) {
    std::vector<StartedAddIn> started;
    for (const ListedAddIn& entry : ListedAddIns(key)) {
        if (!entry.load) continue;
        StartedAddIn& s = started.emplace_back();
        s.entry = entry;
        try {
            s.index = host.LoadNextAddInByProgId(entry.progId);
        } catch (const HostError& e) {
            s.error = e.description();
            continue;
        }
        s.connection = host.ConnectAddIn(s.index, 1);
        if (FAILED(s.connection)) host.UnloadAddIn(s.index);
    }
    return started;
}

} // namespace kvhost
