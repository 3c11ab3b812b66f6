#pragma once
// The keys of the property tree's nodes: a set node's key is the set's name, a property node's
// key the set's and the property's names joined by "|". Names are escaped ("|" and "\" after a
// "\"), so that a set key and a property key never meet unless the names are the same.
#include <string>
#include <string_view>

namespace rud::pane {

// A name as part of a key, appended to `out` or on its own.
void AppendKeyPart(std::wstring& out, std::wstring_view name);
std::wstring KeyPart(std::wstring_view name);

// The set and property names of a property node's key; not valid for a set node's key.
struct KeyNames {
    std::wstring setName;
    std::wstring propName;
    bool valid = false;
};
KeyNames NamesOfKey(std::wstring_view key);

} // namespace rud::pane
