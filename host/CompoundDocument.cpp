#include "CompoundDocument.h"
#include <objbase.h>
#include <wrl/client.h>
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <cwchar>

namespace kvhost {

using Microsoft::WRL::ComPtr;
namespace ps = propset;

namespace {

constexpr unsigned char kSignature[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};

struct IdName {
    uint32_t id;
    const wchar_t* name;
};
constexpr IdName kSummaryNames[] = {
    {2, L"Title"}, {3, L"Subject"}, {4, L"Author"}, {5, L"Keywords"}, {6, L"Comments"}, {7, L"Template"},
    {8, L"LastAuthor"}, {9, L"RevNumber"}, {10, L"EditTime"}, {11, L"LastPrinted"}, {12, L"CreateTime"},
    {13, L"LastSaveTime"}, {14, L"PageCount"}, {15, L"WordCount"}, {16, L"CharCount"}, {17, L"Thumbnail"},
    {18, L"AppName"}, {19, L"DocSecurity"}};
constexpr IdName kDocSummaryNames[] = {
    {2, L"Category"}, {3, L"PresentationFormat"}, {4, L"ByteCount"}, {5, L"LineCount"}, {6, L"ParagraphCount"},
    {7, L"SlideCount"}, {8, L"NoteCount"}, {9, L"HiddenSlideCount"}, {10, L"MultimediaClipCount"},
    {11, L"ScaleCrop"}, {12, L"HeadingPairs"}, {13, L"TitlesOfParts"}, {14, L"Manager"}, {15, L"Company"},
    {16, L"LinksUpToDate"}, {17, L"CharCountWithSpaces"}, {19, L"SharedDoc"}, {20, L"LinkBase"},
    {21, L"Hyperlinks"}, {22, L"HyperlinksChanged"}, {23, L"AppVersion"}, {24, L"DigitalSignature"},
    {26, L"ContentType"}, {27, L"ContentStatus"}, {28, L"Language"}, {29, L"DocVersion"}};
// Ids every set may hold.
constexpr uint32_t kCodePageId = 1;
constexpr uint32_t kLocaleId = 0x80000000;
constexpr uint32_t kBehaviorId = 0x80000003;

std::wstring Hex8(uint32_t id) {
    wchar_t buf[16];
    std::swprintf(buf, 16, L"0x%08X", id);
    return buf;
}

std::wstring SetName(const ps::Section& s, size_t index) {
    if (ps::SameFormat(s.formatId, ps::kSummaryInformation)) return L"SummaryInformation";
    if (ps::SameFormat(s.formatId, ps::kUserDefinedProperties)) return L"UserDefined";
    if (ps::SameFormat(s.formatId, ps::kDocSummaryInformation))
        return index == 0 ? L"DocumentSummaryInformation" : L"UserDefined";
    wchar_t buf[40] = {};
    StringFromGUID2(s.formatId, buf, 40);
    return buf;
}

std::wstring PropertyName(const ps::Section& s, uint32_t id) {
    // A name the writer gave wins over the well-known one.
    if (std::wstring named = s.NameOf(id); !named.empty()) return named;
    if (id == kCodePageId) return L"CodePage";
    if (id == kLocaleId) return L"Locale";
    if (id == kBehaviorId) return L"Behavior";
    auto lookup = [id](const auto& table) -> const wchar_t* {
        for (const IdName& n : table)
            if (n.id == id) return n.name;
        return nullptr;
    };
    const wchar_t* known = nullptr;
    if (ps::SameFormat(s.formatId, ps::kSummaryInformation)) known = lookup(kSummaryNames);
    else if (ps::SameFormat(s.formatId, ps::kDocSummaryInformation)) known = lookup(kDocSummaryNames);
    return known ? known : Hex8(id);
}

rud::Variant ByteArray(const std::string& bytes) {
    SAFEARRAY* sa = SafeArrayCreateVector(VT_UI1, 0, static_cast<ULONG>(bytes.size()));
    if (!sa) throw std::bad_alloc();
    rud::Variant v;
    V_VT(&v) = VT_ARRAY | VT_UI1;
    V_ARRAY(&v) = sa;
    if (!bytes.empty()) {
        void* data = nullptr;
        SafeArrayAccessData(sa, &data);
        std::memcpy(data, bytes.data(), bytes.size());
        SafeArrayUnaccessData(sa);
    }
    return v;
}

rud::Variant ToVariant(const ps::Value& value) {
    rud::Variant v;
    if (!value.known) return ByteArray(value.bytes);
    if (value.type & ps::kVector) {
        SAFEARRAY* sa = SafeArrayCreateVector(VT_VARIANT, 0, static_cast<ULONG>(value.items.size()));
        if (!sa) throw std::bad_alloc();
        V_VT(&v) = VT_ARRAY | VT_VARIANT;
        V_ARRAY(&v) = sa;
        for (LONG i = 0; i < static_cast<LONG>(value.items.size()); ++i) {
            rud::Variant item = ToVariant(value.items[static_cast<size_t>(i)]);
            SafeArrayPutElement(sa, &i, &item);
        }
        return v;
    }
    switch (value.type) {
    case ps::kEmpty: break;
    case ps::kNull: V_VT(&v) = VT_NULL; break;
    case ps::kI1: V_VT(&v) = VT_I1; V_I1(&v) = static_cast<CHAR>(value.integer); break;
    case ps::kUI1: V_VT(&v) = VT_UI1; V_UI1(&v) = static_cast<BYTE>(value.unsignedInteger); break;
    case ps::kI2: V_VT(&v) = VT_I2; V_I2(&v) = static_cast<SHORT>(value.integer); break;
    case ps::kUI2: V_VT(&v) = VT_UI2; V_UI2(&v) = static_cast<USHORT>(value.unsignedInteger); break;
    case ps::kI4: case ps::kInt: V_VT(&v) = VT_I4; V_I4(&v) = static_cast<LONG>(value.integer); break;
    case ps::kUI4: case ps::kUInt: V_VT(&v) = VT_UI4; V_UI4(&v) = static_cast<ULONG>(value.unsignedInteger); break;
    case ps::kI8: V_VT(&v) = VT_I8; V_I8(&v) = value.integer; break;
    case ps::kUI8: V_VT(&v) = VT_UI8; V_UI8(&v) = value.unsignedInteger; break;
    case ps::kR4: V_VT(&v) = VT_R4; V_R4(&v) = static_cast<float>(value.real); break;
    case ps::kR8: V_VT(&v) = VT_R8; V_R8(&v) = value.real; break;
    case ps::kCy: V_VT(&v) = VT_CY; V_CY(&v).int64 = value.integer; break;
    case ps::kDate: V_VT(&v) = VT_DATE; V_DATE(&v) = value.real; break;
    case ps::kError: V_VT(&v) = VT_ERROR; V_ERROR(&v) = static_cast<SCODE>(value.integer); break;
    case ps::kBool: V_VT(&v) = VT_BOOL; V_BOOL(&v) = value.integer ? VARIANT_TRUE : VARIANT_FALSE; break;
    case ps::kLpstr: case ps::kBstr: case ps::kLpwstr: case ps::kClsid:
        return rud::Variant::fromString(value.text);
    case ps::kFiletime: V_VT(&v) = VT_DATE; V_DATE(&v) = ps::FiletimeToDate(value.unsignedInteger); break;
    default: return ByteArray(value.bytes);  // blobs, clipboard data
    }
    return v;
}

bool Writable(const ps::Property& p) {
    if (p.id == 0 || p.id == kCodePageId || p.id == kLocaleId || p.id == kBehaviorId) return false;
    const ps::Value& v = p.value;
    if (!v.known || (v.type & ps::kVector)) return false;
    switch (v.type) {
    case ps::kBlob: case ps::kCf: case ps::kClsid: case ps::kDecimal: return false;
    default: return true;
    }
}

bool SameValue(const VARIANT& a, const VARIANT& b) {
    if (V_VT(&a) != V_VT(&b)) return false;
    switch (V_VT(&a)) {
    case VT_EMPTY: case VT_NULL: return true;
    case VT_BSTR:
        return SysStringLen(V_BSTR(&a)) == SysStringLen(V_BSTR(&b)) &&
               std::wmemcmp(V_BSTR(&a) ? V_BSTR(&a) : L"", V_BSTR(&b) ? V_BSTR(&b) : L"", SysStringLen(V_BSTR(&a))) == 0;
    case VT_ERROR: return V_ERROR(&a) == V_ERROR(&b);
    default:
        // Read-only values (arrays) cannot have changed.
        if (V_VT(&a) & VT_ARRAY) return true;
        return VarCmp(const_cast<VARIANT*>(&a), const_cast<VARIANT*>(&b), LOCALE_INVARIANT, 0) == VARCMP_EQ;
    }
}

// The stored value for a VARIANT the add-in wrote (already accepted), given what was held.
ps::Value ToStored(const VARIANT& v, const ps::Property& held, uint16_t codePage) {
    ps::Value out;
    const uint16_t heldType = held.value.type;
    switch (V_VT(&v)) {
    case VT_EMPTY: out.type = ps::kEmpty; break;
    case VT_NULL: out.type = ps::kNull; break;
    case VT_I1: out.type = ps::kI1; out.integer = V_I1(&v); break;
    case VT_UI1: out.type = ps::kUI1; out.unsignedInteger = V_UI1(&v); break;
    case VT_I2: out.type = ps::kI2; out.integer = V_I2(&v); break;
    case VT_UI2: out.type = ps::kUI2; out.unsignedInteger = V_UI2(&v); break;
    case VT_I4: out.type = ps::kI4; out.integer = V_I4(&v); break;
    case VT_UI4: out.type = ps::kUI4; out.unsignedInteger = V_UI4(&v); break;
    case VT_I8: out.type = ps::kI8; out.integer = V_I8(&v); break;
    case VT_UI8: out.type = ps::kUI8; out.unsignedInteger = V_UI8(&v); break;
    case VT_R4: out.type = ps::kR4; out.real = V_R4(&v); break;
    case VT_R8: out.type = ps::kR8; out.real = V_R8(&v); break;
    case VT_CY: out.type = ps::kCy; out.integer = V_CY(&v).int64; break;
    case VT_ERROR: out.type = ps::kError; out.integer = V_ERROR(&v); break;
    case VT_BOOL: out.type = ps::kBool; out.integer = V_BOOL(&v) ? -1 : 0; break;
    case VT_DATE:
        if (heldType == ps::kDate) {
            out.type = ps::kDate;
            out.real = V_DATE(&v);
        } else {
            // Dates in property sets are FILETIMEs; a time span stays one.
            const bool duration = heldType == ps::kFiletime && held.value.unsignedInteger < ps::kDurationTicks;
            out.type = ps::kFiletime;
            out.unsignedInteger = ps::DateToFiletime(V_DATE(&v), duration);
        }
        break;
    case VT_BSTR: {
        out.text.assign(V_BSTR(&v) ? V_BSTR(&v) : L"", SysStringLen(V_BSTR(&v)));
        std::string bytes;
        // Text keeps its 8-bit form where the section's code page holds it; otherwise UTF-16.
        if (heldType == ps::kLpwstr || !ps::ToCodePage(out.text, codePage, bytes)) out.type = ps::kLpwstr;
        else out.type = heldType == ps::kBstr ? ps::kBstr : ps::kLpstr;
        break;
    }
    default: throw HostError(DISP_E_TYPEMISMATCH, L"a value of this type cannot be stored");
    }
    return out;
}

// A file this process removes again when done with it.
struct TemporaryFile {
    std::wstring path;
    ~TemporaryFile() {
        if (!path.empty()) DeleteFileW(path.c_str());
    }
};

struct TaskMemFree {
    void operator()(void* p) const noexcept { CoTaskMemFree(p); }
};

std::wstring Why(HRESULT hr) {
    wchar_t buf[16];
    std::swprintf(buf, 16, L"0x%08X", static_cast<unsigned>(hr));
    return buf;
}

bool Locked(HRESULT hr) {
    return hr == STG_E_SHAREVIOLATION || hr == STG_E_LOCKVIOLATION || hr == HRESULT_FROM_WIN32(ERROR_SHARING_VIOLATION) ||
           hr == HRESULT_FROM_WIN32(ERROR_LOCK_VIOLATION);
}

ComPtr<IStorage> OpenStorage(const std::wstring& path, DWORD mode, HRESULT& hr) {
    ComPtr<IStorage> storage;
    hr = StgOpenStorageEx(path.c_str(), mode, STGFMT_STORAGE, 0, nullptr, nullptr, IID_IStorage,
                          reinterpret_cast<void**>(storage.GetAddressOf()));
    if (FAILED(hr)) storage.Reset();
    return storage;
}

std::string ReadStream(IStorage& storage, const std::wstring& name, const std::wstring& path) {
    ComPtr<IStream> stream;
    HRESULT hr = storage.OpenStream(name.c_str(), nullptr, STGM_READ | STGM_SHARE_EXCLUSIVE, 0, stream.GetAddressOf());
    if (FAILED(hr)) throw HostError(hr, path + L": cannot read its stream " + name.substr(1) + L" (" + Why(hr) + L")");
    STATSTG st{};
    hr = stream->Stat(&st, STATFLAG_NONAME);
    if (FAILED(hr) || st.cbSize.QuadPart > 64u * 1024 * 1024)
        throw HostError(FAILED(hr) ? hr : E_FAIL, path + L": cannot read its stream " + name.substr(1));
    std::string bytes(static_cast<size_t>(st.cbSize.QuadPart), '\0');
    ULONG got = 0;
    hr = bytes.empty() ? S_OK : stream->Read(bytes.data(), static_cast<ULONG>(bytes.size()), &got);
    if (FAILED(hr) || got != bytes.size())
        throw HostError(FAILED(hr) ? hr : STG_E_DOCFILECORRUPT, path + L": is cut short (its stream " + name.substr(1) +
                                                                 L" cannot be read whole)");
    return bytes;
}

} // namespace

bool IsCompoundFile(const std::wstring& path) {
    rud::UniqueKernelHandle f(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                          nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (f.get() == INVALID_HANDLE_VALUE) {
        f.release();
        const DWORD error = GetLastError();
        if (error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION)
            throw HostError(HRESULT_FROM_WIN32(error), path + L": is locked by another program");
        return false;
    }
    unsigned char head[8] = {};
    DWORD got = 0;
    return ReadFile(f.get(), head, 8, &got, nullptr) && got == 8 && std::memcmp(head, kSignature, 8) == 0;
}

std::shared_ptr<CompoundDocument> CompoundDocument::Open(const std::wstring& path, DocumentContent& content) {
    HRESULT hr = S_OK;
    ComPtr<IStorage> storage = OpenStorage(path, STGM_READ | STGM_SHARE_DENY_NONE | STGM_TRANSACTED, hr);
    TemporaryFile copy;
    if (!storage && Locked(hr)) {
        // Open in another program that shares it only with readers of the old kind: read a copy.
        wchar_t dir[MAX_PATH] = {}, name[MAX_PATH] = {};
        GetTempPathW(MAX_PATH, dir);
        if (!GetTempFileNameW(dir, L"kvs", 0, name)) throw HostError(HRESULT_FROM_WIN32(GetLastError()), path + L": cannot make a copy to read");
        copy.path = name;
        if (!CopyFileW(path.c_str(), copy.path.c_str(), FALSE))
            throw HostError(hr, path + L": is locked by another program");
        storage = OpenStorage(copy.path, STGM_READ | STGM_SHARE_DENY_WRITE, hr);
    }
    if (!storage) {
        if (Locked(hr)) throw HostError(hr, path + L": is locked by another program");
        throw HostError(FAILED(hr) ? hr : E_FAIL, path + L": is no readable compound file, or is cut short (" + Why(hr) + L")");
    }
    ComPtr<IEnumSTATSTG> elements;
    hr = storage->EnumElements(0, nullptr, 0, elements.GetAddressOf());
    if (FAILED(hr)) throw HostError(hr, path + L": cannot list its streams (" + Why(hr) + L")");
    std::vector<std::wstring> names;
    STATSTG st{};
    ULONG fetched = 0;
    while (elements->Next(1, &st, &fetched) == S_OK && fetched == 1) {
        std::unique_ptr<wchar_t, TaskMemFree> name(st.pwcsName);
        if (!name) continue;
        if (st.type == STGTY_STREAM && std::wstring(name.get()) == L"EncryptedPackage")
            throw HostError(STG_E_ACCESSDENIED, path + L": is encrypted (its properties are inside the encrypted package)");
        if (st.type == STGTY_STREAM && name.get()[0] == L'\005') names.emplace_back(name.get());
    }
    // The well-known sets first, the others by stream name.
    auto rank = [](const std::wstring& n) {
        return n == L"\005SummaryInformation" ? 0 : n == L"\005DocumentSummaryInformation" ? 1 : 2;
    };
    std::sort(names.begin(), names.end(), [&](const std::wstring& a, const std::wstring& b) {
        return rank(a) != rank(b) ? rank(a) < rank(b) : a < b;
    });

    auto doc = std::shared_ptr<CompoundDocument>(new CompoundDocument());
    DocumentContent out;
    for (const std::wstring& name : names) {
        const std::string bytes = ReadStream(*storage.Get(), name, path);
        ps::Stream stream;
        try {
            stream = ps::Parse(bytes);
        } catch (const ps::FormatError& e) {
            throw HostError(STG_E_DOCFILECORRUPT, path + L": its property set " + name.substr(1) + L" is damaged: " +
                                                      Utf8ToWide(e.what()));
        }
        const size_t streamIndex = doc->streams_.size();
        for (size_t k = 0; k < stream.sections.size(); ++k) {
            const ps::Section& section = stream.sections[k];
            SetData set;
            set.name = SetName(section, k);
            SetLink link{streamIndex, k, {}};
            for (size_t i = 0; i < section.properties.size(); ++i) {
                const ps::Property& p = section.properties[i];
                if (p.id == 0) continue;  // the dictionary: names, not a value
                set.properties.push_back(PropertyData{PropertyName(section, p.id), ToVariant(p.value), nullptr});
                link.properties.push_back(i);
            }
            out.sets.push_back(std::move(set));
            doc->sets_.push_back(std::move(link));
        }
        doc->streamNames_.push_back(name);
        doc->streams_.push_back(std::move(stream));
    }
    doc->stored_ = out;
    content = std::move(out);
    return doc;
}

const ps::Property& CompoundDocument::Stored(size_t set, size_t prop) const {
    const SetLink& link = sets_.at(set);
    return streams_.at(link.stream).sections.at(link.section).properties.at(link.properties.at(prop));
}

bool CompoundDocument::ReadOnly(size_t set, size_t prop) const { return !Writable(Stored(set, prop)); }

rud::Variant CompoundDocument::Accept(size_t set, size_t prop, const VARIANT& v) const {
    const ps::Property& held = Stored(set, prop);
    if (!Writable(held))
        throw HostError(E_ACCESSDENIED, L"The property " + stored_.sets.at(set).properties.at(prop).name + L" is read-only");
    rud::Variant value;
    if (FAILED(VariantCopyInd(&value, const_cast<VARIANT*>(&v)))) throw HostError(DISP_E_TYPEMISMATCH, L"a value of this type cannot be stored");
    if (V_VT(&value) == VT_INT || V_VT(&value) == VT_UINT) {
        rud::Variant wide;
        if (FAILED(ChangeType(&wide, &value, V_VT(&value) == VT_INT ? VT_I4 : VT_UI4))) throw HostError(DISP_E_TYPEMISMATCH, L"bad number");
        value = std::move(wide);
    }
    const SetLink& link = sets_.at(set);
    ps::Value stored = ToStored(value, held, streams_.at(link.stream).sections.at(link.section).codePage);
    if ((stored.type == ps::kLpwstr || stored.type == ps::kLpstr) && stored.text.find(L'\0') != std::wstring::npos)
        throw HostError(DISP_E_TYPEMISMATCH, L"text with a NUL character cannot be stored");
    if (V_VT(&value) == VT_DATE && stored.type == ps::kFiletime && V_DATE(&value) < 0)
        throw HostError(DISP_E_OVERFLOW, L"a date before 1899 cannot be stored");
    return value;
}

void CompoundDocument::Save(const std::wstring& path, const DocumentContent& next) {
    std::vector<ps::Stream> streams = streams_;
    std::vector<bool> dirty(streams.size(), false);
    for (size_t s = 0; s < sets_.size() && s < next.sets.size(); ++s) {
        const SetLink& link = sets_[s];
        ps::Section& section = streams[link.stream].sections[link.section];
        for (size_t k = 0; k < link.properties.size() && k < next.sets[s].properties.size(); ++k) {
            const VARIANT& value = next.sets[s].properties[k].value;
            if (SameValue(value, stored_.sets[s].properties[k].value)) continue;
            const size_t index = link.properties[k];
            ps::SetValue(section, index, ToStored(value, section.properties[index], section.codePage));
            dirty[link.stream] = true;
        }
    }
    if (std::find(dirty.begin(), dirty.end(), true) == dirty.end()) return;

    std::vector<std::string> bytes(streams.size());
    for (size_t i = 0; i < streams.size(); ++i) {
        if (!dirty[i]) continue;
        try {
            bytes[i] = ps::Write(streams[i]);
        } catch (const ps::FormatError& e) {
            throw HostError(E_INVALIDARG, path + L": cannot write its property set: " + Utf8ToWide(e.what()));
        }
    }
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY))
        throw HostError(HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED), L"cannot write the read-only file " + path);
    const std::wstring temp = TemporaryBeside(path);
    if (!CopyFileW(path.c_str(), temp.c_str(), FALSE)) {
        const HRESULT hr = HRESULT_FROM_WIN32(GetLastError());
        DeleteFileW(temp.c_str());
        throw HostError(hr, Locked(hr) ? path + L": is locked by another program" : L"cannot write " + path);
    }
    try {
        HRESULT hr = S_OK;
        ComPtr<IStorage> storage = OpenStorage(temp, STGM_READWRITE | STGM_SHARE_EXCLUSIVE | STGM_TRANSACTED, hr);
        if (!storage) throw HostError(hr, L"cannot write " + path + L" (" + Why(hr) + L")");
        for (size_t i = 0; i < streams.size(); ++i) {
            if (!dirty[i]) continue;
            ComPtr<IStream> stream;
            hr = storage->OpenStream(streamNames_[i].c_str(), nullptr, STGM_READWRITE | STGM_SHARE_EXCLUSIVE, 0,
                                     stream.GetAddressOf());
            ULONG put = 0;
            ULARGE_INTEGER size;
            size.QuadPart = bytes[i].size();
            if (SUCCEEDED(hr)) hr = stream->SetSize(size);
            if (SUCCEEDED(hr)) hr = stream->Write(bytes[i].data(), static_cast<ULONG>(bytes[i].size()), &put);
            if (SUCCEEDED(hr) && put != bytes[i].size()) hr = STG_E_MEDIUMFULL;
            if (FAILED(hr)) throw HostError(hr, L"cannot write " + path + L" (" + Why(hr) + L")");
        }
        hr = storage->Commit(STGC_DEFAULT);
        if (FAILED(hr)) throw HostError(hr, L"cannot write " + path + L" (" + Why(hr) + L")");
    } catch (...) {
        DeleteFileW(temp.c_str());
        throw;
    }
    ReplaceWithTemporary(path, temp);
    for (size_t i = 0; i < streams.size(); ++i)
        if (dirty[i]) streams_[i] = ps::Parse(bytes[i]);
    stored_ = next;
}

} // namespace kvhost
