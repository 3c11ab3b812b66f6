#pragma once
// The line label of MyAddin's connection: the number in parentheses that opens the connection
// failure box ("(10) - ..."). Users quote it and tests expect it: it never changes.

namespace rud::addin::labels {

namespace OnConnection {
// The protected steps: the application's events, Description, NumberSetting, FlagSetting.
constexpr long kProtectedSteps = 10;
} // namespace OnConnection

} // namespace rud::addin::labels
