// Reading property-set streams: the header, the sections with their offset tables, the
// dictionary and every value, each property's stored bytes kept as found.
#include "PropertySetLayout.h"
#include <objbase.h>
#include <algorithm>
#include <cstring>
#include <functional>
#include <numeric>

namespace kvhost::propset {

using namespace layout;

namespace {

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

} // namespace kvhost::propset
