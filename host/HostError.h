#pragma once
// The host's failure type: an HRESULT and a description. Inside COM methods it becomes an
// EXCEPINFO or an IErrorInfo; in korvane-sim it becomes the one line on stderr.
#include <windows.h>
#include <oleauto.h>
#include <stdexcept>
#include <string>
#include <string_view>

namespace kvhost {

class HostError : public std::runtime_error {
public:
    HostError(HRESULT hr, std::wstring description);
    HRESULT hr() const noexcept { return hr_; }
    const std::wstring& description() const noexcept { return description_; }

private:
    HRESULT hr_;
    std::wstring description_;
};

std::wstring Utf8ToWide(std::string_view s);
std::string WideToUtf8(std::wstring_view s);
// Case-insensitive comparison of names, as automation compares member names.
bool SameName(std::wstring_view a, std::wstring_view b) noexcept;

// VariantChangeType for a source the caller only reads.
inline HRESULT ChangeType(VARIANT* out, const VARIANT* in, VARTYPE type) noexcept {
    return VariantChangeType(out, const_cast<VARIANT*>(in), 0, type);
}

} // namespace kvhost
