#pragma once
// The line labels of the pane form's routines: the "Code Line" of a critical-event report and the
// number after the routine's name in an error-stack line ("Module/LN: RefreshPropertyTree/70 -
// ..."). Users quote these numbers and tests expect them: a label names the statement it covers
// and never changes its number. Several statements may share one label.

namespace rud::pane::labels {

// InitForm's protected body carries no label: its reports say "Code Line: 0".
namespace InitForm {
constexpr long kBody = 0;
} // namespace InitForm

namespace RefreshFilename {
constexpr long kDocumentTest = 10; // no document: empty name, open-folder button off
constexpr long kFullName = 20;     // the document's full name into the box, the button by it
} // namespace RefreshFilename

namespace RefreshPropertyTree {
constexpr long kClear = 10;           // the tree, the value box and the chosen names emptied
constexpr long kProperties = 20;      // the document's property-set collection
constexpr long kFirstSet = 30;        // its enumerator and the first set
constexpr long kSetName = 40;         // a set's name
constexpr long kAddSetNode = 50;      // the set's node
constexpr long kFirstProperty = 60;   // a set's enumerator and its first property
constexpr long kPropertyRead = 70;    // a property's name and value
constexpr long kAddPropertyNode = 80; // the property's node
constexpr long kNextItem = 80;        // every later set or property of an enumeration
constexpr long kSelectFirstSet = 80;  // references released, the first set's node selected
} // namespace RefreshPropertyTree

} // namespace rud::pane::labels
