#pragma once
// korvane-sim make-sample FILE: a compound document with the three usual property sets
// (SummaryInformation, DocumentSummaryInformation and a user-defined set with its own names),
// for trying the simulator, and the demo, without a document of one's own.
#include <string>

namespace kvsim {
// HostError when the file cannot be made.
void WriteSampleCompoundDocument(const std::wstring& path);
int MakeSampleMain(int argc, wchar_t** argv);
} // namespace kvsim
