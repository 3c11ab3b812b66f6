#include "ValueTyping.h"
#include "Text.h"
#include <optional>

namespace rud::pane {

Variant ValueToWrite(const std::wstring& text, VARTYPE heldType) {
    switch (heldType) {
    case VT_I1: case VT_I2: case VT_I4: case VT_I8: case VT_INT:
    case VT_UI1: case VT_UI2: case VT_UI4: case VT_UI8: case VT_UINT:
    case VT_R4: case VT_R8: case VT_CY: case VT_DECIMAL:
    case VT_DATE: case VT_BOOL: {
        if (std::optional<Variant> typed = ExactValueOfText(text, heldType)) return std::move(*typed);
        break;
    }
    default:
        break;
    }
    return Variant::fromString(text);
}

VARTYPE HeldType(const VARIANT& v) noexcept {
    const VARIANT* p = &v;
    if (V_VT(p) == (VT_BYREF | VT_VARIANT) && V_VARIANTREF(p)) p = V_VARIANTREF(p);
    return static_cast<VARTYPE>(V_VT(p) & ~VT_BYREF);
}

} // namespace rud::pane
