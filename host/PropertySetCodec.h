#pragma once
// The property-set stream format of structured storage (the "\005SummaryInformation" kind of
// stream): a header, sections named by a format id, and in each section typed properties by id,
// with an optional dictionary of names (id 0) and a code page (id 1) for its 8-bit strings.
//
// Reading keeps every property's bytes as found (value, padding and all), so a stream written
// back unchanged is the same stream byte for byte, and a stream with one property changed
// differs only in that property, the offsets after it and the sizes around it. Values of types
// this code does not know stay as their bytes. Pure: bytes in, bytes out, no files.
// Reading: PropertySetReader.cpp; writing: PropertySetWriter.cpp; text, dates and format ids:
// PropertySetValues.cpp.
#include <windows.h>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace kvhost::propset {

// A stream that is no property set, or one whose sizes and offsets point outside it.
class FormatError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Stored type numbers (the VARENUM values a property set may hold).
enum : uint16_t {
    kEmpty = 0, kNull = 1, kI2 = 2, kI4 = 3, kR4 = 4, kR8 = 5, kCy = 6, kDate = 7, kBstr = 8,
    kError = 10, kBool = 11, kVariant = 12, kDecimal = 14, kI1 = 16, kUI1 = 17, kUI2 = 18, kUI4 = 19,
    kI8 = 20, kUI8 = 21, kInt = 22, kUInt = 23, kLpstr = 30, kLpwstr = 31, kFiletime = 64, kBlob = 65,
    kCf = 71, kClsid = 72, kVector = 0x1000,
};

constexpr uint16_t kUnicodeCodePage = 1200;

// One decoded value. Which members count depends on type.
struct Value {
    uint16_t type = kEmpty;  // with kVector for a vector
    bool known = true;       // false: a type this code cannot decode (bytes holds the value)
    int64_t integer = 0;     // the integer types, BOOL (the stored number), ERROR, CY (scaled by 10,000)
    uint64_t unsignedInteger = 0;  // UI1 UI2 UI4 UI8 UINT, FILETIME (100 ns ticks since 1601)
    double real = 0;               // R4 R8 DATE
    std::wstring text;             // LPSTR BSTR LPWSTR (up to the first NUL), CLSID as {...}
    std::string bytes;             // BLOB, CF (format tag and data), DECIMAL, unknown types
    std::vector<Value> items;      // vector elements
    bool unpadded = false;         // a string vector whose elements were written without padding
};

struct Property {
    uint32_t id = 0;
    Value value;
    // The bytes stored for it: from its offset up to the next value (or the section's end).
    std::string stored;
    bool changed = false;  // writing encodes the value anew
};

struct Section {
    GUID formatId{};
    uint16_t codePage = 0;        // 0: the section stores none (strings read as 1252)
    bool hasCodePage = false;
    std::vector<Property> properties;  // in the order of the section's table, dictionary included
    // Names of the dictionary (id 0), in stored order.
    std::vector<std::pair<uint32_t, std::wstring>> dictionary;

    // Where it came from, to write it back as it was.
    uint32_t offset = 0;          // in the stream
    std::string original;         // the section's bytes as declared by its size
    std::string lead;             // bytes between the offset table and the first value
    std::vector<size_t> valueOrder;  // indexes of properties in the order of their offsets

    const Property* Find(uint32_t id) const noexcept;
    // The name the dictionary gives an id, or empty.
    std::wstring NameOf(uint32_t id) const;
};

struct Stream {
    uint16_t version = 0;
    uint32_t systemId = 0;
    GUID classId{};
    std::vector<Section> sections;
    std::string original;  // the stream as read

    bool Changed() const noexcept;
};

// FormatError for anything that is no property set or does not fit in the bytes given.
Stream Parse(std::string_view bytes);
// The stream's bytes: the original when nothing changed. A stream not read (no original) is laid
// out anew: sections and values in table order, the dictionary (id 0) from the section's names,
// a property's stored bytes where it has some, its value encoded otherwise.
std::string Write(const Stream& stream);

// For streams made rather than read: values, a section holding its code page (none for 0), and
// the bytes of a stream of these sections.
Value MakeText(uint16_t type, std::wstring text);
Value MakeInteger(uint16_t type, int64_t n);
Property MakeProperty(uint32_t id, Value value);
Section MakeSection(const GUID& formatId, uint16_t codePage);
std::string MakeStream(std::vector<Section> sections);

// Replaces a property's value; the next Write encodes it in the section's code page.
void SetValue(Section& section, size_t index, Value value);
// The bytes of a value as stored (type word, value, padding to 4 bytes). FormatError for a value
// this code cannot encode (unknown types, vectors of them).
std::string Encode(const Value& value, uint16_t codePage);

// Text in a section's code page (1200: UTF-16; 0: 1252) and back. FromCodePage stops at the first
// NUL. ToCodePage is false when the text does not survive the code page unchanged.
std::wstring FromCodePage(std::string_view bytes, uint16_t codePage);
bool ToCodePage(std::wstring_view text, uint16_t codePage, std::string& out);

// FILETIME ticks to an automation date and back (UTC). Values below kDurationTicks are time
// spans (an edit time, a date never set), not dates: they convert as days from zero.
constexpr uint64_t kDurationTicks = 99ull * 365 * 864000000000ull;
double FiletimeToDate(uint64_t ticks) noexcept;
uint64_t DateToFiletime(double date, bool duration) noexcept;

// The well-known format ids, and whether a format id is one of them written byte-swapped (the
// first three fields in big-endian order, as old Mac writers did).
extern const GUID kSummaryInformation;
extern const GUID kDocSummaryInformation;
extern const GUID kUserDefinedProperties;
bool SameFormat(const GUID& stored, const GUID& known) noexcept;

} // namespace kvhost::propset
