#include "Message.h"
#include <string>

namespace rud {

int ShowMessage(std::wstring_view text, UINT flags) noexcept {
    try {
        std::wstring body(text);
        SetLastError(ERROR_SUCCESS);  // so that a failure's reason is the box's own
        return MessageBoxW(GetActiveWindow(), body.c_str(), kAppTitle, flags);
    } catch (...) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return 0;
    }
}

} // namespace rud
