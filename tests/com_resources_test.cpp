// The resources of RuDerizIRA.dll read back through Windows calls: the type library, the version
// record, the "_IID_MYADDIN" blob, the bitmaps and the complete resource table.
#include "com_testkit.h"
#include "com_image.h"
#include "Identity.h"
#include "KorvaneFramework.h"
#include "Raii.h"
#include "Text.h"
#include <wrl/client.h>
#include <cstring>
#include <ostream>
#include <set>
#include <string>
#include <vector>

using Microsoft::WRL::ComPtr;
using namespace rud::comtest;

namespace {

// {8A7EFA3A-F000-11D1-BDFC-080036B4D502}
constexpr GUID kLibidKorvaneFramework = {0x8A7EFA3A, 0xF000, 0x11D1, {0xBD, 0xFC, 0x08, 0x00, 0x36, 0xB4, 0xD5, 0x02}};
// {00020430-0000-0000-C000-000000000046}
constexpr GUID kLibidStdOle = {0x00020430, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

// A TYPEATTR released on scope exit.
class TypeAttr {
public:
    explicit TypeAttr(ITypeInfo* info) : info_(info) { hr_ = info->GetTypeAttr(&attr_); }
    TypeAttr(const TypeAttr&) = delete;
    TypeAttr& operator=(const TypeAttr&) = delete;
    ~TypeAttr() { if (attr_) info_->ReleaseTypeAttr(attr_); }
    bool ok() const { return SUCCEEDED(hr_) && attr_; }
    const TYPEATTR* operator->() const { return attr_; }
private:
    ITypeInfo* info_;
    TYPEATTR* attr_ = nullptr;
    HRESULT hr_;
};

struct Doc {
    std::wstring name, text;
};

Doc DocOf(ITypeInfo* info) {
    rud::Bstr name, text;
    EXPECT_EQ(info->GetDocumentation(MEMBERID_NIL, name.put(), text.put(), nullptr, nullptr), S_OK);
    return {name.str(), text.str()};
}

GUID LibraryOf(ITypeInfo* info) {
    ComPtr<ITypeLib> lib;
    UINT index = 0;
    GUID out = GUID_NULL;
    if (SUCCEEDED(info->GetContainingTypeLib(&lib, &index))) {
        TLIBATTR* attr = nullptr;
        if (SUCCEEDED(lib->GetLibAttr(&attr))) {
            out = attr->guid;
            lib->ReleaseTLibAttr(attr);
        }
    }
    return out;
}

#ifdef RUD_SERVER_FILE_ONLY
// A DLL of another architecture than this program's (the x86 one, read by an x64 test run):
// mapped for its resources and type library, never run.
struct ServerUnderTest {
    MappedImage mapped{ServerPath()};
    HMODULE module = mapped.module.get();
    bool complete() const { return module != nullptr; }
};
constexpr SYSKIND kServerPlatform = SYS_WIN32;
constexpr size_t kServerPointerSize = 4;
#else
using ServerUnderTest = Server;
constexpr SYSKIND kServerPlatform = kTypeLibPlatform;
constexpr size_t kServerPointerSize = sizeof(void*);
#endif

class ComResources : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(SUCCEEDED(apartment.hr));
        ASSERT_TRUE(server.complete()) << "cannot load " << rud::narrow(ServerPath());
    }
    Apartment apartment;
    ServerUnderTest server;
};

TEST_F(ComResources, TypeLibraryAttributes) {
    ComPtr<ITypeLib> lib;
    ASSERT_EQ(LoadTypeLibEx(ServerPath().c_str(), REGKIND_NONE, &lib), S_OK);
    TLIBATTR* attr = nullptr;
    ASSERT_EQ(lib->GetLibAttr(&attr), S_OK);
    EXPECT_TRUE(IsEqualGUID(attr->guid, LIBID_RuDerizIRA));
    EXPECT_EQ(attr->lcid, 0u);
    EXPECT_EQ(attr->syskind, kServerPlatform);
    EXPECT_EQ(attr->wMajorVerNum, 1);
    EXPECT_EQ(attr->wMinorVerNum, 0);
    // FHASDISKIMAGE is the run time's note that the library was loaded from a file.
    EXPECT_EQ(attr->wLibFlags & ~LIBFLAG_FHASDISKIMAGE, 0);
    lib->ReleaseTLibAttr(attr);

    rud::Bstr name, text, helpFile;
    DWORD context = 99;
    ASSERT_EQ(lib->GetDocumentation(-1, name.put(), text.put(), &context, helpFile.put()), S_OK);
    EXPECT_EQ(name.str(), L"RuDerizIRA");
    EXPECT_EQ(text.str(), L"Korvane ZazAz IZO with custom Toolbar and Vanebar");
    EXPECT_EQ(helpFile.str(), L"");
    EXPECT_EQ(context, 0u);
    EXPECT_EQ(lib->GetTypeInfoCount(), 2u) << "_MyAddin and MyAddin only: IKorvaneAddIn stays in the host library";
}

TEST_F(ComResources, MyAddinInterfaceIsAHiddenDualDispatchInterfaceWithoutMembers) {
    ComPtr<ITypeLib> lib;
    ASSERT_EQ(LoadTypeLibEx(ServerPath().c_str(), REGKIND_NONE, &lib), S_OK);
    TYPEKIND kind{};
    ASSERT_EQ(lib->GetTypeInfoType(0, &kind), S_OK);
    EXPECT_EQ(kind, TKIND_DISPATCH);
    ComPtr<ITypeInfo> info;
    ASSERT_EQ(lib->GetTypeInfo(0, &info), S_OK);
    Doc doc = DocOf(info.Get());
    EXPECT_EQ(doc.name, L"_MyAddin");
    EXPECT_EQ(doc.text, L"VB6 Plinthar AddIn");
    TypeAttr attr(info.Get());
    ASSERT_TRUE(attr.ok());
    EXPECT_TRUE(IsEqualGUID(attr->guid, IID__MyAddin));
    EXPECT_EQ(attr->typekind, TKIND_DISPATCH);
    EXPECT_EQ(attr->wMajorVerNum, 1);
    EXPECT_EQ(attr->wMinorVerNum, 0);
    const WORD required = TYPEFLAG_FDUAL | TYPEFLAG_FHIDDEN | TYPEFLAG_FNONEXTENSIBLE | TYPEFLAG_FDISPATCHABLE;
    EXPECT_EQ(attr->wTypeFlags & required, required) << std::hex << attr->wTypeFlags;
    EXPECT_EQ(attr->wTypeFlags & TYPEFLAG_FCANCREATE, 0);
    EXPECT_EQ(attr->cVars, 0);
    ASSERT_EQ(attr->cImplTypes, 1);

    HREFTYPE baseRef = 0;
    ASSERT_EQ(info->GetRefTypeOfImplType(0, &baseRef), S_OK);
    ComPtr<ITypeInfo> base;
    ASSERT_EQ(info->GetRefTypeInfo(baseRef, &base), S_OK);
    TypeAttr baseAttr(base.Get());
    ASSERT_TRUE(baseAttr.ok());
    EXPECT_TRUE(IsEqualGUID(baseAttr->guid, IID_IDispatch));
    EXPECT_TRUE(IsEqualGUID(LibraryOf(base.Get()), kLibidStdOle)) << "IDispatch comes from stdole2";

    // The interface side of the dual interface: seven slots, those of IUnknown and IDispatch.
    HREFTYPE partnerRef = 0;
    ASSERT_EQ(info->GetRefTypeOfImplType(static_cast<UINT>(-1), &partnerRef), S_OK);
    ComPtr<ITypeInfo> partner;
    ASSERT_EQ(info->GetRefTypeInfo(partnerRef, &partner), S_OK);
    TypeAttr partnerAttr(partner.Get());
    ASSERT_TRUE(partnerAttr.ok());
    EXPECT_EQ(partnerAttr->typekind, TKIND_INTERFACE);
    EXPECT_TRUE(IsEqualGUID(partnerAttr->guid, IID__MyAddin));
    const WORD partnerFlags = TYPEFLAG_FDUAL | TYPEFLAG_FHIDDEN | TYPEFLAG_FNONEXTENSIBLE | TYPEFLAG_FOLEAUTOMATION;
    EXPECT_EQ(partnerAttr->wTypeFlags & partnerFlags, partnerFlags) << std::hex << partnerAttr->wTypeFlags;
    EXPECT_EQ(partnerAttr->cFuncs, 0);
    EXPECT_EQ(partnerAttr->cbSizeVft, 7 * kServerPointerSize);

    // No members of its own (the inherited IUnknown and IDispatch ones are found in IDispatch).
    for (const wchar_t* name : {L"OnConnection", L"MyAddin", L"Anything"}) {
        LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
        MEMBERID id = 0;
        EXPECT_EQ(info->GetIDsOfNames(names, 1, &id), DISP_E_UNKNOWNNAME) << rud::narrow(name);
    }
}

TEST_F(ComResources, MyAddinClassIsCreatableWithTheDefaultInterfaceThenTheHostsInterface) {
    ASSERT_EQ(RegisterHostTypeLib(), S_OK) << "the host library must be registered to resolve IKorvaneAddIn";
    ComPtr<ITypeLib> lib;
    ASSERT_EQ(LoadTypeLibEx(ServerPath().c_str(), REGKIND_NONE, &lib), S_OK);
    ComPtr<ITypeInfo> info;
    ASSERT_EQ(lib->GetTypeInfoOfGuid(CLSID_MyAddin, &info), S_OK);
    UINT index = 99;
    ComPtr<ITypeLib> container;
    ASSERT_EQ(info->GetContainingTypeLib(&container, &index), S_OK);
    EXPECT_EQ(index, 1u) << "the class is the second type description";
    Doc doc = DocOf(info.Get());
    EXPECT_EQ(doc.name, L"MyAddin");
    EXPECT_EQ(doc.text, L"VB6 Plinthar AddIn");
    TypeAttr attr(info.Get());
    ASSERT_TRUE(attr.ok());
    EXPECT_EQ(attr->typekind, TKIND_COCLASS);
    EXPECT_EQ(attr->wTypeFlags, TYPEFLAG_FCANCREATE);
    EXPECT_EQ(attr->wMajorVerNum, 1);
    EXPECT_EQ(attr->wMinorVerNum, 0);
    ASSERT_EQ(attr->cImplTypes, 2);

    struct Expected { const GUID* iid; const wchar_t* name; INT flags; const GUID* library; };
    const Expected expected[] = {
        {&IID__MyAddin, L"_MyAddin", IMPLTYPEFLAG_FDEFAULT, &LIBID_RuDerizIRA},
        {&IID_IKorvaneAddIn, L"IKorvaneAddIn", 0, &kLibidKorvaneFramework},
    };
    for (UINT i = 0; i < 2; ++i) {
        INT flags = -1;
        ASSERT_EQ(info->GetImplTypeFlags(i, &flags), S_OK);
        EXPECT_EQ(flags, expected[i].flags) << i;
        HREFTYPE ref = 0;
        ASSERT_EQ(info->GetRefTypeOfImplType(i, &ref), S_OK);
        ComPtr<ITypeInfo> face;
        ASSERT_EQ(info->GetRefTypeInfo(ref, &face), S_OK) << i;
        TypeAttr faceAttr(face.Get());
        ASSERT_TRUE(faceAttr.ok());
        EXPECT_TRUE(IsEqualGUID(faceAttr->guid, *expected[i].iid)) << i;
        EXPECT_EQ(DocOf(face.Get()).name, expected[i].name);
        EXPECT_TRUE(IsEqualGUID(LibraryOf(face.Get()), *expected[i].library)) << i;
    }
}

// The type flags as the library stores them: what the run time reports of a dual interface is
// partly computed, the stored words are exact. Layout of the "MSFT" format: a header of 0x54
// bytes (4 more with a help DLL), the offsets of the type descriptions, 15 segment descriptors of
// 16 bytes whose first locates the type descriptions; in each, the kind in the low nibble of the
// first word and the type flags in the thirteenth.
TEST_F(ComResources, StoredTypeFlagsAreExactlyTheDeclaredOnes) {
    HRSRC res = FindResourceExW(server.module, L"TYPELIB", MAKEINTRESOURCEW(1), MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL));
    ASSERT_NE(res, nullptr);
    auto data = static_cast<const BYTE*>(LockResource(LoadResource(server.module, res)));
    const DWORD size = SizeofResource(server.module, res);
    auto word = [&](size_t offset) {
        INT32 v = 0;
        if (offset + 4 <= size) std::memcpy(&v, data + offset, 4);
        return v;
    };
    ASSERT_EQ(std::memcmp(data, "MSFT", 4), 0);
    const INT32 count = word(0x20);
    ASSERT_EQ(count, 2);
    const size_t offsets = 0x54 + ((word(0x14) & 0x100) ? 4 : 0);
    const size_t segments = offsets + 4 * static_cast<size_t>(count);
    const size_t typeInfos = static_cast<size_t>(word(segments));
    const INT32 expected[2][2] = {
        {TKIND_DISPATCH, TYPEFLAG_FHIDDEN | TYPEFLAG_FDUAL | TYPEFLAG_FNONEXTENSIBLE | TYPEFLAG_FOLEAUTOMATION |
                             TYPEFLAG_FDISPATCHABLE},
        {TKIND_COCLASS, TYPEFLAG_FCANCREATE},
    };
    for (size_t i = 0; i < 2; ++i) {
        const size_t base = typeInfos + static_cast<size_t>(word(offsets + 4 * i));
        EXPECT_EQ(word(base) & 0xF, expected[i][0]) << i;
        EXPECT_EQ(word(base + 48), expected[i][1]) << i;
    }
}

// --- version record -------------------------------------------------------------------------

// The nodes of a version resource as "path=value" (values of text nodes only), in file order.
void WalkVersionNode(const BYTE* p, const BYTE* end, const std::wstring& parent, std::vector<std::wstring>& out) {
    while (p + 6 <= end) {
        const auto length = *reinterpret_cast<const WORD*>(p);
        const auto valueLength = *reinterpret_cast<const WORD*>(p + 2);
        const auto type = *reinterpret_cast<const WORD*>(p + 4);
        if (length < 6 || p + length > end) return;
        const BYTE* nodeEnd = p + length;
        auto key = reinterpret_cast<const wchar_t*>(p + 6);
        std::wstring name(key);
        const BYTE* q = p + 6 + (name.size() + 1) * sizeof(wchar_t);
        q = p + ((q - p + 3) & ~3);
        std::wstring path = parent + L"\\" + name;
        const wchar_t* text = reinterpret_cast<const wchar_t*>(q);
        q += type == 1 ? valueLength * sizeof(wchar_t) : valueLength;
        q = p + ((q - p + 3) & ~3);
        if (q < nodeEnd) {
            out.push_back(path);
            WalkVersionNode(q, nodeEnd, path, out);
        } else if (type == 1) {
            // A text value's length counts its terminating zero when there is one.
            size_t n = valueLength;
            while (n > 0 && text[n - 1] == L'\0') --n;
            out.push_back(path + L"=" + std::wstring(text, n));
        } else {
            out.push_back(path);
        }
        p += (length + 3) & ~3;
    }
}

TEST_F(ComResources, VersionRecord) {
    const std::wstring path = ServerPath();
    DWORD handle = 0;
    DWORD size = GetFileVersionInfoSizeW(path.c_str(), &handle);
    ASSERT_GT(size, 0u);
    std::vector<BYTE> block(size);
    ASSERT_TRUE(GetFileVersionInfoW(path.c_str(), 0, size, block.data()));

    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT len = 0;
    ASSERT_TRUE(VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&fixed), &len));
    ASSERT_EQ(len, sizeof(VS_FIXEDFILEINFO));
    EXPECT_EQ(fixed->dwSignature, 0xFEEF04BDu);
    EXPECT_EQ(fixed->dwFileVersionMS, 0x00010000u);
    EXPECT_EQ(fixed->dwFileVersionLS, 0x0000000Eu);
    EXPECT_EQ(fixed->dwProductVersionMS, 0x00010000u);
    EXPECT_EQ(fixed->dwProductVersionLS, 0x0000000Eu);
    EXPECT_EQ(fixed->dwFileFlags, 0u);
    EXPECT_EQ(fixed->dwFileOS, static_cast<DWORD>(VOS__WINDOWS32));
    EXPECT_EQ(fixed->dwFileType, static_cast<DWORD>(VFT_DLL));
    EXPECT_EQ(fixed->dwFileSubtype, static_cast<DWORD>(VFT2_UNKNOWN));

    WORD* translation = nullptr;
    ASSERT_TRUE(VerQueryValueW(block.data(), L"\\VarFileInfo\\Translation", reinterpret_cast<void**>(&translation), &len));
    ASSERT_EQ(len, 4u) << "one translation entry";
    EXPECT_EQ(translation[0], 0x0407);
    EXPECT_EQ(translation[1], 1200);

    const std::pair<const wchar_t*, const wchar_t*> strings[] = {
        {L"ProductName", L"RUDerIzIra"},          {L"FileVersion", L"1.00.0014"},
        {L"ProductVersion", L"1.00.0014"},        {L"InternalName", L"RuDerizIRA"},
        {L"OriginalFilename", L"RuDerizIRA.dll"}, {L"OLESelfRegister", L""},
    };
    for (const auto& [key, value] : strings) {
        wchar_t* text = nullptr;
        std::wstring query = std::wstring(L"\\StringFileInfo\\040704B0\\") + key;
        ASSERT_TRUE(VerQueryValueW(block.data(), query.c_str(), reinterpret_cast<void**>(&text), &len)) << rud::narrow(key);
        EXPECT_EQ(std::wstring(text ? text : L"?"), value) << rud::narrow(key);
    }

    // Nothing else in the record: walk the resource itself.
    HRSRC res = FindResourceW(server.module, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(16));
    ASSERT_NE(res, nullptr);
    auto data = static_cast<const BYTE*>(LockResource(LoadResource(server.module, res)));
    std::vector<std::wstring> nodes;
    WalkVersionNode(data, data + SizeofResource(server.module, res), L"", nodes);
    const std::vector<std::wstring> expectedNodes = {
        L"\\VS_VERSION_INFO",
        L"\\VS_VERSION_INFO\\StringFileInfo",
        L"\\VS_VERSION_INFO\\StringFileInfo\\040704B0",
        L"\\VS_VERSION_INFO\\StringFileInfo\\040704B0\\ProductName=RUDerIzIra",
        L"\\VS_VERSION_INFO\\StringFileInfo\\040704B0\\FileVersion=1.00.0014",
        L"\\VS_VERSION_INFO\\StringFileInfo\\040704B0\\ProductVersion=1.00.0014",
        L"\\VS_VERSION_INFO\\StringFileInfo\\040704B0\\InternalName=RuDerizIRA",
        L"\\VS_VERSION_INFO\\StringFileInfo\\040704B0\\OriginalFilename=RuDerizIRA.dll",
        L"\\VS_VERSION_INFO\\StringFileInfo\\040704B0\\OLESelfRegister=",
        L"\\VS_VERSION_INFO\\VarFileInfo",
        L"\\VS_VERSION_INFO\\VarFileInfo\\Translation",
    };
    EXPECT_EQ(nodes, expectedNodes);
}

// --- "_IID_MYADDIN" and the bitmaps ------------------------------------------------------------

std::vector<BYTE> ResourceBytes(HMODULE m, const wchar_t* type, const wchar_t* name, WORD language) {
    HRSRC res = FindResourceExW(m, type, name, language);
    if (!res) return {};
    auto data = static_cast<const BYTE*>(LockResource(LoadResource(m, res)));
    return std::vector<BYTE>(data, data + SizeofResource(m, res));
}

constexpr WORD kNeutral = MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL);

TEST_F(ComResources, IidBlobHoldsLengthAndTheInterfaceId) {
    std::vector<BYTE> bytes = ResourceBytes(server.module, L"_IID_MYADDIN", MAKEINTRESOURCEW(1), kNeutral);
    ASSERT_EQ(bytes.size(), 20u);
    const BYTE expected[20] = {0x10, 0x00, 0x00, 0x00, 0x86, 0x14, 0x12, 0x0D, 0x87, 0xDD,
                               0x04, 0x45, 0xAF, 0x80, 0xBB, 0x20, 0xCC, 0x24, 0x06, 0x6B};
    EXPECT_EQ(std::memcmp(bytes.data(), expected, 20), 0);
    EXPECT_EQ(std::memcmp(bytes.data() + 4, &IID__MyAddin, 16), 0);
}

struct ExpectedBitmap {
    int id, width, height;
    COLORREF background;
    bool grey;
};

struct DcDeleter { void operator()(HDC h) const noexcept { DeleteDC(h); } };

void PrintTo(const ExpectedBitmap& expected, std::ostream* os) { *os << "bitmap " << expected.id; }

class Bitmaps : public ComResources, public ::testing::WithParamInterface<ExpectedBitmap> {};

TEST_P(Bitmaps, SizeDepthPaletteAndBackground) {
    const ExpectedBitmap expected = GetParam();
    rud::UniqueBitmap bitmap(static_cast<HBITMAP>(
        LoadImageW(server.module, MAKEINTRESOURCEW(expected.id), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION)));
    ASSERT_TRUE(bitmap) << expected.id;
    DIBSECTION dib{};
    ASSERT_EQ(GetObjectW(bitmap.get(), sizeof dib, &dib), static_cast<int>(sizeof dib));
    EXPECT_EQ(dib.dsBm.bmWidth, expected.width);
    EXPECT_EQ(dib.dsBm.bmHeight, expected.height);
    EXPECT_EQ(dib.dsBm.bmBitsPixel, 8);

    rud::UniqueHandle<HDC, DcDeleter> dc(CreateCompatibleDC(nullptr));
    ASSERT_TRUE(dc);
    HGDIOBJ old = SelectObject(dc.get(), bitmap.get());
    RGBQUAD table[256] = {};
    const UINT entries = GetDIBColorTable(dc.get(), 0, 256, table);
    std::vector<COLORREF> pixels;
    for (int y = 0; y < expected.height; ++y)
        for (int x = 0; x < expected.width; ++x) pixels.push_back(GetPixel(dc.get(), x, y));
    SelectObject(dc.get(), old);

    EXPECT_EQ(entries, 256u) << "a full 256-entry palette";
    if (expected.grey) {
        for (UINT i = 0; i < entries; ++i) {
            EXPECT_EQ(table[i].rgbRed, i);
            EXPECT_EQ(table[i].rgbGreen, i);
            EXPECT_EQ(table[i].rgbBlue, i);
        }
    }
    auto at = [&](int x, int y) { return pixels[static_cast<size_t>(y * expected.width + x)]; };
    EXPECT_EQ(at(0, 0), expected.background);
    EXPECT_EQ(at(expected.width - 1, 0), expected.background);
    EXPECT_EQ(at(0, expected.height - 1), expected.background);
    EXPECT_EQ(at(expected.width - 1, expected.height - 1), expected.background);

    // What is drawn on it: per cell for the digit strips, over the image for the emblem.
    auto count = [&](int x0, int x1, COLORREF c) {
        int n = 0;
        for (int y = 0; y < expected.height; ++y)
            for (int x = x0; x < x1; ++x) n += at(x, y) == c;
        return n;
    };
    if (expected.id == 105 || expected.id == 110) {
        EXPECT_GT(count(0, 20, RGB(0, 0, 255)), 20) << "blue outline";
        EXPECT_GT(count(0, 20, RGB(255, 255, 0)), 10) << "yellow funnel";
        EXPECT_GT(count(0, 20, RGB(255, 128, 0)), 2) << "orange spout";
        return;
    }
    const int cell = expected.height;
    for (int d = 0; d < 3; ++d) {
        if (expected.grey) {
            int dark = 0;
            for (int y = 0; y < expected.height; ++y)
                for (int x = d * cell; x < (d + 1) * cell; ++x) {
                    COLORREF c = at(x, y);
                    dark += GetRValue(c) == GetGValue(c) && GetGValue(c) == GetBValue(c) && GetRValue(c) < 0x80;
                }
            EXPECT_GT(dark, cell) << "digit " << d + 1 << " in dark grey";
        } else {
            EXPECT_GT(count(d * cell, (d + 1) * cell, RGB(0, 0, 255)), cell) << "digit " << d + 1 << " in blue";
            EXPECT_GT(count(d * cell, (d + 1) * cell, RGB(255, 0, 0)), cell) << "digit " << d + 1 << " outlined red";
        }
    }
}

INSTANTIATE_TEST_SUITE_P(ComResources, Bitmaps,
                         ::testing::Values(ExpectedBitmap{101, 48, 16, RGB(213, 210, 206), false},
                                           ExpectedBitmap{102, 72, 24, RGB(213, 210, 206), false},
                                           ExpectedBitmap{103, 48, 16, RGB(192, 192, 192), true},
                                           ExpectedBitmap{104, 72, 24, RGB(192, 192, 192), true},
                                           ExpectedBitmap{105, 20, 20, RGB(192, 192, 192), false},
                                           ExpectedBitmap{110, 20, 20, RGB(192, 192, 192), false}),
                         [](const ::testing::TestParamInfo<ExpectedBitmap>& info) {
                             return "Bitmap" + std::to_string(info.param.id);
                         });

TEST_F(ComResources, Bitmap110IsAByteCopyOf105) {
    std::vector<BYTE> a = ResourceBytes(server.module, MAKEINTRESOURCEW(2), MAKEINTRESOURCEW(105), kNeutral);
    std::vector<BYTE> b = ResourceBytes(server.module, MAKEINTRESOURCEW(2), MAKEINTRESOURCEW(110), kNeutral);
    ASSERT_FALSE(a.empty());
    EXPECT_EQ(a, b);
}

// --- the whole table --------------------------------------------------------------------------

std::wstring ResourceName(LPCWSTR name) {
    if (IS_INTRESOURCE(name)) return L"#" + std::to_wstring(reinterpret_cast<ULONG_PTR>(name));
    return name;
}

struct Walk {
    HMODULE module;
    std::wstring type, name;
    std::set<std::wstring> found;
};

BOOL CALLBACK OnLanguage(HMODULE, LPCWSTR, LPCWSTR, WORD language, LONG_PTR param) {
    auto walk = reinterpret_cast<Walk*>(param);
    walk->found.insert(walk->type + L"/" + walk->name + L"/" + std::to_wstring(language));
    return TRUE;
}

BOOL CALLBACK OnName(HMODULE m, LPCWSTR type, LPWSTR name, LONG_PTR param) {
    auto walk = reinterpret_cast<Walk*>(param);
    walk->name = ResourceName(name);
    EnumResourceLanguagesW(m, type, name, OnLanguage, param);
    return TRUE;
}

BOOL CALLBACK OnType(HMODULE m, LPWSTR type, LONG_PTR param) {
    auto walk = reinterpret_cast<Walk*>(param);
    walk->type = ResourceName(type);
    EnumResourceNamesW(m, type, OnName, param);
    return TRUE;
}

TEST_F(ComResources, ResourceTableIsExactlyTheListedOne) {
    Walk walk{server.module, {}, {}, {}};
    ASSERT_TRUE(EnumResourceTypesW(server.module, OnType, reinterpret_cast<LONG_PTR>(&walk)));
    const std::set<std::wstring> expected = {
        L"TYPELIB/#1/0", L"_IID_MYADDIN/#1/0", L"#2/#101/0", L"#2/#102/0", L"#2/#103/0",
        L"#2/#104/0",    L"#2/#105/0",        L"#2/#110/0", L"#16/#1/0",
    };
    EXPECT_EQ(walk.found, expected) << "no manifest, no other resource";
}

} // namespace
