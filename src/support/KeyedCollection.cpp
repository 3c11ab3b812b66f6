#include "KeyedCollection.h"
#include <windows.h>

namespace rud {

std::wstring FoldKey(std::wstring_view key) {
    if (key.empty()) return {};
    std::wstring out(key);
    LCMapStringW(LOCALE_INVARIANT, LCMAP_UPPERCASE, key.data(), static_cast<int>(key.size()),
                 out.data(), static_cast<int>(out.size()));
    return out;
}

} // namespace rud
