#pragma once
// The types of the values the tree shows and Modify writes back.
#include "Raii.h"
#include <oaidl.h>
#include <string>

namespace rud::pane {

// What Modify writes for the text typed: a property that held a number, a date or a Boolean
// keeps its type when the text is exactly how such a value shows in the tree (the user's locale);
// anything else, a text that would lose a digit, a separator or a blank included, is written as
// the text itself.
Variant ValueToWrite(const std::wstring& text, VARTYPE heldType);

// The type of a value as the host holds it: a value given by reference counts as the value it
// refers to (a number by reference is still a number).
VARTYPE HeldType(const VARIANT& v) noexcept;

} // namespace rud::pane
