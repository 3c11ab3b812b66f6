#pragma once
// Trace output: one line on the debug-output channel, and the name a trace line gives a document.
#include <oaidl.h>
#include <string>
#include <string_view>

namespace rud {

// One line on the debug-output channel: the text in the ANSI code page, nothing added.
void TraceLine(std::wstring_view text);

// The name of a document in traces and reports: "(Nothing)" for no object, else its FullName
// read late-bound by name. A failed read propagates.
std::wstring GetFullName(IDispatch* obj);

} // namespace rud
