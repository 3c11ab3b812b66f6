#include "Text.h"
#include "Raii.h"
#include <oleauto.h>

namespace rud {

std::string narrow(std::wstring_view s, UINT codePage) {
    if (s.empty()) return {};
    int n = WideCharToMultiByte(codePage, 0, s.data(), static_cast<int>(s.size()), nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(codePage, 0, s.data(), static_cast<int>(s.size()), out.data(), n, nullptr, nullptr);
    return out;
}

std::wstring widen(std::string_view s, UINT codePage) {
    if (s.empty()) return {};
    int n = MultiByteToWideChar(codePage, 0, s.data(), static_cast<int>(s.size()), nullptr, 0);
    std::wstring out(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(codePage, 0, s.data(), static_cast<int>(s.size()), out.data(), n);
    return out;
}

std::wstring TrimBlanks(std::wstring_view s) {
    size_t first = s.find_first_not_of(L' ');
    if (first == std::wstring_view::npos) return {};
    size_t last = s.find_last_not_of(L' ');
    return std::wstring(s.substr(first, last - first + 1));
}

std::wstring VariantToText(const VARIANT* v, LCID locale) noexcept {
    try {
        if (!v) return {};
        // Look through references to variants down to the value itself.
        while (V_VT(v) == (VT_BYREF | VT_VARIANT)) {
            v = V_VARIANTREF(v);
            if (!v) return {};
        }
        if ((V_VT(v) & VT_BYREF) && !V_BYREF(v)) return {};
        Variant value;
        if (FAILED(VariantCopyInd(&value, const_cast<VARIANT*>(v)))) return {};
        VARTYPE type = value.type();
        // Null, Empty, a missing argument and every other error value have no text; an array
        // has none either.
        if (type == VT_NULL || type == VT_EMPTY || type == VT_ERROR || (type & VT_ARRAY)) return {};
        Variant text;
        if (FAILED(VariantChangeTypeEx(&text, &value, locale, VARIANT_ALPHABOOL, VT_BSTR)) ||
            text.type() != VT_BSTR)
            return {};
        return TrimBlanks(std::wstring_view(V_BSTR(&text) ? V_BSTR(&text) : L"", SysStringLen(V_BSTR(&text))));
    } catch (...) {
        return {};
    }
}

std::optional<Variant> ExactValueOfText(std::wstring_view text, VARTYPE type, LCID locale) noexcept {
    try {
        Variant asText = Variant::fromString(text);
        Variant typed;
        if (FAILED(VariantChangeTypeEx(&typed, &asText, locale, 0, type)) || typed.type() != type) return std::nullopt;
        if (VariantToText(&typed, locale) != text) return std::nullopt;
        return typed;
    } catch (...) {
        return std::nullopt;
    }
}

} // namespace rud
