#include "PropertySetCodec.h"
#include <objbase.h>
#include <algorithm>
#include <cstdio>
#include <functional>
#include <cstring>
#include <numeric>

namespace kvhost::propset {

const GUID kSummaryInformation = {0xF29F85E0, 0x4FF9, 0x1068, {0xAB, 0x91, 0x08, 0x00, 0x2B, 0x27, 0xB3, 0xD9}};
const GUID kDocSummaryInformation = {0xD5CDD502, 0x2E9C, 0x101B, {0x93, 0x97, 0x08, 0x00, 0x2B, 0x2C, 0xF9, 0xAE}};
const GUID kUserDefinedProperties = {0xD5CDD505, 0x2E9C, 0x101B, {0x93, 0x97, 0x08, 0x00, 0x2B, 0x2C, 0xF9, 0xAE}};

namespace {

constexpr size_t kHeaderSize = 28;
constexpr size_t kSectionEntrySize = 20;
constexpr uint64_t kTicksPerDay = 864000000000ull;
// From 1601-01-01 (FILETIME's start) to 1899-12-30 (the automation date's zero).
constexpr uint64_t kTicksTo1899 = 94353120000000000ull;

size_t Padded(size_t n) noexcept { return (n + 3) & ~size_t{3}; }

std::string Hex(uint32_t n) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%X", n);
    return buf;
}

// Little-endian reads inside [begin, end) of the bytes; anything outside is a FormatError.
class Reader {
public:
    Reader(std::string_view bytes, size_t begin, size_t end, std::string what)
        : bytes_(bytes), pos_(begin), end_(end), what_(std::move(what)) {}
    size_t pos() const noexcept { return pos_; }
    size_t end() const noexcept { return end_; }
    size_t left() const noexcept { return end_ - pos_; }
    void Need(size_t n) const {
        if (n > left()) throw FormatError(what_ + " runs past its end");
    }
    void Seek(size_t p) {
        if (p > end_) throw FormatError(what_ + " runs past its end");
        pos_ = p;
    }
    uint8_t U8() { Need(1); return static_cast<uint8_t>(bytes_[pos_++]); }
    uint16_t U16() { Need(2); uint16_t v; std::memcpy(&v, bytes_.data() + pos_, 2); pos_ += 2; return v; }
    uint32_t U32() { Need(4); uint32_t v; std::memcpy(&v, bytes_.data() + pos_, 4); pos_ += 4; return v; }
    uint64_t U64() { Need(8); uint64_t v; std::memcpy(&v, bytes_.data() + pos_, 8); pos_ += 8; return v; }
    std::string_view Bytes(size_t n) { Need(n); auto v = bytes_.substr(pos_, n); pos_ += n; return v; }
    uint32_t PeekU32(size_t at) const {
        if (at + 4 > end_) return 0xFFFFFFFF;
        uint32_t v;
        std::memcpy(&v, bytes_.data() + at, 4);
        return v;
    }
    bool ZerosUpTo(size_t to) const {
        for (size_t i = pos_; i < to && i < end_; ++i)
            if (bytes_[i] != 0) return false;
        return true;
    }
    const std::string& what() const noexcept { return what_; }

private:
    std::string_view bytes_;
    size_t pos_, end_;
    std::string what_;
};

GUID ReadGuid(Reader& r) {
    GUID g;
    std::string_view b = r.Bytes(16);
    std::memcpy(&g, b.data(), 16);
    return g;
}

bool IsString(uint16_t t) noexcept { return t == kLpstr || t == kBstr || t == kLpwstr; }

// The smallest number of bytes one element of a vector of this type takes (0: not decodable).
size_t MinElementSize(uint16_t t) noexcept {
    switch (t) {
    case kI1: case kUI1: return 1;
    case kI2: case kUI2: case kBool: return 2;
    case kI4: case kUI4: case kInt: case kUInt: case kR4: case kError: case kLpstr: case kBstr: case kLpwstr:
    case kVariant: case kBlob: case kCf: return 4;
    case kR8: case kDate: case kCy: case kI8: case kUI8: case kFiletime: return 8;
    case kClsid: return 16;
    default: return 0;
    }
}

class Decoder {
public:
    explicit Decoder(uint16_t codePage) : codePage_(codePage) {}

    // A whole stored property: type word, value.
    Value Typed(Reader& r) const {
        const uint16_t type = static_cast<uint16_t>(r.U32() & 0xFFFF);
        return OfType(r, type, true);
    }

private:
    Value OfType(Reader& r, uint16_t type, bool padScalars) const {
        Value v;
        v.type = type;
        if (type & kVector) {
            Vector(r, v);
            return v;
        }
        if (!Scalar(r, v, padScalars, nullptr)) Unknown(r, v);
        return v;
    }

    static void Unknown(Reader& r, Value& v) {
        v.known = false;
        v.bytes = std::string(r.Bytes(r.left()));
    }

    // Reads one scalar; false for a type not known here. next: in a vector, the position of the
    // element after this one is chosen here (strings there may be written without padding).
    bool Scalar(Reader& r, Value& v, bool pad, const std::function<bool(size_t)>* plausibleNext) const {
        const uint16_t t = v.type;
        // Padding counts from the value's start: after a string written without it, the values
        // that follow are not on 4-byte boundaries of the stream.
        const size_t start = r.pos();
        switch (t) {
        case kEmpty: case kNull: return true;
        case kI1: v.integer = static_cast<int8_t>(r.U8()); break;
        case kUI1: v.unsignedInteger = r.U8(); break;
        case kI2: v.integer = static_cast<int16_t>(r.U16()); break;
        case kBool: v.integer = static_cast<int16_t>(r.U16()); break;
        case kUI2: v.unsignedInteger = r.U16(); break;
        case kI4: case kInt: case kError: v.integer = static_cast<int32_t>(r.U32()); break;
        case kUI4: case kUInt: v.unsignedInteger = r.U32(); break;
        case kR4: { uint32_t b = r.U32(); float f; std::memcpy(&f, &b, 4); v.real = f; break; }
        case kR8: case kDate: { uint64_t b = r.U64(); std::memcpy(&v.real, &b, 8); break; }
        case kCy: case kI8: v.integer = static_cast<int64_t>(r.U64()); break;
        case kUI8: case kFiletime: v.unsignedInteger = r.U64(); break;
        case kClsid: {
            GUID g = ReadGuid(r);
            wchar_t buf[40] = {};
            StringFromGUID2(g, buf, 40);
            v.text = buf;
            v.bytes.assign(reinterpret_cast<const char*>(&g), 16);
            break;
        }
        case kLpstr: case kBstr: case kLpwstr: {
            const uint32_t count = r.U32();
            const size_t size = t == kLpwstr ? static_cast<size_t>(count) * 2 : count;
            if (t == kLpwstr && count > r.left() / 2) throw FormatError(r.what() + ": a string longer than its room");
            std::string_view s = r.Bytes(size);
            v.text = FromCodePage(s, t == kLpwstr ? kUnicodeCodePage : codePage_);
            StringEnd(r, v, start, plausibleNext);
            return true;
        }
        case kBlob: case kCf: {
            const uint32_t size = r.U32();
            v.bytes = std::string(r.Bytes(size));
            r.Seek(std::min(r.end(), r.pos() + (Padded(size) - size)));
            return true;
        }
        default:
            return false;
        }
        if (pad) r.Seek(std::min(r.end(), start + Padded(r.pos() - start)));
        return true;
    }

    // After a string's characters: the padding to 4 bytes, unless this is an element of a
    // vector whose writer left the padding out (the padding bytes are not zero, and what follows
    // without them makes sense).
    static void StringEnd(Reader& r, Value& v, size_t start, const std::function<bool(size_t)>* plausibleNext) {
        const size_t padded = std::min(r.end(), start + Padded(r.pos() - start));
        if (!plausibleNext || padded == r.pos()) {
            r.Seek(padded);
            return;
        }
        const size_t unpadded = r.pos();
        const bool zeros = r.ZerosUpTo(padded);
        size_t choice = zeros ? padded : unpadded;
        const size_t other = zeros ? unpadded : padded;
        if (!(*plausibleNext)(choice) && (*plausibleNext)(other)) choice = other;
        if (choice == unpadded) v.unpadded = true;
        r.Seek(choice);
    }

    void Vector(Reader& r, Value& v) const {
        const uint16_t element = static_cast<uint16_t>(v.type & ~kVector);
        const size_t min = MinElementSize(element);
        if (!min) {
            Unknown(r, v);
            return;
        }
        const uint32_t count = r.U32();
        if (count > r.left() / min) throw FormatError(r.what() + ": a vector longer than its room");
        v.items.reserve(count);
        for (uint32_t i = 0; i < count; ++i) {
            const bool last = i + 1 == count;
            // Where the next element may start: its length or type word must fit what is left.
            std::function<bool(size_t)> plausible = [&r, element](size_t at) {
                const uint32_t word = r.PeekU32(at);
                if (word == 0xFFFFFFFF && at + 4 > r.end()) return false;
                if (element == kVariant) return (word >> 16) == 0 && ((word & 0xFFFF) < 0x50 || (word & kVector));
                const size_t unit = element == kLpwstr ? 2 : 1;
                return word <= (r.end() - at - 4) / unit;
            };
            Value item;
            if (element == kVariant) {
                item.type = static_cast<uint16_t>(r.U32() & 0xFFFF);
                if ((item.type & kVector) || !Scalar(r, item, true, last ? nullptr : &plausible))
                    throw FormatError(r.what() + ": a variant of type " + Hex(item.type) + " in a vector");
            } else {
                item.type = element;
                Scalar(r, item, false, IsString(element) && !last ? &plausible : nullptr);
            }
            if (item.unpadded) v.unpadded = true;
            v.items.push_back(std::move(item));
        }
    }

    uint16_t codePage_;
};

std::vector<std::pair<uint32_t, std::wstring>> ReadDictionary(Reader& r, uint16_t codePage) {
    std::vector<std::pair<uint32_t, std::wstring>> names;
    const uint32_t count = r.U32();
    if (count > r.left() / 8) throw FormatError(r.what() + ": a dictionary longer than its room");
    for (uint32_t i = 0; i < count; ++i) {
        const uint32_t id = r.U32();
        const uint32_t length = r.U32();
        if (codePage == kUnicodeCodePage) {
            if (length > r.left() / 2) throw FormatError(r.what() + ": a name longer than its room");
            std::string_view s = r.Bytes(static_cast<size_t>(length) * 2);
            names.emplace_back(id, FromCodePage(s, codePage));
            r.Seek(std::min(r.end(), r.pos() + (Padded(s.size()) - s.size())));
        } else {
            names.emplace_back(id, FromCodePage(r.Bytes(length), codePage));
        }
    }
    return names;
}

void PutU16(std::string& out, uint16_t v) { out.append(reinterpret_cast<const char*>(&v), 2); }
void PutU32(std::string& out, uint32_t v) { out.append(reinterpret_cast<const char*>(&v), 4); }
void PutU64(std::string& out, uint64_t v) { out.append(reinterpret_cast<const char*>(&v), 8); }
void Pad(std::string& out, size_t from) { out.append(Padded(out.size() - from) - (out.size() - from), '\0'); }
void SetU32(std::string& out, size_t at, uint32_t v) { std::memcpy(out.data() + at, &v, 4); }

// One value without its type word; pad: each scalar padded to 4 bytes (not inside a vector of
// scalars, where only the whole vector is).
void EncodeData(std::string& out, const Value& v, uint16_t codePage, bool pad) {
    const size_t start = out.size();
    const uint16_t t = v.type;
    if (!v.known) {
        out += v.bytes;
        return;
    }
    if (t & kVector) {
        const uint16_t element = static_cast<uint16_t>(t & ~kVector);
        PutU32(out, static_cast<uint32_t>(v.items.size()));
        for (const Value& item : v.items) {
            if (element == kVariant) {
                if (item.type & kVector) throw FormatError("a vector inside a vector");
                PutU32(out, item.type);
                EncodeData(out, item, codePage, true);
            } else {
                Value typed = item;
                typed.type = element;
                EncodeData(out, typed, codePage, IsString(element));
            }
        }
        Pad(out, start);
        return;
    }
    switch (t) {
    case kEmpty: case kNull: return;
    case kI1: out += static_cast<char>(v.integer); break;
    case kUI1: out += static_cast<char>(v.unsignedInteger); break;
    case kI2: case kBool: PutU16(out, static_cast<uint16_t>(v.integer)); break;
    case kUI2: PutU16(out, static_cast<uint16_t>(v.unsignedInteger)); break;
    case kI4: case kInt: case kError: PutU32(out, static_cast<uint32_t>(v.integer)); break;
    case kUI4: case kUInt: PutU32(out, static_cast<uint32_t>(v.unsignedInteger)); break;
    case kR4: { float f = static_cast<float>(v.real); uint32_t b; std::memcpy(&b, &f, 4); PutU32(out, b); break; }
    case kR8: case kDate: { uint64_t b; std::memcpy(&b, &v.real, 8); PutU64(out, b); break; }
    case kCy: case kI8: PutU64(out, static_cast<uint64_t>(v.integer)); break;
    case kUI8: case kFiletime: PutU64(out, v.unsignedInteger); break;
    case kClsid:
        if (v.bytes.size() != 16) throw FormatError("a class id of " + std::to_string(v.bytes.size()) + " bytes");
        out += v.bytes;
        break;
    case kLpstr: case kBstr: {
        std::string s;
        if (!ToCodePage(v.text, codePage, s))
            throw FormatError("text that code page " + std::to_string(codePage) + " cannot hold");
        PutU32(out, static_cast<uint32_t>(s.size()));
        out += s;
        break;
    }
    case kLpwstr:
        PutU32(out, static_cast<uint32_t>(v.text.size() + 1));
        out.append(reinterpret_cast<const char*>(v.text.data()), v.text.size() * 2);
        PutU16(out, 0);
        break;
    case kBlob: case kCf:
        PutU32(out, static_cast<uint32_t>(v.bytes.size()));
        out += v.bytes;
        break;
    default:
        throw FormatError("a value of type " + Hex(t));
    }
    if (pad) Pad(out, start);
}

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

const Property* Section::Find(uint32_t id) const noexcept {
    for (const Property& p : properties)
        if (p.id == id) return &p;
    return nullptr;
}

std::wstring Section::NameOf(uint32_t id) const {
    for (const auto& [key, name] : dictionary)
        if (key == id) return name;
    return {};
}

bool Stream::Changed() const noexcept {
    for (const Section& s : sections)
        for (const Property& p : s.properties)
            if (p.changed) return true;
    return false;
}

namespace {

Section ReadSection(std::string_view bytes, const GUID& formatId, uint32_t offset, size_t index) {
    const std::string what = "section " + std::to_string(index);
    Reader head(bytes, offset, bytes.size(), what);
    const uint32_t size = head.U32();
    const uint32_t count = head.U32();
    if (size < 8 || size > bytes.size() - offset) throw FormatError(what + " is larger than the stream");
    if (count > (size - 8) / 8) throw FormatError(what + " has more properties than room");
    Section s;
    s.formatId = formatId;
    s.offset = offset;
    s.original = std::string(bytes.substr(offset, size));
    const std::string_view sec = s.original;
    Reader table(sec, 8, size, what);
    std::vector<uint32_t> offsets;
    const size_t tableEnd = 8 + static_cast<size_t>(count) * 8;
    for (uint32_t i = 0; i < count; ++i) {
        Property p;
        p.id = table.U32();
        const uint32_t at = table.U32();
        if (at < tableEnd || at >= size)
            throw FormatError(what + ": property " + Hex(p.id) + " lies outside the section");
        offsets.push_back(at);
        s.properties.push_back(std::move(p));
    }
    s.valueOrder.resize(count);
    std::iota(s.valueOrder.begin(), s.valueOrder.end(), size_t{0});
    std::stable_sort(s.valueOrder.begin(), s.valueOrder.end(),
                     [&](size_t a, size_t b) { return offsets[a] < offsets[b]; });
    s.lead = count ? std::string(sec.substr(tableEnd, offsets[s.valueOrder[0]] - tableEnd)) : std::string(sec.substr(tableEnd));
    // Each value's room reaches the next value (or the section's end).
    std::vector<size_t> ends(count, size);
    for (size_t k = 0; k < count; ++k) {
        const size_t i = s.valueOrder[k];
        for (size_t m = k + 1; m < count; ++m)
            if (offsets[s.valueOrder[m]] > offsets[i]) {
                ends[i] = offsets[s.valueOrder[m]];
                break;
            }
        s.properties[i].stored = std::string(sec.substr(offsets[i], ends[i] - offsets[i]));
    }
    // The code page first: the strings and names depend on it.
    for (size_t i = 0; i < count; ++i) {
        if (s.properties[i].id != 1) continue;
        Reader r(sec, offsets[i], ends[i], what + " code page");
        if (r.left() < 6) break;  // written with no value
        const uint16_t type = static_cast<uint16_t>(r.U32() & 0xFFFF);
        if (type == kI2 || type == kUI2 || type == kI4 || type == kUI4) {
            s.codePage = r.U16();
            s.hasCodePage = true;
        }
        break;
    }
    const Decoder decoder(s.codePage);
    for (size_t i = 0; i < count; ++i) {
        Property& p = s.properties[i];
        Reader r(sec, offsets[i], ends[i], what + " property " + Hex(p.id));
        if (p.id == 0) {
            s.dictionary = ReadDictionary(r, s.codePage);
            p.value.known = false;
            continue;
        }
        if (ends[i] == offsets[i]) {
            // Shares its offset with the next one: the same value.
            for (size_t k = 0; k < count; ++k)
                if (offsets[k] == offsets[i] && ends[k] > offsets[k]) {
                    Reader same(sec, offsets[k], ends[k], r.what());
                    p.value = decoder.Typed(same);
                    break;
                }
            continue;
        }
        p.value = decoder.Typed(r);
    }
    return s;
}

} // namespace

Stream Parse(std::string_view bytes) {
    Reader r(bytes, 0, bytes.size(), "the property-set header");
    if (bytes.size() < kHeaderSize) throw FormatError("too short for a property set");
    if (r.U16() != 0xFFFE) throw FormatError("no property set (byte order mark missing)");
    Stream st;
    st.version = r.U16();
    st.systemId = r.U32();
    st.classId = ReadGuid(r);
    const uint32_t count = r.U32();
    if (count > (bytes.size() - kHeaderSize) / kSectionEntrySize) throw FormatError("more sections than the stream holds");
    std::vector<std::pair<GUID, uint32_t>> entries;
    for (uint32_t i = 0; i < count; ++i) {
        GUID id = ReadGuid(r);
        entries.emplace_back(id, r.U32());
    }
    const size_t tableEnd = kHeaderSize + static_cast<size_t>(count) * kSectionEntrySize;
    for (uint32_t i = 0; i < count; ++i) {
        if (entries[i].second < tableEnd || entries[i].second > bytes.size() - 8)
            throw FormatError("section " + std::to_string(i) + " lies outside the stream");
        st.sections.push_back(ReadSection(bytes, entries[i].first, entries[i].second, i));
    }
    // Sections must not overlap: a changed one is written in place of its old bytes.
    std::vector<const Section*> byOffset;
    for (const Section& s : st.sections) byOffset.push_back(&s);
    std::sort(byOffset.begin(), byOffset.end(), [](auto a, auto b) { return a->offset < b->offset; });
    for (size_t i = 1; i < byOffset.size(); ++i)
        if (byOffset[i]->offset < byOffset[i - 1]->offset + byOffset[i - 1]->original.size())
            throw FormatError("sections overlap");
    st.original = std::string(bytes);
    return st;
}

Value MakeText(uint16_t type, std::wstring text) {
    Value v;
    v.type = type;
    v.text = std::move(text);
    return v;
}

Value MakeInteger(uint16_t type, int64_t n) {
    Value v;
    v.type = type;
    v.integer = n;
    return v;
}

Property MakeProperty(uint32_t id, Value value) {
    Property p;
    p.id = id;
    p.value = std::move(value);
    return p;
}

Section MakeSection(const GUID& formatId, uint16_t codePage) {
    Section s;
    s.formatId = formatId;
    s.codePage = codePage;
    s.hasCodePage = codePage != 0;
    if (codePage) s.properties.push_back(MakeProperty(1, MakeInteger(kI2, static_cast<int16_t>(codePage))));
    return s;
}

std::string MakeStream(std::vector<Section> sections) {
    Stream st;
    st.systemId = 0x00020006;  // as written on Windows NT 6
    st.sections = std::move(sections);
    return Write(st);
}

void SetValue(Section& section, size_t index, Value value) {
    Property& p = section.properties.at(index);
    p.value = std::move(value);
    p.stored.clear();
    p.changed = true;
}

std::string Encode(const Value& value, uint16_t codePage) {
    std::string out;
    PutU32(out, value.type);
    EncodeData(out, value, codePage, true);
    Pad(out, 0);
    return out;
}

namespace {
bool SectionChanged(const Section& s) {
    for (const Property& p : s.properties)
        if (p.changed) return true;
    return false;
}

std::string WriteSection(const Section& s) {
    if (!SectionChanged(s)) return s.original;
    const size_t count = s.properties.size();
    std::string out;
    PutU32(out, 0);
    PutU32(out, static_cast<uint32_t>(count));
    out.append(count * 8, '\0');
    out += s.lead;
    std::vector<uint32_t> offsets(count);
    for (size_t i : s.valueOrder) {
        const Property& p = s.properties[i];
        offsets[i] = static_cast<uint32_t>(out.size());
        // A value that shared its offset with the next stays so (it has no bytes of its own).
        out += p.changed ? Encode(p.value, s.codePage) : p.stored;
    }
    for (size_t i = 0; i < count; ++i) {
        SetU32(out, 8 + i * 8, s.properties[i].id);
        SetU32(out, 12 + i * 8, offsets[i]);
    }
    SetU32(out, 0, static_cast<uint32_t>(out.size()));
    return out;
}
} // namespace

namespace {
std::string EncodeDictionary(const Section& s) {
    std::string out;
    PutU32(out, static_cast<uint32_t>(s.dictionary.size()));
    for (const auto& [id, name] : s.dictionary) {
        PutU32(out, id);
        std::string bytes;
        if (!ToCodePage(name, s.codePage, bytes))
            throw FormatError("a name that code page " + std::to_string(s.codePage) + " cannot hold");
        PutU32(out, static_cast<uint32_t>(s.codePage == kUnicodeCodePage ? bytes.size() / 2 : bytes.size()));
        const size_t start = out.size();
        out += bytes;
        if (s.codePage == kUnicodeCodePage) Pad(out, start);
    }
    Pad(out, 0);
    return out;
}

// A stream made here rather than read: every section laid out in table order.
std::string Build(const Stream& stream) {
    std::string out;
    PutU16(out, 0xFFFE);
    PutU16(out, stream.version);
    PutU32(out, stream.systemId);
    out.append(reinterpret_cast<const char*>(&stream.classId), 16);
    PutU32(out, static_cast<uint32_t>(stream.sections.size()));
    for (const Section& s : stream.sections) {
        out.append(reinterpret_cast<const char*>(&s.formatId), 16);
        PutU32(out, 0);
    }
    for (size_t k = 0; k < stream.sections.size(); ++k) {
        const Section& s = stream.sections[k];
        SetU32(out, kHeaderSize + k * kSectionEntrySize + 16, static_cast<uint32_t>(out.size()));
        std::string sec;
        PutU32(sec, 0);
        PutU32(sec, static_cast<uint32_t>(s.properties.size()));
        sec.append(s.properties.size() * 8, '\0');
        for (size_t i = 0; i < s.properties.size(); ++i) {
            const Property& p = s.properties[i];
            SetU32(sec, 8 + i * 8, p.id);
            SetU32(sec, 12 + i * 8, static_cast<uint32_t>(sec.size()));
            sec += p.id == 0 ? EncodeDictionary(s) : p.changed || p.stored.empty() ? Encode(p.value, s.codePage) : p.stored;
        }
        SetU32(sec, 0, static_cast<uint32_t>(sec.size()));
        out += sec;
    }
    return out;
}
} // namespace

std::string Write(const Stream& stream) {
    if (stream.original.empty()) return Build(stream);
    if (!stream.Changed()) return stream.original;
    std::vector<size_t> order(stream.sections.size());
    std::iota(order.begin(), order.end(), size_t{0});
    std::sort(order.begin(), order.end(),
              [&](size_t a, size_t b) { return stream.sections[a].offset < stream.sections[b].offset; });
    // Everything before the first section, the gaps between sections and the tail after the
    // last stay as they were; only the sections' offsets in the header move.
    const std::string& orig = stream.original;
    std::string out = orig.substr(0, order.empty() ? orig.size() : stream.sections[order[0]].offset);
    std::vector<uint32_t> offsets(stream.sections.size());
    size_t oldEnd = out.size();
    for (size_t k = 0; k < order.size(); ++k) {
        const Section& s = stream.sections[order[k]];
        if (k) out += orig.substr(oldEnd, s.offset - oldEnd);
        offsets[order[k]] = static_cast<uint32_t>(out.size());
        out += WriteSection(s);
        oldEnd = s.offset + s.original.size();
    }
    // A shorter stream keeps its old length (the tail was padding); a longer one grows.
    if (out.size() < oldEnd) out.append(oldEnd - out.size(), '\0');
    out += orig.substr(oldEnd);
    for (size_t i = 0; i < offsets.size(); ++i) SetU32(out, kHeaderSize + i * kSectionEntrySize + 16, offsets[i]);
    return out;
}

} // namespace kvhost::propset
