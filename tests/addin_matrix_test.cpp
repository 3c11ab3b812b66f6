// A failure injected at every host call of a realistic RuDerizIRA session, in both ways the host
// can fail (korvane_host's fault matrix). The matrix itself checks what every add-in owes its
// host; this file says which report each call site of RuDerizIRA gives.
#include "CommandsLineLabels.h"
#include "DocumentModel.h"
#include "FaultMatrix.h"
#include "MyAddinLineLabels.h"
#include "frmBarLineLabels.h"
#include <gtest/gtest.h>
#include <cstdio>

using kvhost::CallEntry;
using kvhost::FaultKind;

namespace {

namespace hub = rud::hub::labels;
namespace pane = rud::pane::labels;

// The oracle below names each call site's label; the numbers themselves are what reports have
// always shown and users quote, so a changed number must be changed here as well.
static_assert(hub::DocumentEvent::kTraceLine == 0 && hub::DocumentEvent::kRegistryCall == 10);
static_assert(hub::AddVaneBarForDocument::kKeyTest == 10 && hub::AddVaneBarForDocument::kAddPage == 20 &&
              hub::AddVaneBarForDocument::kLoadForm == 30 && hub::AddVaneBarForDocument::kKeepPage == 40 &&
              hub::AddVaneBarForDocument::kRegister == 50 && hub::AddVaneBarForDocument::kMakeChild == 60 &&
              hub::AddVaneBarForDocument::kShow == 70 && hub::AddVaneBarForDocument::kInitForm == 80);
static_assert(hub::RemoveVaneBarForDocument::kDocumentTest == 10 && hub::RemoveVaneBarForDocument::kKeyTest == 20 &&
              hub::RemoveVaneBarForDocument::kFetchForm == 30 && hub::RemoveVaneBarForDocument::kRemovePage == 40 &&
              hub::RemoveVaneBarForDocument::kUnregister == 50 && hub::RemoveVaneBarForDocument::kUnloadForm == 60 &&
              hub::RemoveVaneBarForDocument::kReleaseForm == 70);
static_assert(hub::AddVaneBarPage::kObtainVaneBar == 10 && hub::AddVaneBarPage::kCreatePage == 20);
static_assert(hub::RemoveVaneBarPage::kObtainVaneBar == 10 && hub::RemoveVaneBarPage::kDeletePage == 20);
static_assert(hub::ActivateVaneBarPage::kObtainVaneBar == 20 && hub::ActivateVaneBarPage::kActivatePage == 30);
static_assert(pane::InitForm::kBody == 0 && pane::RefreshFilename::kDocumentTest == 10 &&
              pane::RefreshFilename::kFullName == 20);
static_assert(pane::RefreshPropertyTree::kClear == 10 && pane::RefreshPropertyTree::kProperties == 20 &&
              pane::RefreshPropertyTree::kFirstSet == 30 && pane::RefreshPropertyTree::kSetName == 40 &&
              pane::RefreshPropertyTree::kAddSetNode == 50 && pane::RefreshPropertyTree::kFirstProperty == 60 &&
              pane::RefreshPropertyTree::kPropertyRead == 70 && pane::RefreshPropertyTree::kAddPropertyNode == 80 &&
              pane::RefreshPropertyTree::kNextItem == 80 && pane::RefreshPropertyTree::kSelectFirstSet == 80);
static_assert(rud::addin::labels::OnConnection::kProtectedSteps == 10);

constexpr wchar_t kTitle[] = L"RuDerizIRA";

std::wstring SystemText(HRESULT hr) {
    wchar_t* text = nullptr;
    FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                   static_cast<DWORD>(hr), 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::wstring t = text ? text : L"";
    if (text) LocalFree(text);
    while (!t.empty() && (t.back() == L'\n' || t.back() == L'\r' || t.back() == L' ')) t.pop_back();
    if (t.empty()) {
        wchar_t buf[40];
        swprintf(buf, 40, L"Automation error 0x%08lX", static_cast<unsigned long>(hr));
        t = buf;
    }
    return t;
}

// The error the add-in holds after a failed call: number and description, as the call could
// carry them to it.
struct Failure {
    long number;
    std::wstring description;
};

Failure FailureAt(const CallEntry& c, FaultKind kind, HRESULT hr, const std::wstring& description) {
    const long code = HRESULT_FACILITY(hr) == FACILITY_CONTROL ? HRESULT_CODE(hr) : static_cast<long>(hr);
    if (c.member == L"GetIDsOfNames") return {438, L"Object doesn't support this property or method"};
    if (c.member == L"QueryInterface") return {static_cast<long>(E_NOINTERFACE), SystemText(E_NOINTERFACE)};
    // Vtable calls: error info only where the object vouches for it, and only when given.
    const bool describedVtable = c.object == L"VaneBar" || c.member == L"FindConnectionPoint";
    if (c.object == L"EnumVARIANT" || c.object == L"ConnectionPoint" || (describedVtable && kind == FaultKind::Exception))
        return {code, SystemText(hr)};
    return {code, description};
}

std::wstring Report(const std::wstring& where, long line, const std::wstring& detail) {
    return L"An unexpected error condition occurred.\r\n\r\nModule: " + where + L"\t Code Line: " + std::to_wstring(line) +
           L"\r\n\r\n---- Detail critical event ------------------------------------------\r\n" + detail + L"\r\n";
}
std::wstring Stack(const std::wstring& routine, long line, const std::wstring& rest) {
    return L"Module/LN: " + routine + L"/" + std::to_wstring(line) + L" - " + rest;
}
std::wstring Numbered(const Failure& f, const std::wstring& text) { return L"(" + std::to_wstring(f.number) + L") - " + text; }

// What the host should see: the box (or none) and whether the event or call fails.
struct Expected {
    std::wstring box;       // empty: none
    UINT icon = MB_ICONHAND;
    bool callFails = false; // the event or connection returns a failure
};

// The routine and line label a call of a document event belongs to, by its place in the event.
Expected OfOpenEvent(const std::vector<CallEntry>& calls, size_t first, size_t k, const std::wstring& where, const Failure& f) {
    // The calls in order: the handler's trace of the name, the key test, the VaneBar (obtained,
    // then the page made), the registration under the name again, InitForm's trace of the name,
    // then under InitForm's own handler the file name and the tree.
    namespace opening = hub::AddVaneBarForDocument;
    namespace tree = pane::RefreshPropertyTree;
    const long handler = hub::DocumentEvent::kRegistryCall;
    const size_t at = k - first;
    if (at < 2) return {Report(where, hub::DocumentEvent::kTraceLine, Numbered(f, f.description))};
    if (at < 4) return {Report(where, handler, Numbered(f, Stack(L"AddVaneBarForDocument", opening::kKeyTest, f.description)))};
    const auto twoLevels = [&](long page) {
        return Report(where, handler, Stack(L"AddVaneBarForDocument", opening::kAddPage, L"(error stack trace)\r\n" + Stack(L"AddVaneBarPage", page, f.description)));
    };
    if (at == 4) return {twoLevels(hub::AddVaneBarPage::kObtainVaneBar)};
    if (at == 5) return {twoLevels(hub::AddVaneBarPage::kCreatePage)};
    if (at < 8) return {Report(where, handler, Numbered(f, Stack(L"AddVaneBarForDocument", opening::kRegister, f.description)))};
    if (at < 10) return {Report(where, handler, Numbered(f, Stack(L"AddVaneBarForDocument", opening::kInitForm, f.description)))};
    if (at < 12) return {Report(L"initForm", pane::InitForm::kBody, Numbered(f, Stack(L"RefreshFilename", pane::RefreshFilename::kFullName, f.description)))};
    // The tree: which enumeration a Next belongs to and whether it is that enumeration's first.
    long label = tree::kProperties;
    bool firstSet = true, firstProp = true;
    for (size_t i = first + 12; i <= k; ++i) {
        const CallEntry& c = calls[i];
        if (c.object == L"Document") label = tree::kProperties;
        else if (c.object == L"PropertySets") label = tree::kFirstSet;
        else if (c.object == L"PropertySet" && c.member == L"Name") label = tree::kSetName;
        else if (c.object == L"PropertySet") { label = tree::kFirstProperty; firstProp = true; }
        else if (c.object == L"Property") label = tree::kPropertyRead;
        else if (c.object == L"EnumVARIANT" && c.instance == L"PropertySets") { label = firstSet ? tree::kFirstSet : tree::kNextItem; firstSet = false; }
        else if (c.object == L"EnumVARIANT") { label = firstProp ? tree::kFirstProperty : tree::kNextItem; firstProp = false; }
    }
    return {Report(L"initForm", pane::InitForm::kBody, Numbered(f, Stack(L"RefreshPropertyTree", label, f.description)))};
}

Expected OfCloseEvent(size_t at, const std::wstring& where, const Failure& f) {
    // The calls in order: the handler's trace of the name, the key test's name, the name of the
    // form's fetch, the VaneBar (obtained, then the page deleted), the name of the removal.
    namespace closing = hub::RemoveVaneBarForDocument;
    const long handler = hub::DocumentEvent::kRegistryCall;
    if (at < 2) return {Report(where, hub::DocumentEvent::kTraceLine, Numbered(f, f.description))};
    static const long kLabels[] = {closing::kKeyTest, closing::kKeyTest, closing::kFetchForm, closing::kFetchForm};
    if (at < 6) return {Report(where, handler, Numbered(f, Stack(L"RemoveVaneBarForDocument", kLabels[at - 2], f.description)))};
    if (at < 8)
        return {Report(where, handler, Stack(L"RemoveVaneBarForDocument", closing::kRemovePage, L"(error stack trace)\r\n" +
                                                                            Stack(L"RemoveVaneBarPage", at == 6 ? hub::RemoveVaneBarPage::kObtainVaneBar : hub::RemoveVaneBarPage::kDeletePage, f.description)))};
    return {Report(where, handler, Numbered(f, Stack(L"RemoveVaneBarForDocument", closing::kUnregister, f.description)))};
}

Expected ExpectedAt(const kvhost::MatrixCase& m) {
    const auto& calls = m.clean.calls;
    const CallEntry& c = calls[m.call];
    const Failure f = FailureAt(c, m.kind, m.hr, m.description);
    const kvhost::StepRecord& step = m.clean.steps[m.clean.StepOfCall(m.call)];
    if (step.text == L"connect") {
        // Before the error handler: the call fails; after it: one box, the label in parentheses.
        const size_t at = m.call - step.firstCall;
        if (at < 4) return {L"", 0, true};
        return {L"(" + std::to_wstring(rud::addin::labels::OnConnection::kProtectedSteps) + L") - " + f.description};
    }
    if (step.text == L"disconnect") return {};  // nothing to report to: Unadvise's answer is ignored
    for (size_t e = step.firstEvent; e < step.endEvent; ++e) {
        const kvhost::FiredEvent& ev = m.clean.events[e];
        if (m.call < ev.firstCall || m.call >= ev.endCall) continue;
        const std::wstring name = ev.name;
        // The document's name as the report gives it: the event's document.
        std::wstring doc;
        for (size_t i = ev.firstCall; i < ev.endCall && doc.empty(); ++i)
            if (calls[i].object == L"Document") doc = calls[i].instance;
        if (name == L"AfterDocumentOpen" || name == L"AfterNewDocumentOpen") return OfOpenEvent(calls, ev.firstCall, m.call, name + doc, f);
        if (name == L"BeforeDocumentClose") return OfCloseEvent(m.call - ev.firstCall, name + doc, f);
        return {L"", 0, true};  // the trace-only handlers pass the failure back to the host
    }
    // Modify: a failure up to the Value put is a refused change, after it a refused save.
    bool afterPut = false;
    for (size_t i = step.firstCall; i < m.call; ++i)
        afterPut |= calls[i].member == L"Value" && calls[i].access == kvhost::Access::Put;
    return {afterPut ? L"Can't save this property" : L"Can't change this property", MB_ICONASTERISK};
}

std::wstring Judge(const kvhost::MatrixCase& m) {
    const Expected want = ExpectedAt(m);
    const size_t step = m.clean.StepOfCall(m.call);
    const kvhost::StepRecord& s = m.run.steps.at(step);
    std::vector<kvhost::SeenBox> boxes;
    for (const auto& b : m.run.boxes)
        if (b.callIndex >= s.firstCall && b.callIndex <= s.endCall) boxes.push_back(b);
    // The clean run's own boxes of the step (the refused save) come as they did.
    std::vector<std::wstring> cleanBoxes;
    for (const auto& b : m.clean.boxes)
        if (b.callIndex >= s.firstCall && b.callIndex <= m.clean.steps[step].endCall) cleanBoxes.push_back(b.text);
    std::wstring p;
    const bool wantBox = !want.box.empty();
    if (wantBox && (boxes.size() != 1 || boxes[0].text != want.box || boxes[0].title != kTitle || boxes[0].icon != want.icon)) {
        const bool sameAsClean = boxes.size() == 1 && cleanBoxes.size() == 1 && boxes[0].text == cleanBoxes[0];
        if (!(sameAsClean && boxes[0].text == want.box))
            p += L"expected the box \"" + want.box + L"\", got " + std::to_wstring(boxes.size()) +
                 (boxes.empty() ? L"" : L": \"" + boxes[0].text + L"\" titled " + boxes[0].title + L" icon " +
                                        std::to_wstring(boxes[0].icon)) + L"; ";
    }
    if (!wantBox && boxes.size() != cleanBoxes.size()) p += L"expected no box, got \"" + boxes[0].text + L"\"; ";
    bool failed = FAILED(s.result);
    for (size_t e = s.firstEvent; e < s.endEvent && e < m.run.events.size(); ++e)
        for (HRESULT hr : m.run.events[e].results) failed |= FAILED(hr);
    if (failed != want.callFails) p += want.callFails ? L"expected a failure for the host; " : L"a failure reached the host; ";
    // Later steps show nothing the clean run did not.
    for (const auto& b : m.run.boxes) {
        if (b.callIndex <= s.endCall) continue;
        bool known = false;
        for (const auto& c : m.clean.boxes) known |= c.text == b.text;
        if (!known) p += L"a later box: \"" + b.text + L"\"; ";
    }
    return p;
}

std::wstring CopyDir() {
    wchar_t tmp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, tmp);
    std::wstring dir = std::wstring(tmp) + L"kvmatrix-" + std::to_wstring(GetCurrentProcessId());
    CreateDirectoryW(dir.c_str(), nullptr);
    return dir;
}

} // namespace

TEST(FaultMatrix, EveryHostCallOfASessionFailsCleanly) {
    kvhost::RegisterHostTypeLibrary();
    const std::wstring samples = RUD_TEST_SAMPLES, dir = CopyDir();
    const std::wstring docs[] = {L"Drawing A-1001.json", L"Überprüfung Müller.json", L"Quarterly Report Q3.json"};
    ASSERT_TRUE(CopyFileW((samples + L"\\" + docs[0]).c_str(), (dir + L"\\" + docs[0]).c_str(), FALSE));
    ASSERT_TRUE(CopyFileW((samples + L"\\" + docs[1]).c_str(), (dir + L"\\" + docs[1]).c_str(), FALSE));
    ASSERT_TRUE(CopyFileW((samples + L"\\Project Files\\" + docs[2]).c_str(), (dir + L"\\" + docs[2]).c_str(), FALSE));
    const std::wstring text = L"open \"" + dir + L"\\" + docs[0] + L"\"\nopen \"" + dir + L"\\" + docs[1] + L"\"\nopen \"" +
                              dir + L"\\" + docs[2] + L"\"\n"
                              L"click-node 1.1\nset-text 2 \"Edited title\"\nclick-button Modify\n"
                              L"fail PropertySet.Save 0x800A0046 \"Permission denied\"\nclick-button Modify\nno-fail\n"
                              L"click-button \"\"\nactivate 1\nclose 2\n";
    kvhost::SessionOptions session;
    session.dll = RUD_TEST_DLL;
    kvhost::MatrixOptions options;
    options.onRow = [](const kvhost::MatrixRow& row) { std::printf("%s\n", kvhost::WideToUtf8(kvhost::RowText(row)).c_str()); };
    const kvhost::MatrixReport report = kvhost::RunFaultMatrix(session, kvhost::ParseScript(text), options, &Judge);

    // The clean session itself: one page per document, the Modify saved, the refused save told,
    // the file manager asked for the active document.
    EXPECT_TRUE(report.clean.Problems().empty()) << kvhost::WideToUtf8(report.clean.Problems());
    ASSERT_EQ(report.clean.boxes.size(), 1u);
    EXPECT_EQ(report.clean.boxes[0].text, L"Can't save this property");
    ASSERT_EQ(report.clean.started.size(), 1u);
    EXPECT_EQ(report.clean.started[0].commandLine, L"Explorer.exe /select,\"" + dir + L"\\" + docs[2] + L"\"");
    EXPECT_GT(report.clean.calls.size(), 300u);
    std::printf("fault matrix: %zu host calls, %zu runs, %zu unexpected\n", report.clean.calls.size(), report.rows.size(),
                report.Failures());
    EXPECT_EQ(report.Failures(), 0u);
    EXPECT_EQ(report.rows.size(), report.clean.calls.size() * 2);
}

TEST(HostSaves, AWriteFailingHalfWayIsTheHostsRefusalAndKeepsTheFile) {
    kvhost::RegisterHostTypeLibrary();
    const std::wstring path = CopyDir() + L"\\Drawing A-1001.json";
    ASSERT_TRUE(CopyFileW((std::wstring(RUD_TEST_SAMPLES) + L"\\Drawing A-1001.json").c_str(), path.c_str(), FALSE));
    const std::string before = kvhost::ReadFileBytes(path);
    kvhost::SessionOptions session;
    session.dll = RUD_TEST_DLL;
    const auto script = kvhost::ParseScript(L"open \"" + path + L"\"\nclick-node 1.1\nset-text 2 \"New title\"\n"
                                            L"fail-write 700\nclick-button Modify\n");
    const kvhost::SessionResult r = kvhost::RunSession(session, script);
    for (const auto& s : r.steps) EXPECT_TRUE(s.error.empty()) << kvhost::WideToUtf8(s.text + L": " + s.error);
    ASSERT_EQ(r.boxes.size(), 1u);
    EXPECT_EQ(r.boxes[0].text, L"Can't save this property");
    const kvhost::CallEntry& save = r.calls.at(r.steps.at(5).endCall - 1);  // Modify's last call
    EXPECT_EQ(save.member, L"Save");
    EXPECT_EQ(save.result, HRESULT_FROM_WIN32(ERROR_DISK_FULL));
    EXPECT_EQ(kvhost::ReadFileBytes(path), before);
    EXPECT_TRUE(r.Problems().empty()) << kvhost::WideToUtf8(r.Problems());
}
