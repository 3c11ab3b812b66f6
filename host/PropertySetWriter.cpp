// Writing property-set streams: a stream read is written back as it was but for its changed
// values (and the sizes and offsets after them); a stream made here is laid out anew.
#include "PropertySetLayout.h"
#include <algorithm>
#include <cstring>
#include <numeric>

namespace kvhost::propset {

using namespace layout;

namespace {

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

bool Stream::Changed() const noexcept {
    for (const Section& s : sections)
        for (const Property& p : s.properties)
            if (p.changed) return true;
    return false;
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
