#pragma once
// A document's property sets as stored in our own JSON document format:
//   { "propertySets": [ { "name": "Summary", "properties": [
//       { "name": "Title", "value": "Quarterly report" },
//       { "name": "Pages", "value": 12 },            number: 32-bit integer or double
//       { "name": "Final", "value": true },          Boolean
//       { "name": "Comment", "value": null },        empty
//       { "name": "Due", "type": "date", "value": "2024-05-31T17:30:00" },
//       { "name": "Gone", "type": "null" },
//       { "name": "Big", "type": "i8", "value": "9007199254740993" },   any VARTYPE by name, from
//                                                                      its invariant-locale text:
//         i1 ui1 i2 ui2 i4 ui4 i8 ui8 int uint r4 r8 cy decimal date bool bstr
//       { "name": "Err", "type": "error", "value": -2147352572 },       an error value (VT_ERROR)
//       { "name": "List", "type": "array", "value": [1, "a", {"type": "i8", "value": "5"}] },
//       { "name": "Ref", "type": "byref", "value": {"type": "i4", "value": "7"} } ] } ] }
// A by-reference value is handed out as VT_BYREF pointing into the host's own storage.
// Order of sets and properties is kept; duplicate names are kept as they are.
#include "HostError.h"
#include "Raii.h"
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kvhost {

struct PropertyData {
    std::wstring name;
    rud::Variant value;
    std::shared_ptr<rud::Variant> referent;  // what a by-reference value points to
};

struct SetData {
    std::wstring name;
    std::vector<PropertyData> properties;
};

struct DocumentContent {
    std::vector<SetData> sets;
};

// A value in the document format's JSON ("{"type":"i8","value":"5"}", ...): equal texts,
// equal values. HostError for a value the format cannot hold.
std::string ValueJson(const VARIANT& value);

// Both throw HostError (E_INVALIDARG) with a description of what is wrong.
DocumentContent ParseDocument(std::string_view utf8Json);
std::string SerializeDocument(const DocumentContent& content);

// File access with wide paths (non-ASCII names work). HostError on any failure.
std::string ReadFileBytes(const std::wstring& path);
// Writes a file so that it is either the old one or the new one, whatever happens: the bytes go
// to a temporary file in the same folder, are flushed, and replace the original in one step,
// which keeps the original's attributes. On failure the original is untouched and the temporary
// file is gone.
void WriteFileBytes(const std::wstring& path, std::string_view bytes);
// The two steps of that: a name for the temporary file in the same folder, and the temporary
// file (written and flushed) replacing the original in one step, taking its attributes. A
// read-only original is refused. On failure the original is untouched and the temporary file gone.
std::wstring TemporaryBeside(const std::wstring& path);
void ReplaceWithTemporary(const std::wstring& path, const std::wstring& temp);
// Test seam: file writes fail (as a full disk) once this many bytes of a file are written;
// none to write normally again.
void FailFileWritesAfter(std::optional<size_t> bytes) noexcept;
DocumentContent LoadDocumentFile(const std::wstring& path);
void SaveDocumentFile(const std::wstring& path, const DocumentContent& content);

// "2024-05-31" or "2024-05-31T17:30:00" to an automation date and back (the date alone at midnight).
DATE ParseIsoDate(std::string_view s);
std::string FormatIsoDate(DATE d);

} // namespace kvhost
