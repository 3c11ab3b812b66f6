#include "Trace.h"
#include "LateBound.h"
#include "Text.h"
#include <windows.h>

namespace rud {

void TraceLine(std::wstring_view text) {
    std::string ansi = narrow(text, CP_ACP);
    OutputDebugStringA(ansi.c_str());
}

std::wstring GetFullName(IDispatch* obj) {
    if (!obj) return L"(Nothing)";
    return late::ToString(late::Get(obj, L"FullName"));
}

} // namespace rud
