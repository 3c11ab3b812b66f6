#pragma once
// A document's property sets as stored in our own JSON document format:
//   { "propertySets": [ { "name": "Summary", "properties": [
//       { "name": "Title", "value": "Quarterly report" },
//       { "name": "Pages", "value": 12 },            number: 32-bit integer or double
//       { "name": "Final", "value": true },          Boolean
//       { "name": "Comment", "value": null },        empty
//       { "name": "Due", "type": "date", "value": "2024-05-31T17:30:00" },
//       { "name": "Gone", "type": "null" } ] } ] }
// Order of sets and properties is kept; duplicate names are kept as they are.
#include "HostError.h"
#include "Raii.h"
#include <string>
#include <string_view>
#include <vector>

namespace kvhost {

struct PropertyData {
    std::wstring name;
    rud::Variant value;
};

struct SetData {
    std::wstring name;
    std::vector<PropertyData> properties;
};

struct DocumentContent {
    std::vector<SetData> sets;
};

// Both throw HostError (E_INVALIDARG) with a description of what is wrong.
DocumentContent ParseDocument(std::string_view utf8Json);
std::string SerializeDocument(const DocumentContent& content);

// File access with wide paths (non-ASCII names work). HostError on any failure.
std::string ReadFileBytes(const std::wstring& path);
void WriteFileBytes(const std::wstring& path, std::string_view bytes);
DocumentContent LoadDocumentFile(const std::wstring& path);
void SaveDocumentFile(const std::wstring& path, const DocumentContent& content);

// "2024-05-31" or "2024-05-31T17:30:00" to an automation date and back (the date alone at midnight).
DATE ParseIsoDate(std::string_view s);
std::string FormatIsoDate(DATE d);

} // namespace kvhost
