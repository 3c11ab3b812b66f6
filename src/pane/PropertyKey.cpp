#include "PropertyKey.h"

namespace rud::pane {

void AppendKeyPart(std::wstring& out, std::wstring_view name) {
    out.reserve(out.size() + name.size());
    for (wchar_t c : name) {
        if (c == L'|' || c == L'\\') out += L'\\';
        out += c;
    }
}

std::wstring KeyPart(std::wstring_view name) {
    std::wstring out;
    AppendKeyPart(out, name);
    return out;
}

KeyNames NamesOfKey(std::wstring_view key) {
    KeyNames out;
    std::wstring* part = &out.setName;
    for (size_t i = 0; i < key.size(); ++i) {
        wchar_t c = key[i];
        if (c == L'\\' && i + 1 < key.size()) {
            *part += key[++i];
        } else if (c == L'|' && part == &out.setName) {
            part = &out.propName;
            out.valid = true;
        } else {
            *part += c;
        }
    }
    return out;
}

} // namespace rud::pane
