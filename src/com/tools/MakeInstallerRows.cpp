// Build-time tool, run under Wine: reads a built RuDerizIRA.dll and writes what the installer
// source (installer/RuDerizIRA.wxs) includes, so that the package never runs the DLL's code and
// can never disagree with DllRegisterServer:
//   registry.wxi  every row DllRegisterServer writes: the table of RegistryTable.h, and the rows
//                 RegisterTypeLib writes for the DLL's embedded type library;
//   product.wxi   name, version and product code, from the DLL's version record;
//   product.ico   the Add/Remove Programs icon, from the emblem bitmap (resource 105).
//
//   MakeInstallerRows <DLL> <output folder> <installed DLL> <installed folder>     (Windows paths)
// The last two are installer formatted text, e.g. "[#RuDerizIRA.dll]" "[ProgramFilesFolder]RuDerizIRA".
#include "Identity.h"
#include "../RegistryTable.h"
#include "AddInError.h"
#include <windows.h>
#include <oleauto.h>
#include <wrl/client.h>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

using Microsoft::WRL::ComPtr;
using rud::registry::RegistryValue;

namespace {

// Stand-ins for the installed paths while the rows are escaped; replaced by the formatted text after.
constexpr wchar_t kPathMark[] = L"\x01";
constexpr wchar_t kFolderMark[] = L"\x02";

// The product code changes with every version (a major upgrade needs that) and stays the same for
// a rebuild of one version: a fixed prefix, then the four version fields.
constexpr wchar_t kProductCodePrefix[] = L"E161312D-1982-4AC6-AA23-";
// The standard marshaller of dual and oleautomation interfaces, as RegisterTypeLib writes it.
constexpr wchar_t kPSOAInterface[] = L"{00020424-0000-0000-C000-000000000046}";

struct Failure : std::runtime_error {
    using std::runtime_error::runtime_error;
};

void Check(HRESULT hr, const char* what) {
    if (FAILED(hr)) {
        char text[160];
        std::snprintf(text, sizeof text, "%s failed: 0x%08lX", what, static_cast<unsigned long>(hr));
        throw Failure(text);
    }
}

std::wstring Hex(unsigned long n) {
    wchar_t t[16];
    std::swprintf(t, 16, L"%lx", n);
    return t;
}

// The keys and values RegisterTypeLib writes for a library and its dual and oleautomation
// interfaces (the layout oleaut32 uses).
std::vector<RegistryValue> TypeLibraryRows(ITypeLib* lib) {
    TLIBATTR* attr = nullptr;
    Check(lib->GetLibAttr(&attr), "GetLibAttr");
    const TLIBATTR a = *attr;
    lib->ReleaseTLibAttr(attr);
    if (a.syskind != SYS_WIN32) throw Failure("the type library is not for 32-bit Windows");
    const std::wstring libid = rud::registry::GuidText(a.guid);
    const std::wstring version = Hex(a.wMajorVerNum) + L"." + Hex(a.wMinorVerNum);
    const std::wstring libKey = L"TypeLib\\" + libid + L"\\" + version;

    BSTR name = nullptr, doc = nullptr;
    Check(lib->GetDocumentation(-1, &name, &doc, nullptr, nullptr), "GetDocumentation");
    const std::wstring title = doc ? doc : (name ? name : L"");
    SysFreeString(name);
    SysFreeString(doc);

    std::vector<RegistryValue> rows = {
        {libKey, L"", title},
        {libKey + L"\\" + Hex(a.lcid) + L"\\win32", L"", kPathMark},
        {libKey + L"\\FLAGS", L"", std::to_wstring(a.wLibFlags)},
        {libKey + L"\\HELPDIR", L"", kFolderMark},
    };
    for (UINT i = 0; i < lib->GetTypeInfoCount(); ++i) {
        TYPEKIND kind;
        Check(lib->GetTypeInfoType(i, &kind), "GetTypeInfoType");
        if (kind != TKIND_INTERFACE && kind != TKIND_DISPATCH) continue;
        ComPtr<ITypeInfo> info;
        Check(lib->GetTypeInfo(i, &info), "GetTypeInfo");
        TYPEATTR* ta = nullptr;
        Check(info->GetTypeAttr(&ta), "GetTypeAttr");
        const GUID iid = ta->guid;
        const WORD flags = ta->wTypeFlags;
        info->ReleaseTypeAttr(ta);
        if (kind == TKIND_INTERFACE && !(flags & TYPEFLAG_FOLEAUTOMATION)) continue;
        if (kind == TKIND_DISPATCH && !(flags & TYPEFLAG_FDUAL))
            throw Failure("a pure dispinterface needs the dispatch marshaller: not handled here");
        BSTR typeName = nullptr;
        Check(info->GetDocumentation(MEMBERID_NIL, &typeName, nullptr, nullptr, nullptr), "GetDocumentation");
        const std::wstring key = L"Interface\\" + rud::registry::GuidText(iid);
        rows.push_back({key, L"", typeName ? typeName : L""});
        SysFreeString(typeName);
        rows.push_back({key + L"\\ProxyStubClsid", L"", kPSOAInterface});
        rows.push_back({key + L"\\ProxyStubClsid32", L"", kPSOAInterface});
        rows.push_back({key + L"\\TypeLib", L"", libid});
        rows.push_back({key + L"\\TypeLib", L"Version", version});
    }
    return rows;
}

// Both sources name some rows alike (an interface's own keys): one row each, and a row that the
// two would write differently is a fault to stop the build for.
std::vector<RegistryValue> Merge(std::vector<RegistryValue> rows, const std::vector<RegistryValue>& more) {
    for (const RegistryValue& m : more) {
        bool same = false;
        for (const RegistryValue& r : rows) {
            if (_wcsicmp(r.key.c_str(), m.key.c_str()) != 0 || _wcsicmp(r.name.c_str(), m.name.c_str()) != 0) continue;
            if (r.data != m.data) throw Failure("two different values for one registry row");
            same = true;
        }
        if (!same) rows.push_back(m);
    }
    return rows;
}

std::wstring Xml(const std::wstring& s) {
    std::wstring out;
    for (wchar_t c : s) {
        switch (c) {
        case L'&': out += L"&amp;"; break;
        case L'<': out += L"&lt;"; break;
        case L'>': out += L"&gt;"; break;
        case L'"': out += L"&quot;"; break;
        default: out += c;
        }
    }
    return out;
}

// Registry values are formatted text to Windows Installer: brackets are escaped, a leading '#'
// (a number to the installer) doubled; then the installed paths go in.
std::wstring Formatted(const std::wstring& s, const std::wstring& path, const std::wstring& folder) {
    std::wstring out = !s.empty() && s[0] == L'#' ? L"#" : L"";
    for (wchar_t c : s) {
        if (c == L'[') out += L"[\\[]";
        else if (c == L']') out += L"[\\]]";
        else if (c == kPathMark[0]) out += path;
        else if (c == kFolderMark[0]) out += folder;
        else out += c;
    }
    return out;
}

void WriteBytes(const std::wstring& path, const std::string& bytes) {
    std::ofstream f(std::filesystem::path(path), std::ios::binary);
    f << bytes;
    if (!f) throw Failure("cannot write an output file");
}

void WriteUtf8(const std::wstring& path, const std::wstring& text) {
    const int n = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string bytes(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), bytes.data(), n, nullptr, nullptr);
    WriteBytes(path, bytes);
}

void WriteRegistry(const std::wstring& out, const std::vector<RegistryValue>& rows, const std::wstring& path,
                   const std::wstring& folder) {
    std::wstring x = L"<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
                     L"<!-- Generated from the built DLL by MakeInstallerRows: do not edit. -->\n<Include>\n";
    for (const RegistryValue& r : rows) {
        x += L"  <RegistryValue Root=\"HKCR\" Key=\"" + Xml(r.key) + L"\"";
        if (!r.name.empty()) x += L" Name=\"" + Xml(r.name) + L"\"";
        x += L" Type=\"string\" Value=\"" + Xml(Formatted(r.data, path, folder)) + L"\"/>\n";
    }
    WriteUtf8(out, x + L"</Include>\n");
}

struct VersionRecord {
    WORD fields[4] = {};
    std::wstring productName, fileName;
};

VersionRecord ReadVersion(const std::wstring& dll) {
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeW(dll.c_str(), &ignored);
    if (size == 0) throw Failure("the DLL has no version record");
    std::vector<BYTE> data(size);
    if (!GetFileVersionInfoW(dll.c_str(), 0, size, data.data())) throw Failure("cannot read the version record");
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT len = 0;
    if (!VerQueryValueW(data.data(), L"\\", reinterpret_cast<void**>(&fixed), &len) || !fixed)
        throw Failure("the version record has no fixed part");
    VersionRecord v;
    v.fields[0] = HIWORD(fixed->dwProductVersionMS);
    v.fields[1] = LOWORD(fixed->dwProductVersionMS);
    v.fields[2] = HIWORD(fixed->dwProductVersionLS);
    v.fields[3] = LOWORD(fixed->dwProductVersionLS);
    WORD* translation = nullptr;
    if (!VerQueryValueW(data.data(), L"\\VarFileInfo\\Translation", reinterpret_cast<void**>(&translation), &len) ||
        len < 4)
        throw Failure("the version record has no translation");
    wchar_t block[64];
    auto text = [&](const wchar_t* field) {
        std::swprintf(block, 64, L"\\StringFileInfo\\%04x%04x\\%ls", translation[0], translation[1], field);
        wchar_t* value = nullptr;
        if (!VerQueryValueW(data.data(), block, reinterpret_cast<void**>(&value), &len) || !value || !*value)
            throw Failure("a text of the version record is missing");
        return std::wstring(value);
    };
    v.productName = text(L"ProductName");
    v.fileName = text(L"OriginalFilename");
    return v;
}

void WriteProduct(const std::wstring& out, const VersionRecord& v) {
    wchar_t version[32], code[64];
    std::swprintf(version, 32, L"%u.%u.%u.%u", v.fields[0], v.fields[1], v.fields[2], v.fields[3]);
    std::swprintf(code, 64, L"%ls%02X%02X%04X%04X", kProductCodePrefix, v.fields[0] & 0xFF, v.fields[1] & 0xFF,
                  v.fields[2], v.fields[3]);
    WriteUtf8(out, L"<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
                   L"<!-- Generated from the built DLL by MakeInstallerRows: do not edit. -->\n<Include>\n"
                   L"  <?define ProductName = \"" + Xml(v.productName) + L"\"?>\n"
                   L"  <?define ProductVersion = \"" + std::wstring(version) + L"\"?>\n"
                   L"  <?define ProductCode = \"" + std::wstring(code) + L"\"?>\n"
                   L"  <?define ServerFile = \"" + Xml(v.fileName) + L"\"?>\n"
                   L"  <?define ProgId = \"" + Xml(kProgId) + L"\"?>\n</Include>\n");
}

// An icon file with one image: the bitmap's own header (height doubled for the mask), palette
// and pixels, then an all-zero AND mask (every pixel opaque).
void WriteIcon(HMODULE dll, const std::wstring& out) {
    HRSRC r = FindResourceW(dll, MAKEINTRESOURCEW(105), MAKEINTRESOURCEW(2) /* RT_BITMAP */);
    HGLOBAL g = r ? LoadResource(dll, r) : nullptr;
    const auto* dib = g ? static_cast<const BYTE*>(LockResource(g)) : nullptr;
    if (!dib) throw Failure("the DLL has no bitmap 105");
    const DWORD dibSize = SizeofResource(dll, r);
    BITMAPINFOHEADER h;
    std::memcpy(&h, dib, sizeof h);
    const LONG width = h.biWidth, height = h.biHeight;
    const DWORD maskSize = static_cast<DWORD>(((width + 31) / 32) * 4 * height);
    h.biHeight = height * 2;
    std::string icon(6 + 16, '\0');
    auto put16 = [&](size_t at, WORD v) { std::memcpy(&icon[at], &v, 2); };
    auto put32 = [&](size_t at, DWORD v) { std::memcpy(&icon[at], &v, 4); };
    put16(2, 1);  // an icon
    put16(4, 1);  // one image
    icon[6] = static_cast<char>(width);
    icon[7] = static_cast<char>(height);
    put16(10, 1);
    put16(12, h.biBitCount);
    put32(14, dibSize + maskSize);
    put32(18, 6 + 16);
    icon.append(reinterpret_cast<const char*>(&h), sizeof h);
    icon.append(reinterpret_cast<const char*>(dib) + sizeof h, dibSize - sizeof h);
    icon.append(maskSize, '\0');
    WriteBytes(out, icon);
}

void Run(const std::wstring& dll, const std::wstring& outDir, const std::wstring& path, const std::wstring& folder) {
    ComPtr<ITypeLib> lib;
    Check(LoadTypeLibEx(dll.c_str(), REGKIND_NONE, &lib), "LoadTypeLibEx");
    const auto rows = Merge(rud::registry::ServerRegistryValues(kPathMark), TypeLibraryRows(lib.Get()));
    WriteRegistry(outDir + L"\\registry.wxi", rows, path, folder);
    WriteProduct(outDir + L"\\product.wxi", ReadVersion(dll));
    HMODULE m = LoadLibraryExW(dll.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    if (!m) throw Failure("cannot open the DLL's resources");
    try {
        WriteIcon(m, outDir + L"\\product.ico");
    } catch (...) {
        FreeLibrary(m);
        throw;
    }
    FreeLibrary(m);
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 5) {
        std::fputs("usage: MakeInstallerRows DLL OUTPUT-FOLDER INSTALLED-DLL INSTALLED-FOLDER\n", stderr);
        return 2;
    }
    CoInitialize(nullptr);
    int rc = 0;
    try {
        Run(argv[1], argv[2], argv[3], argv[4]);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "MakeInstallerRows: %s\n", e.what());
        rc = 1;
    }
    CoUninitialize();
    return rc;
}
