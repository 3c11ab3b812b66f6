#pragma once
// Text helpers: conversions between UTF-16 and a Windows code page, blank trimming, a variant
// value as display text, and the larger of two numbers.
#include <windows.h>
#include <oaidl.h>
#include "Raii.h"
#include <optional>
#include <string>
#include <string_view>

namespace rud {

// Text conversions between UTF-16 and a Windows code page.
std::string narrow(std::wstring_view s, UINT codePage = CP_ACP);
std::wstring widen(std::string_view s, UINT codePage = CP_ACP);

// Leading and trailing blanks removed: character 32 only, tabs stay.
std::wstring TrimBlanks(std::wstring_view s);

// A value as display text in the user's locale (Booleans as True/False), blanks trimmed at both
// ends. A null pointer stands for a missing argument. Null, Empty, missing and anything without a
// text form (arrays, error values, objects without a default value) give "". Never throws.
std::wstring VariantToText(const VARIANT* v, LCID locale = LOCALE_USER_DEFAULT) noexcept;

// The value of `type` that `text` stands for, only when that value shows as exactly `text`
// (VariantToText in the same locale gives it back, blanks included); none when the conversion
// would round, skip a separator, drop blanks or spell the value otherwise. Never throws.
std::optional<Variant> ExactValueOfText(std::wstring_view text, VARTYPE type,
                                        LCID locale = LOCALE_USER_DEFAULT) noexcept;

// The larger of the two; b when they are equal.
inline long MaxLong(long a, const long& b) noexcept { return a > b ? a : b; }

} // namespace rud
