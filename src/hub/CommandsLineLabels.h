#pragma once
// The line labels of the hub's routines: the "Code Line" of a critical-event report and the number
// after the routine's name in an error-stack line ("Module/LN: AddVaneBarPage/20 - ..."). Users
// quote these numbers and tests expect them: a label names the statement it covers and never
// changes its number. Several statements may share one label.

namespace rud::hub::labels {

// The three document handlers (AfterDocumentOpen, AfterNewDocumentOpen, BeforeDocumentClose).
namespace DocumentEvent {
constexpr long kTraceLine = 0;     // the trace line and the document's name in it
constexpr long kRegistryCall = 10; // AddVaneBarForDocument or RemoveVaneBarForDocument
} // namespace DocumentEvent

namespace AddVaneBarForDocument {
constexpr long kKeyTest = 10;   // the document's name, and whether it has a pane already
constexpr long kAddPage = 20;   // AddVaneBarPage
constexpr long kLoadForm = 30;  // a new form, loaded
constexpr long kKeepPage = 40;  // the page handle into the form
constexpr long kRegister = 50;  // the document's name again, the form registered under it
constexpr long kMakeChild = 60; // the form's window made a child of the page, traced
constexpr long kShow = 70;      // shown maximised
constexpr long kInitForm = 80;  // the form bound to the application and the document
} // namespace AddVaneBarForDocument

namespace RemoveVaneBarForDocument {
constexpr long kDocumentTest = 10; // no document: nothing to do
constexpr long kKeyTest = 20;      // the document's name, and whether it has a pane
constexpr long kFetchForm = 30;    // the name again, the registered form
constexpr long kRemovePage = 40;   // RemoveVaneBarPage
constexpr long kUnregister = 50;   // the name again, the record removed
constexpr long kUnloadForm = 60;
constexpr long kReleaseForm = 70;
} // namespace RemoveVaneBarForDocument

namespace AddVaneBarPage {
constexpr long kObtainVaneBar = 10; // the host's page service from the add-in object
constexpr long kCreatePage = 20;    // CreatePage, and the trace of the new page
} // namespace AddVaneBarPage

namespace RemoveVaneBarPage {
constexpr long kObtainVaneBar = 10;
constexpr long kDeletePage = 20; // DeletePage, and its trace
} // namespace RemoveVaneBarPage

namespace ActivateVaneBarPage {
constexpr long kObtainVaneBar = 20;
constexpr long kActivatePage = 30; // ActivatePage, and its trace
} // namespace ActivateVaneBarPage

} // namespace rud::hub::labels
