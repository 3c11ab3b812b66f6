#pragma once
// korvane-sim fault-matrix SCRIPT (--addin DLL | --progid PROGID) [--exception-only | --errorinfo-only]
// korvane-sim fuzz (--addin DLL | --progid PROGID) [--steps N] [--seed S] [--seeds K] [--samples DIR]
// Both exit 0 when every run ended clean, 6 when one did not, 2 for bad arguments.
#include <cstdio>
#include <string>

namespace kvsim {
// One line of text on a stream, in UTF-8, at once.
void Out(FILE* f, const std::wstring& text);
int FaultMatrixMain(int argc, wchar_t** argv);
int FuzzMain(int argc, wchar_t** argv);
} // namespace kvsim
