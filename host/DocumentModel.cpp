#include "DocumentModel.h"
#include <nlohmann/json.hpp>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>

namespace kvhost {

using nlohmann::ordered_json;

HostError::HostError(HRESULT hr, std::wstring description)
    : std::runtime_error(WideToUtf8(description)), hr_(hr), description_(std::move(description)) {}

std::wstring Utf8ToWide(std::string_view s) {
    if (s.empty()) return {};
    int n = MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), nullptr, 0);
    std::wstring w(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), w.data(), n);
    return w;
}

std::string WideToUtf8(std::wstring_view s) {
    if (s.empty()) return {};
    int n = WideCharToMultiByte(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), nullptr, 0,
                                nullptr, nullptr);
    std::string a(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), a.data(), n, nullptr,
                        nullptr);
    return a;
}

bool SameName(std::wstring_view a, std::wstring_view b) noexcept {
    return CompareStringOrdinal(a.data(), static_cast<int>(a.size()), b.data(),
                                static_cast<int>(b.size()), TRUE) == CSTR_EQUAL;
}

DATE ParseIsoDate(std::string_view s) {
    SYSTEMTIME st{};
    int y = 0, mo = 0, d = 0, h = 0, mi = 0, se = 0;
    std::string text(s);
    int n = std::sscanf(text.c_str(), "%4d-%2d-%2dT%2d:%2d:%2d", &y, &mo, &d, &h, &mi, &se);
    DATE out = 0;
    if ((n != 3 && n != 6) || mo < 1 || mo > 12 || d < 1 || d > 31 || h > 23 || mi > 59 || se > 59)
        throw HostError(E_INVALIDARG, L"invalid date \"" + Utf8ToWide(s) + L"\"");
    st.wYear = static_cast<WORD>(y); st.wMonth = static_cast<WORD>(mo); st.wDay = static_cast<WORD>(d);
    st.wHour = static_cast<WORD>(h); st.wMinute = static_cast<WORD>(mi); st.wSecond = static_cast<WORD>(se);
    if (!SystemTimeToVariantTime(&st, &out))
        throw HostError(E_INVALIDARG, L"invalid date \"" + Utf8ToWide(s) + L"\"");
    return out;
}

std::string FormatIsoDate(DATE d) {
    SYSTEMTIME st{};
    if (!VariantTimeToSystemTime(d, &st)) throw HostError(E_INVALIDARG, L"date out of range");
    char buf[32];
    if (st.wHour == 0 && st.wMinute == 0 && st.wSecond == 0)
        std::snprintf(buf, sizeof buf, "%04u-%02u-%02u", st.wYear, st.wMonth, st.wDay);
    else
        std::snprintf(buf, sizeof buf, "%04u-%02u-%02uT%02u:%02u:%02u", st.wYear, st.wMonth, st.wDay,
                      st.wHour, st.wMinute, st.wSecond);
    return buf;
}

namespace {

struct TypeName {
    const char* name;
    VARTYPE vt;
};
constexpr TypeName kTypes[] = {{"i1", VT_I1},   {"ui1", VT_UI1}, {"i2", VT_I2},       {"ui2", VT_UI2},
                               {"i4", VT_I4},   {"ui4", VT_UI4}, {"i8", VT_I8},       {"ui8", VT_UI8},
                               {"int", VT_INT}, {"uint", VT_UINT}, {"r4", VT_R4},     {"r8", VT_R8},
                               {"cy", VT_CY},   {"decimal", VT_DECIMAL}, {"bool", VT_BOOL}, {"bstr", VT_BSTR}};

const char* NameOfType(VARTYPE vt) {
    for (const auto& t : kTypes)
        if (t.vt == vt) return t.name;
    return nullptr;
}

// Texts of typed values are read and written in the invariant locale, so files do not depend on
// the user's settings.
constexpr LCID kInvariant = LOCALE_INVARIANT;

rud::Variant FromText(const std::string& text, VARTYPE vt, const std::wstring& where) {
    rud::Variant s = rud::Variant::fromString(Utf8ToWide(text));
    rud::Variant out;
    if (FAILED(VariantChangeTypeEx(&out, &s, kInvariant, 0, vt)))
        throw HostError(E_INVALIDARG, where + L": \"" + Utf8ToWide(text) + L"\" is no " + Utf8ToWide(NameOfType(vt)));
    return out;
}

rud::Variant PlainFromJson(const ordered_json& v, const std::wstring& where);

rud::Variant TypedFromJson(const ordered_json& p, const std::wstring& where, std::shared_ptr<rud::Variant>* referent) {
    std::string type = p.contains("type") ? p.at("type").get<std::string>() : std::string();
    const ordered_json v = p.contains("value") ? p.at("value") : ordered_json();
    if (type.empty()) return PlainFromJson(v, where);
    if (type == "null") return rud::Variant::null();
    if (type == "date") {
        if (!v.is_string()) throw HostError(E_INVALIDARG, where + L": a date needs a text value");
        rud::Variant r;
        V_VT(&r) = VT_DATE;
        V_DATE(&r) = ParseIsoDate(v.get<std::string>());
        return r;
    }
    if (type == "error") {
        if (!v.is_number_integer()) throw HostError(E_INVALIDARG, where + L": an error needs a number");
        rud::Variant r;
        V_VT(&r) = VT_ERROR;
        V_ERROR(&r) = static_cast<SCODE>(v.get<long long>());
        return r;
    }
    if (type == "array") {
        if (!v.is_array()) throw HostError(E_INVALIDARG, where + L": an array needs a list");
        SAFEARRAY* sa = SafeArrayCreateVector(VT_VARIANT, 0, static_cast<ULONG>(v.size()));
        if (!sa) throw HostError(E_OUTOFMEMORY, where + L": no memory for the array");
        rud::Variant r;
        V_VT(&r) = VT_ARRAY | VT_VARIANT;
        V_ARRAY(&r) = sa;
        for (LONG i = 0; i < static_cast<LONG>(v.size()); ++i) {
            const ordered_json& e = v.at(static_cast<size_t>(i));
            rud::Variant item = e.is_object() ? TypedFromJson(e, where, nullptr) : PlainFromJson(e, where);
            SafeArrayPutElement(sa, &i, &item);
        }
        return r;
    }
    if (type == "byref") {
        if (!referent || !v.is_object()) throw HostError(E_INVALIDARG, where + L": byref needs a typed value");
        *referent = std::make_shared<rud::Variant>(TypedFromJson(v, where, nullptr));
        if (V_VT(referent->get()) & (VT_ARRAY | VT_BYREF))
            throw HostError(E_INVALIDARG, where + L": byref of an array is not supported");
        rud::Variant r;
        V_VT(&r) = static_cast<VARTYPE>(VT_BYREF | V_VT(referent->get()));
        V_BYREF(&r) = &(*referent)->bstrVal;  // every member of the union starts at the same place
        return r;
    }
    for (const auto& t : kTypes)
        if (type == t.name) {
            if (!v.is_string()) throw HostError(E_INVALIDARG, where + L": a " + Utf8ToWide(type) + L" needs a text value");
            return FromText(v.get<std::string>(), t.vt, where);
        }
    throw HostError(E_INVALIDARG, where + L": unknown type \"" + Utf8ToWide(type) + L"\"");
}

rud::Variant PlainFromJson(const ordered_json& v, const std::wstring& where) {
    if (v.is_null()) return rud::Variant();
    if (v.is_boolean()) return rud::Variant::fromBool(v.get<bool>());
    if (v.is_string()) return rud::Variant::fromString(Utf8ToWide(v.get<std::string>()));
    if (v.is_number_integer()) {
        long long n = v.get<long long>();
        if (n >= std::numeric_limits<LONG>::min() && n <= std::numeric_limits<LONG>::max())
            return rud::Variant::fromLong(static_cast<LONG>(n));
    }
    if (v.is_number()) {
        rud::Variant r;
        V_VT(&r) = VT_R8;
        V_R8(&r) = v.get<double>();
        return r;
    }
    throw HostError(E_INVALIDARG, where + L": a value must be text, a number, a Boolean or null");
}

rud::Variant ValueFromJson(const ordered_json& p, const std::wstring& where, std::shared_ptr<rud::Variant>& referent) {
    return TypedFromJson(p, where, &referent);
}

// A typed value in the form TypedFromJson reads.
ordered_json TypedToJson(const VARIANT& value, const std::wstring& name) {
    ordered_json p = ordered_json::object();
    const VARTYPE vt = V_VT(&value);
    if (vt & VT_BYREF) {
        rud::Variant inner;
        if (FAILED(VariantCopyInd(&inner, const_cast<VARIANT*>(&value))))
            throw HostError(E_INVALIDARG, L"value of " + name + L" cannot be stored");
        p["type"] = "byref";
        p["value"] = TypedToJson(inner, name);
        return p;
    }
    if (vt == (VT_ARRAY | VT_VARIANT)) {
        p["type"] = "array";
        ordered_json items = ordered_json::array();
        SAFEARRAY* sa = V_ARRAY(&value);
        LONG lo = 0, hi = -1;
        if (sa && SafeArrayGetDim(sa) == 1) {
            SafeArrayGetLBound(sa, 1, &lo);
            SafeArrayGetUBound(sa, 1, &hi);
        }
        for (LONG i = lo; i <= hi; ++i) {
            rud::Variant item;
            SafeArrayGetElement(sa, &i, &item);
            items.push_back(TypedToJson(item, name));
        }
        p["value"] = items;
        return p;
    }
    switch (vt) {
    case VT_EMPTY: p["value"] = nullptr; return p;
    case VT_NULL: p["type"] = "null"; return p;
    case VT_DATE: p["type"] = "date"; p["value"] = FormatIsoDate(V_DATE(&value)); return p;
    case VT_ERROR: p["type"] = "error"; p["value"] = static_cast<long long>(V_ERROR(&value)); return p;
    case VT_BOOL: p["value"] = V_BOOL(&value) != VARIANT_FALSE; return p;
    case VT_BSTR:
        p["value"] = WideToUtf8(std::wstring_view(V_BSTR(&value) ? V_BSTR(&value) : L"", SysStringLen(V_BSTR(&value))));
        return p;
    case VT_I4: p["value"] = V_I4(&value); return p;
    case VT_R8:
        if (std::isfinite(V_R8(&value))) { p["value"] = V_R8(&value); return p; }
        break;
    default: break;
    }
    const char* typeName = NameOfType(vt);
    rud::Variant text;
    if (!typeName || FAILED(VariantChangeTypeEx(&text, const_cast<VARIANT*>(&value), kInvariant, 0, VT_BSTR)))
        throw HostError(E_INVALIDARG, L"value of " + name + L" cannot be stored");
    p["type"] = typeName;
    p["value"] = WideToUtf8(std::wstring_view(V_BSTR(&text), SysStringLen(V_BSTR(&text))));
    return p;
}

ordered_json ValueToJson(const std::wstring& name, const VARIANT& value) {
    ordered_json p;
    p["name"] = WideToUtf8(name);
    const ordered_json typed = TypedToJson(value, name);
    if (typed.contains("type")) p["type"] = typed.at("type");
    if (typed.contains("value")) p["value"] = typed.at("value");
    return p;
}

} // namespace

std::string ValueJson(const VARIANT& value) { return TypedToJson(value, L"value").dump(); }

DocumentContent ParseDocument(std::string_view utf8Json) {
    ordered_json j;
    try {
        j = ordered_json::parse(utf8Json);
    } catch (const std::exception& e) {
        throw HostError(E_INVALIDARG, L"not a valid document: " + Utf8ToWide(e.what()));
    }
    DocumentContent doc;
    try {
        if (!j.is_object() || !j.contains("propertySets") || !j.at("propertySets").is_array())
            throw HostError(E_INVALIDARG, L"not a valid document: no \"propertySets\" list");
        for (const auto& s : j.at("propertySets")) {
            if (!s.is_object() || !s.contains("name") || !s.at("name").is_string())
                throw HostError(E_INVALIDARG, L"not a valid document: a property set without a name");
            SetData set;
            set.name = Utf8ToWide(s.at("name").get<std::string>());
            if (s.contains("properties")) {
                if (!s.at("properties").is_array())
                    throw HostError(E_INVALIDARG, L"not a valid document: properties of " + set.name + L" are not a list");
                for (const auto& p : s.at("properties")) {
                    if (!p.is_object() || !p.contains("name") || !p.at("name").is_string())
                        throw HostError(E_INVALIDARG, L"not a valid document: a property of " + set.name + L" without a name");
                    PropertyData prop;
                    prop.name = Utf8ToWide(p.at("name").get<std::string>());
                    prop.value = ValueFromJson(p, set.name + L"|" + prop.name, prop.referent);
                    set.properties.push_back(std::move(prop));
                }
            }
            doc.sets.push_back(std::move(set));
        }
    } catch (const HostError&) {
        throw;
    } catch (const std::exception& e) {
        throw HostError(E_INVALIDARG, L"not a valid document: " + Utf8ToWide(e.what()));
    }
    return doc;
}

std::string SerializeDocument(const DocumentContent& content) {
    // One property per line, as the sample documents are written by hand.
    std::string out = "{\n  \"propertySets\": [\n";
    for (size_t i = 0; i < content.sets.size(); ++i) {
        const SetData& s = content.sets[i];
        out += "    {\n      \"name\": " + ordered_json(WideToUtf8(s.name)).dump() + ",\n      \"properties\": [";
        for (size_t k = 0; k < s.properties.size(); ++k) {
            const ordered_json p = ValueToJson(s.properties[k].name, s.properties[k].value);
            out += k ? ",\n        { " : "\n        { ";
            bool first = true;
            for (const auto& [key, value] : p.items()) {
                out += (first ? "" : ", ") + ordered_json(key).dump() + ": " + value.dump();
                first = false;
            }
            out += " }";
        }
        out += s.properties.empty() ? "]\n    }" : "\n      ]\n    }";
        out += i + 1 < content.sets.size() ? ",\n" : "\n";
    }
    return out + "  ]\n}\n";
}

std::string ReadFileBytes(const std::wstring& path) {
    rud::UniqueKernelHandle f(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                          OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (f.get() == INVALID_HANDLE_VALUE) {
        f.release();
        throw HostError(HRESULT_FROM_WIN32(GetLastError()), L"cannot open " + path);
    }
    std::string bytes;
    char buf[65536];
    DWORD got = 0;
    while (ReadFile(f.get(), buf, sizeof buf, &got, nullptr) && got > 0) bytes.append(buf, got);
    return bytes;
}

namespace {
std::optional<size_t> g_failWritesAfter;

// Writes all bytes to an open file in pieces; the seam can cut it off after some of them.
bool WriteAll(HANDLE f, std::string_view bytes) {
    constexpr size_t kPiece = 4096;
    size_t done = 0;
    while (done < bytes.size()) {
        size_t n = std::min(kPiece, bytes.size() - done);
        if (g_failWritesAfter) {
            if (done >= *g_failWritesAfter) {
                SetLastError(ERROR_DISK_FULL);
                return false;
            }
            n = std::min(n, *g_failWritesAfter - done);
        }
        DWORD put = 0;
        if (!WriteFile(f, bytes.data() + done, static_cast<DWORD>(n), &put, nullptr) || put != n) return false;
        done += n;
    }
    if (g_failWritesAfter && bytes.size() > *g_failWritesAfter) {
        SetLastError(ERROR_DISK_FULL);
        return false;
    }
    return true;
}
} // namespace

void FailFileWritesAfter(std::optional<size_t> bytes) noexcept { g_failWritesAfter = bytes; }

std::wstring TemporaryBeside(const std::wstring& path) {
    const size_t slash = path.find_last_of(L"\\/");
    return path.substr(0, slash == std::wstring::npos ? 0 : slash + 1) + L"~" +
           path.substr(slash == std::wstring::npos ? 0 : slash + 1) + L"." + std::to_wstring(GetCurrentProcessId()) +
           L".tmp";
}

namespace {
[[noreturn]] void FailWithTemporary(const std::wstring& temp, const std::wstring& what) {
    const HRESULT hr = HRESULT_FROM_WIN32(GetLastError());
    DeleteFileW(temp.c_str());
    throw HostError(FAILED(hr) ? hr : E_FAIL, what);
}
} // namespace

void ReplaceWithTemporary(const std::wstring& path, const std::wstring& temp) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        // A new file: nothing to keep.
        if (!MoveFileExW(temp.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
            FailWithTemporary(temp, L"cannot write " + path);
        return;
    }
    if (attributes & FILE_ATTRIBUTE_READONLY) {
        SetLastError(ERROR_ACCESS_DENIED);
        FailWithTemporary(temp, L"cannot write the read-only file " + path);
    }
    // The new file takes the original's attributes (ReplaceFileW keeps them on Windows; Wine's
    // does not).
    SetFileAttributesW(temp.c_str(), attributes);
    if (!ReplaceFileW(path.c_str(), temp.c_str(), nullptr, REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr, nullptr)) {
        // Where the file system cannot replace, a move over the original is still one step.
        if (!MoveFileExW(temp.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
            FailWithTemporary(temp, L"cannot write " + path);
    }
}

void WriteFileBytes(const std::wstring& path, std::string_view bytes) {
    const std::wstring temp = TemporaryBeside(path);
    {
        rud::UniqueKernelHandle f(CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                              FILE_ATTRIBUTE_NORMAL, nullptr));
        if (f.get() == INVALID_HANDLE_VALUE) {
            f.release();
            FailWithTemporary(temp, L"cannot write " + path);
        }
        if (!WriteAll(f.get(), bytes) || !FlushFileBuffers(f.get())) {
            const DWORD error = GetLastError();
            f.reset();
            SetLastError(error);
            FailWithTemporary(temp, L"cannot write " + path);
        }
    }
    ReplaceWithTemporary(path, temp);
}

DocumentContent LoadDocumentFile(const std::wstring& path) {
    try {
        return ParseDocument(ReadFileBytes(path));
    } catch (const HostError& e) {
        if (e.description().starts_with(L"cannot open")) throw;
        throw HostError(e.hr(), path + L": " + e.description());
    }
}

void SaveDocumentFile(const std::wstring& path, const DocumentContent& content) {
    WriteFileBytes(path, SerializeDocument(content));
}

} // namespace kvhost
