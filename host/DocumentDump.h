#pragma once
// A document as the object model serves it to an add-in, as JSON for scripts:
//   {"file": "...", "sets": [{"name": "...", "properties": [
//       {"name": "...", "type": "VT_BSTR", "value": "..."}]}]}
// Every name and value is read through the document's IDispatch (Properties, Count, Item, Name,
// Value), as an add-in reads them; "type" is the VARIANT type of the value served, "value" the
// text the pane shows for it (the user's locale, Booleans as True/False, blanks trimmed; nothing
// for Empty, Null, error values and arrays).
#include <oaidl.h>
#include <string>

namespace kvhost {

// HostError when a call of the object model fails.
std::string DumpDocumentJson(IDispatch* document, const std::wstring& file);

// "VT_BSTR", "VT_ARRAY|VT_VARIANT", ...
std::wstring VarTypeName(VARTYPE vt);

} // namespace kvhost
