// The values of property-set streams beyond their bytes: text in a section's code page, FILETIMEs
// as automation dates, and the well-known format ids.
#include "PropertySetCodec.h"
#include <algorithm>
#include <cstring>
#include <cwchar>

namespace kvhost::propset {

const GUID kSummaryInformation = {0xF29F85E0, 0x4FF9, 0x1068, {0xAB, 0x91, 0x08, 0x00, 0x2B, 0x27, 0xB3, 0xD9}};
const GUID kDocSummaryInformation = {0xD5CDD502, 0x2E9C, 0x101B, {0x93, 0x97, 0x08, 0x00, 0x2B, 0x2C, 0xF9, 0xAE}};
const GUID kUserDefinedProperties = {0xD5CDD505, 0x2E9C, 0x101B, {0x93, 0x97, 0x08, 0x00, 0x2B, 0x2C, 0xF9, 0xAE}};

namespace {
constexpr uint64_t kTicksPerDay = 864000000000ull;
// From 1601-01-01 (FILETIME's start) to 1899-12-30 (the automation date's zero).
constexpr uint64_t kTicksTo1899 = 94353120000000000ull;
} // namespace

bool SameFormat(const GUID& stored, const GUID& known) noexcept {
    if (IsEqualGUID(stored, known)) return true;
    GUID swapped = stored;
    swapped.Data1 = _byteswap_ulong(stored.Data1);
    swapped.Data2 = _byteswap_ushort(stored.Data2);
    swapped.Data3 = _byteswap_ushort(stored.Data3);
    return IsEqualGUID(swapped, known);
}

std::wstring FromCodePage(std::string_view bytes, uint16_t codePage) {
    if (codePage == kUnicodeCodePage) {
        std::wstring w(bytes.size() / 2, L'\0');
        std::memcpy(w.data(), bytes.data(), w.size() * 2);
        w.resize(std::wcslen(w.c_str()) < w.size() ? std::wcslen(w.c_str()) : w.size());
        return w;
    }
    bytes = bytes.substr(0, std::min(bytes.size(), bytes.find('\0')));
    if (bytes.empty()) return {};
    const UINT cp = codePage == 0 ? 1252 : codePage == 65001 ? CP_UTF8 : codePage;
    int n = MultiByteToWideChar(cp, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
    UINT used = cp;
    if (n <= 0) {
        used = 1252;
        n = MultiByteToWideChar(used, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
    }
    std::wstring w(static_cast<size_t>(std::max(n, 0)), L'\0');
    if (n > 0) MultiByteToWideChar(used, 0, bytes.data(), static_cast<int>(bytes.size()), w.data(), n);
    return w;
}

bool ToCodePage(std::wstring_view text, uint16_t codePage, std::string& out) {
    out.clear();
    if (text.find(L'\0') != std::wstring_view::npos) return false;
    if (codePage == kUnicodeCodePage) {
        out.assign(reinterpret_cast<const char*>(text.data()), text.size() * 2);
        out.append(2, '\0');
        return true;
    }
    const UINT cp = codePage == 0 ? 1252 : codePage == 65001 ? CP_UTF8 : codePage;
    if (!text.empty()) {
        const int n = WideCharToMultiByte(cp, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
        if (n <= 0) return false;
        out.resize(static_cast<size_t>(n));
        WideCharToMultiByte(cp, 0, text.data(), static_cast<int>(text.size()), out.data(), n, nullptr, nullptr);
    }
    out += '\0';
    // Whatever the code page replaced or dropped shows as a difference on the way back.
    return FromCodePage(out, codePage) == text;
}

double FiletimeToDate(uint64_t ticks) noexcept {
    if (ticks < kDurationTicks) return static_cast<double>(ticks) / kTicksPerDay;
    return (static_cast<double>(ticks) - static_cast<double>(kTicksTo1899)) / kTicksPerDay;
}

uint64_t DateToFiletime(double date, bool duration) noexcept {
    double ticks = date * kTicksPerDay + (duration ? 0.0 : static_cast<double>(kTicksTo1899));
    if (!(ticks > 0)) return 0;
    if (ticks > 1.8e19) return UINT64_MAX;
    // Whole seconds where the date is one (automation dates carry no more than milliseconds).
    const uint64_t t = static_cast<uint64_t>(ticks + 0.5);
    return t;
}

} // namespace kvhost::propset
