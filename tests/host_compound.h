#pragma once
// Compound files for the host's tests: the real documents beside the project, every stream of a
// file read through structured storage, and files assembled from streams.
#include "host_testutil.h"
#include "DocumentModel.h"
#include <objbase.h>
#include <algorithm>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace hosttest {

// ../shared/documents: real files made by other programs. The tests need them; without them
// they fail rather than pass for nothing.
inline std::wstring Documents() { return WinPath(KVHOST_TEST_DOCUMENTS); }
inline std::wstring Document(const std::wstring& name) { return Documents() + L"\\" + name; }

struct CoFree {
    void operator()(void* p) const noexcept { CoTaskMemFree(p); }
};

// Every stream of the storage and its sub-storages, by path ("Sub/\005Name"); {} when the file
// cannot be opened.
inline void ReadStreamsOf(IStorage* storage, const std::wstring& prefix, std::map<std::wstring, std::string>& out) {
    Microsoft::WRL::ComPtr<IEnumSTATSTG> e;
    if (FAILED(storage->EnumElements(0, nullptr, 0, e.GetAddressOf()))) return;
    STATSTG st{};
    ULONG got = 0;
    while (e->Next(1, &st, &got) == S_OK && got == 1) {
        std::unique_ptr<wchar_t, CoFree> name(st.pwcsName);
        if (st.type == STGTY_STREAM) {
            Microsoft::WRL::ComPtr<IStream> s;
            if (FAILED(storage->OpenStream(name.get(), nullptr, STGM_READ | STGM_SHARE_EXCLUSIVE, 0, s.GetAddressOf()))) continue;
            std::string bytes(static_cast<size_t>(st.cbSize.QuadPart), '\0');
            ULONG read = 0;
            if (!bytes.empty()) s->Read(bytes.data(), static_cast<ULONG>(bytes.size()), &read);
            bytes.resize(read);
            out[prefix + name.get()] = std::move(bytes);
        } else if (st.type == STGTY_STORAGE) {
            Microsoft::WRL::ComPtr<IStorage> sub;
            if (SUCCEEDED(storage->OpenStorage(name.get(), nullptr, STGM_READ | STGM_SHARE_EXCLUSIVE, nullptr, 0, sub.GetAddressOf())))
                ReadStreamsOf(sub.Get(), prefix + name.get() + L"/", out);
        }
    }
}

inline std::map<std::wstring, std::string> ReadAllStreams(const std::wstring& path) {
    std::map<std::wstring, std::string> out;
    Microsoft::WRL::ComPtr<IStorage> root;
    if (SUCCEEDED(StgOpenStorageEx(path.c_str(), STGM_READ | STGM_SHARE_DENY_WRITE, STGFMT_STORAGE, 0, nullptr, nullptr,
                                   IID_IStorage, reinterpret_cast<void**>(root.GetAddressOf()))))
        ReadStreamsOf(root.Get(), L"", out);
    return out;
}

// A new compound file holding these root streams.
inline void WriteCompoundFile(const std::wstring& path, const std::vector<std::pair<std::wstring, std::string>>& streams) {
    Microsoft::WRL::ComPtr<IStorage> root;
    ASSERT_EQ(StgCreateStorageEx(path.c_str(), STGM_CREATE | STGM_READWRITE | STGM_SHARE_EXCLUSIVE, STGFMT_STORAGE, 0,
                                 nullptr, nullptr, IID_IStorage, reinterpret_cast<void**>(root.GetAddressOf())), S_OK);
    for (const auto& [name, bytes] : streams) {
        Microsoft::WRL::ComPtr<IStream> s;
        ASSERT_EQ(root->CreateStream(name.c_str(), STGM_CREATE | STGM_READWRITE | STGM_SHARE_EXCLUSIVE, 0, 0, s.GetAddressOf()), S_OK);
        ULONG put = 0;
        ASSERT_EQ(s->Write(bytes.data(), static_cast<ULONG>(bytes.size()), &put), S_OK);
    }
    ASSERT_EQ(root->Commit(STGC_DEFAULT), S_OK);
}

// The compound files among the real documents.
inline std::vector<std::wstring> RealCompoundFiles() {
    std::vector<std::wstring> out;
    WIN32_FIND_DATAW fd;
    HANDLE h = FindFirstFileW((Documents() + L"\\*").c_str(), &fd);
    if (h == INVALID_HANDLE_VALUE) return out;
    do {
        const std::wstring name = fd.cFileName;
        if (!(fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && name != L"README.md") out.push_back(name);
    } while (FindNextFileW(h, &fd));
    FindClose(h);
    std::sort(out.begin(), out.end());
    return out;
}

inline std::string Bytes(const std::wstring& path) {
    try {
        return kvhost::ReadFileBytes(path);
    } catch (...) {
        return "<unreadable>";
    }
}

} // namespace hosttest
