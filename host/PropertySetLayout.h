#pragma once
// What the reader and the writer of property-set streams share (PropertySetReader.cpp,
// PropertySetWriter.cpp): the sizes of the stream's header and of its section entries, and the
// padding of values to 4 bytes.
#include "PropertySetCodec.h"
#include <cstdio>

namespace kvhost::propset::layout {

constexpr size_t kHeaderSize = 28;
constexpr size_t kSectionEntrySize = 20;

inline size_t Padded(size_t n) noexcept { return (n + 3) & ~size_t{3}; }

inline std::string Hex(uint32_t n) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%X", n);
    return buf;
}

inline bool IsString(uint16_t t) noexcept { return t == kLpstr || t == kBstr || t == kLpwstr; }

} // namespace kvhost::propset::layout
