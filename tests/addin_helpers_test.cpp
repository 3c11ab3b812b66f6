// The helpers nothing of the add-in calls yet (the toolbar button, the joined texts, bringing a
// page to the front), reached directly on the host simulator's objects.
#include "Commands.h"
#include "DebugOutputCapture.h"
#include "Host.h"
#include "HostError.h"
#include "KorvaneFramework.h"
#include "MyAddin.h"
#include <gtest/gtest.h>
#include <wrl/client.h>
#include <string>
#include <vector>

using Microsoft::WRL::ComPtr;

namespace {

constexpr HRESULT kRefused = static_cast<HRESULT>(0x80040217);

std::wstring CallsText(const kvhost::Host& host) {
    std::wstring out;
    for (const auto& c : host.Recorder().CallTexts()) out += c + L"\n";
    return out;
}

} // namespace

TEST(AddInHelpers, AddToolbarButtonPassesItsThreeArgumentsByReferenceAndSetsTheFlagOnlyWhenAsked) {
    kvhost::Host host;
    rud::addin::AddToolbarButton(host.AddInObject(), L"Run", L"Runs it", 11, true);
    rud::addin::AddToolbarButton(host.AddInObject(), L"", L"", -5, false);
    EXPECT_EQ(host.ButtonCount(), 2u);
    EXPECT_EQ(host.Recorder().CallTexts(),
              (std::vector<std::wstring>{L"AddIn.AddButton(&\"Run\", &\"Runs it\", &11)",
                                         L"ToolbarButton.ButtonFlag=True", L"AddIn.AddButton(&\"\", &\"\", &-5)"}))
        << kvhost::WideToUtf8(CallsText(host));
    // Every failure goes to the caller, the host's own description with it.
    host.Recorder().Fail(L"AddIn.AddButton", kRefused, L"toolbar is full");
    try {
        rud::addin::AddToolbarButton(host.AddInObject(), L"Run", L"Runs it", 11, true);
        ADD_FAILURE() << "no failure";
    } catch (const rud::AddInError& e) {
        EXPECT_EQ(e.description(), L"toolbar is full");
    }
    host.Recorder().ClearFaults();
    host.Recorder().Fail(L"ToolbarButton.ButtonFlag=", kRefused, L"flag refused");
    EXPECT_THROW(rud::addin::AddToolbarButton(host.AddInObject(), L"Run", L"Runs it", 11, true), rud::AddInError);
    EXPECT_THROW(rud::addin::AddToolbarButton(nullptr, L"Run", L"Runs it", 11, false), rud::AddInError);
}

TEST(AddInHelpers, JoinWithLineFeedsPutsOneLineFeedBetweenEachOfTheSixParts) {
    const rud::Variant empty = rud::addin::JoinWithLineFeeds(L"", L"", L"", L"", L"", L"");
    ASSERT_EQ(V_VT(&empty), VT_BSTR);
    EXPECT_EQ(std::wstring(V_BSTR(&empty), SysStringLen(V_BSTR(&empty))), L"\n\n\n\n\n");
    const rud::Variant parts = rud::addin::JoinWithLineFeeds(L"a", L"b c", L"", L"\r", L"e", L"f ");
    ASSERT_EQ(V_VT(&parts), VT_BSTR);
    EXPECT_EQ(std::wstring(V_BSTR(&parts), SysStringLen(V_BSTR(&parts))), L"a\nb c\n\n\r\ne\nf ");
}

// The page routine: the page service at line 20, the call at 30, then its trace line.
TEST(AddInHelpers, ActivateVaneBarPageAsksTheHostAndTracesThePage) {
    kvhost::Host host;
    const kvhost::DocId doc = host.NewDocumentWith(L"C:\\docs\\a.json", R"({"propertySets":[]})");
    ComPtr<IKorvaneVaneBar> vaneBar;
    ASSERT_EQ(host.AddInObject()->QueryInterface(IID_PPV_ARGS(&vaneBar)), S_OK);
    rud::Bstr tip(L"tip");
    LONG page = 0;
    ASSERT_EQ(vaneBar->CreatePage(host.Document(doc), 0, 105, tip.get(), 0, &page), S_OK);
    ASSERT_NE(page, 0);
    const HWND hWnd = reinterpret_cast<HWND>(static_cast<INT_PTR>(page));
    const std::wstring decimal = std::to_wstring(page);

    std::shared_ptr<rud::hub::Commands> hub = rud::hub::Commands::Create();
    kvhost::DebugOutputCapture trace;
    // Without the add-in object there is no page service: line 20.
    try {
        hub->ActivateVaneBarPage(hWnd, host.Document(doc));
        ADD_FAILURE() << "no failure";
    } catch (const rud::AddInError& e) {
        EXPECT_EQ(e.number(), 91);
        EXPECT_EQ(e.description(), L"Module/LN: ActivateVaneBarPage/20 - Object variable or With block variable not set");
    }
    hub->SetAddInObject(host.AddInObject());
    host.Recorder().ClearCalls();
    host.Recorder().Fail(L"VaneBar.ActivatePage", kRefused, L"no such page", 1);
    try {
        hub->ActivateVaneBarPage(hWnd, host.Document(doc));
        ADD_FAILURE() << "no failure";
    } catch (const rud::AddInError& e) {
        EXPECT_EQ(e.description(), L"Module/LN: ActivateVaneBarPage/30 - no such page");
    }
    EXPECT_TRUE(trace.wideLines().empty());

    hub->ActivateVaneBarPage(hWnd, host.Document(doc));
    EXPECT_EQ(host.Recorder().CallTexts(),
              (std::vector<std::wstring>{L"VaneBar.ActivatePage(Document[C:\\docs\\a.json], " + decimal + L", 0)",
                                         L"VaneBar.ActivatePage(Document[C:\\docs\\a.json], " + decimal + L", 0)"}))
        << kvhost::WideToUtf8(CallsText(host));
    EXPECT_EQ(trace.wideLines(), std::vector<std::wstring>{L"AddIn: ActivateVaneBarPage: " + decimal});
    hub.reset();
    vaneBar.Reset();
    EXPECT_TRUE(host.Recorder().AllReleased()) << kvhost::WideToUtf8(host.Recorder().OutstandingText());
}
