// The host's object model through real COM calls: dispatch ids and names, enumeration order,
// events as a sink receives them, fault injection, the call log, the ledger, the Save round
// trip, and the VaneBar's pages.
#include "KorvaneFramework.h"
#include "DocumentModel.h"
#include "Script.h"
#include "host_testutil.h"
#include <commctrl.h>
#include <olectl.h>
#include <wrl/client.h>

using Microsoft::WRL::ComPtr;
using hosttest::Get;
using hosttest::Obj;
using hosttest::Put;
using hosttest::Str;
using kvhost::Host;

namespace {

// A sink that records each event: its id and the types of its arguments in declared order.
class RecordingSink : public IDispatch {
public:
    explicit RecordingSink(const IID& iid, bool knowsEventIid = true) : iid_(iid), knows_(knowsEventIid) {}
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        *ppv = nullptr;
        if (riid == iid_) {
            asked.push_back(L"event");
            if (!knows_) return E_NOINTERFACE;
        } else if (riid == IID_IDispatch) {
            asked.push_back(L"IDispatch");
        } else if (riid != IID_IUnknown) {
            return E_NOINTERFACE;
        }
        *ppv = static_cast<IDispatch*>(this);
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
    ULONG STDMETHODCALLTYPE Release() override { return --refs; }  // lives on the test's stack
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* n) override { *n = 0; return S_OK; }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* dp, VARIANT*,
                                     EXCEPINFO* ex, UINT*) override {
        std::wstring e = std::to_wstring(id) + L":";
        for (UINT i = 0; i < dp->cArgs; ++i) e += L" " + std::to_wstring(V_VT(&dp->rgvarg[dp->cArgs - 1 - i]));
        if (flags != DISPATCH_METHOD) e += L" flags=" + std::to_wstring(flags);
        events.push_back(e);
        if (id == korvane::DISPID_EV_ONCOMMANDUPDATEUI && dp->cArgs == 4) {
            *V_I4REF(&dp->rgvarg[2]) += 1;
            SysFreeString(*V_BSTRREF(&dp->rgvarg[1]));
            *V_BSTRREF(&dp->rgvarg[1]) = SysAllocString(L"changed");
            *V_I4REF(&dp->rgvarg[0]) = 99;
        }
        if (dp->cArgs == 1 && V_VT(&dp->rgvarg[0]) == VT_DISPATCH)
            names.push_back(Str(Get(V_DISPATCH(&dp->rgvarg[0]), korvane::DISPID_DOC_FULLNAME).result));
        if (failWith) {
            ex->scode = failWith;
            ex->bstrDescription = SysAllocString(L"sink refused");
            return DISP_E_EXCEPTION;
        }
        return S_OK;
    }
    std::vector<std::wstring> events, names, asked;
    long refs = 0;
    HRESULT failWith = S_OK;

private:
    IID iid_;
    bool knows_;
};

ComPtr<IConnectionPoint> PointOf(IDispatch* source, const IID& iid) {
    ComPtr<IConnectionPointContainer> cpc;
    EXPECT_EQ(source->QueryInterface(IID_PPV_ARGS(&cpc)), S_OK);
    ComPtr<IConnectionPoint> cp;
    if (cpc) {
        EXPECT_EQ(cpc->FindConnectionPoint(iid, &cp), S_OK);
    }
    return cp;
}

std::wstring Sample(const wchar_t* name) { return hosttest::Samples() + L"\\" + name; }

const char kSmallDoc[] = R"({"propertySets":[
  {"name":"Summary","properties":[{"name":"Title","value":"T1"},{"name":"Pages","value":3},{"name":"Empty","value":null}]},
  {"name":"Custom","properties":[{"name":"Status","value":"draft"},{"name":"Done","value":false}]},
  {"name":"Third","properties":[]}]})";

// The host's page service, as an add-in asks its add-in object for it.
void GetVaneBar(Host& host, ComPtr<IKorvaneVaneBar>& bar) {
    ASSERT_EQ(host.AddInObject()->QueryInterface(IID_IKorvaneVaneBar, reinterpret_cast<void**>(bar.GetAddressOf())), S_OK);
}

// A page's window from the 32-bit handle CreatePage gives.
HWND PageWindow(LONG handle) { return reinterpret_cast<HWND>(static_cast<LONG_PTR>(handle)); }

} // namespace

TEST(HostObjects, TheWindowsExistOnTheDisplay) {
    Host host;
    ASSERT_TRUE(IsWindow(host.MainWindow()));
    ASSERT_TRUE(IsWindow(host.Pane()));
    EXPECT_EQ(GetParent(host.Pane()), host.MainWindow());
    EXPECT_TRUE(IsWindowVisible(host.MainWindow()));
}

TEST(HostObjects, ApplicationAnswersItsIdsAndNames) {
    Host host;
    IDispatch* app = host.Application();
    EXPECT_EQ(hosttest::IdOf(app, L"applicationflag"), 59);
    EXPECT_EQ(hosttest::IdOf(app, L"NoSuchMember"), DISPID_UNKNOWN);
    auto r = Get(app, 59);
    ASSERT_EQ(r.hr, S_OK);
    EXPECT_EQ(r.result.type(), VT_BOOL);
    EXPECT_EQ(V_BOOL(&r.result), VARIANT_TRUE);
    host.SetApplicationFlag(rud::Variant::fromLong(0));
    r = Get(app, 59);
    EXPECT_EQ(r.result.type(), VT_I4);
    EXPECT_EQ(V_I4(&r.result), 0);
    EXPECT_EQ(Get(app, 12345).hr, DISP_E_MEMBERNOTFOUND);
    EXPECT_EQ(Put(app, 59, rud::Variant::fromBool(true)).hr, DISP_E_MEMBERNOTFOUND) << "ApplicationFlag is read-only";
    ComPtr<IUnknown> unk;
    EXPECT_EQ(app->QueryInterface(DIID_IKorvaneApplication, reinterpret_cast<void**>(unk.GetAddressOf())), S_OK);
    ComPtr<IConnectionPointContainer> cpc;
    EXPECT_EQ(app->QueryInterface(IID_PPV_ARGS(&cpc)), S_OK);
}

TEST(HostObjects, AddInObjectTakesTheDescriptionSettingsAndButtons) {
    Host host;
    IDispatch* addIn = host.AddInObject();
    EXPECT_EQ(hosttest::IdOf(addIn, L"AddInEvents"), korvane::DISPID_ADDIN_ADDINEVENTS);
    EXPECT_EQ(hosttest::IdOf(addIn, L"Description"), 3);
    EXPECT_EQ(hosttest::IdOf(addIn, L"NumberSetting"), 5);
    EXPECT_EQ(hosttest::IdOf(addIn, L"FlagSetting"), 8);
    EXPECT_EQ(hosttest::IdOf(addIn, L"AddButton"), 11);

    auto ev = Get(addIn, korvane::DISPID_ADDIN_ADDINEVENTS);
    ASSERT_EQ(ev.hr, S_OK);
    EXPECT_EQ(Obj(ev.result).Get(), host.AddInEvents());
    EXPECT_EQ(Put(addIn, 3, rud::Variant::fromString(L"ZazAz IZO for Korvane")).hr, S_OK);
    EXPECT_EQ(Put(addIn, 5, rud::Variant::fromLong(1)).hr, S_OK);
    EXPECT_EQ(Put(addIn, 8, rud::Variant::fromBool(true)).hr, S_OK);
    EXPECT_EQ(host.Description(), L"ZazAz IZO for Korvane");
    EXPECT_EQ(host.NumberSetting(), 1);
    EXPECT_TRUE(host.FlagSetting());

    rud::Bstr caption(L"Go"), tip(L"Go there");
    LONG id = 7;
    VARIANT a[3];
    V_VT(&a[2]) = VT_BYREF | VT_BSTR; V_BSTRREF(&a[2]) = caption.put();
    *V_BSTRREF(&a[2]) = SysAllocString(L"Go");
    V_VT(&a[1]) = VT_BYREF | VT_BSTR; V_BSTRREF(&a[1]) = tip.put();
    *V_BSTRREF(&a[1]) = SysAllocString(L"Go there");
    V_VT(&a[0]) = VT_BYREF | VT_I4; V_I4REF(&a[0]) = &id;
    DISPPARAMS dp{a, nullptr, 3, 0};
    rud::Variant button;
    ASSERT_EQ(addIn->Invoke(11, IID_NULL, 0, DISPATCH_METHOD, &dp, &button, nullptr, nullptr), S_OK);
    ASSERT_EQ(button.type(), VT_DISPATCH);
    EXPECT_EQ(host.ButtonCount(), 1u);
    ComPtr<IUnknown> asButton;
    EXPECT_EQ(V_DISPATCH(&button)->QueryInterface(DIID_ToolbarButton, reinterpret_cast<void**>(asButton.GetAddressOf())), S_OK);
    EXPECT_EQ(Put(V_DISPATCH(&button), korvane::DISPID_BUTTON_BUTTONFLAG, rud::Variant::fromBool(true)).hr, S_OK);
    EXPECT_EQ(host.Recorder().CallTexts().back(), L"ToolbarButton.ButtonFlag=True");
    EXPECT_EQ(host.Recorder().CallTexts()[host.Recorder().CallTexts().size() - 2],
              L"AddIn.AddButton(&\"Go\", &\"Go there\", &7)");

    ComPtr<IKorvaneVaneBar> bar;
    EXPECT_EQ(addIn->QueryInterface(IID_IKorvaneVaneBar, reinterpret_cast<void**>(bar.GetAddressOf())), S_OK);
    ComPtr<IKorvaneVaneBar> none;
    EXPECT_EQ(host.AddInEvents()->QueryInterface(IID_IKorvaneVaneBar, reinterpret_cast<void**>(none.GetAddressOf())), E_NOINTERFACE);
}

TEST(HostObjects, DocumentGivesSetsAndPropertiesInFileOrder) {
    Host host;
    auto doc = host.NewDocumentWith(L"C:\\Docs\\small.json", kSmallDoc);
    IDispatch* d = host.Document(doc);
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(Str(Get(d, hosttest::IdOf(d, L"FullName")).result), L"C:\\Docs\\small.json");
    auto sets = Get(d, hosttest::IdOf(d, L"Properties"));
    ASSERT_EQ(sets.hr, S_OK);
    auto e = Get(Obj(sets.result).Get(), DISPID_NEWENUM);
    ASSERT_EQ(e.hr, S_OK);
    ASSERT_EQ(e.result.type(), VT_UNKNOWN);
    ComPtr<IEnumVARIANT> en;
    ASSERT_EQ(V_UNKNOWN(&e.result)->QueryInterface(IID_PPV_ARGS(&en)), S_OK);
    std::vector<std::wstring> seen;
    rud::Variant item;
    ULONG got = 0;
    while (en->Next(1, item.put(), &got) == S_OK && got == 1) {
        IDispatch* set = V_DISPATCH(&item);
        std::wstring setName = Str(Get(set, korvane::DISPID_PROPSET_NAME).result);
        seen.push_back(L"[" + setName + L"]");
        auto pe = Get(set, DISPID_NEWENUM);
        ComPtr<IEnumVARIANT> props;
        ASSERT_EQ(V_UNKNOWN(&pe.result)->QueryInterface(IID_PPV_ARGS(&props)), S_OK);
        rud::Variant p;
        while (props->Next(1, p.put(), &got) == S_OK && got == 1) {
            auto v = Get(V_DISPATCH(&p), korvane::DISPID_PROP_VALUE);
            seen.push_back(Str(Get(V_DISPATCH(&p), korvane::DISPID_PROP_NAME).result) + L"=" +
                           (v.result.type() == VT_EMPTY ? L"" : Str(v.result)));
        }
    }
    EXPECT_EQ(seen, (std::vector<std::wstring>{L"[Summary]", L"Title=T1", L"Pages=3", L"Empty=", L"[Custom]",
                                               L"Status=draft", L"Done=False", L"[Third]"}));
    auto count = Get(Obj(sets.result).Get(), korvane::DISPID_PROPSETS_COUNT);
    EXPECT_EQ(V_I4(&count.result), 3);

    // Properties with a set name, the set's default member with a property name.
    auto custom = Get(d, korvane::DISPID_DOC_PROPERTIES, {rud::Variant::fromString(L"custom")});
    ASSERT_EQ(custom.hr, S_OK);
    auto status = Get(Obj(custom.result).Get(), DISPID_VALUE, {rud::Variant::fromString(L"Status")});
    ASSERT_EQ(status.hr, S_OK);
    EXPECT_EQ(Str(Get(Obj(status.result).Get(), 2).result), L"draft");
    auto missing = Get(Obj(custom.result).Get(), DISPID_VALUE, {rud::Variant::fromString(L"Nope")});
    EXPECT_EQ(missing.hr, DISP_E_EXCEPTION);
    EXPECT_EQ(missing.scode, E_INVALIDARG);
    EXPECT_EQ(missing.description, L"Property \"Nope\" does not exist");
    auto noSet = Get(d, korvane::DISPID_DOC_PROPERTIES, {rud::Variant::fromString(L"")});
    EXPECT_EQ(noSet.hr, DISP_E_EXCEPTION);
    EXPECT_EQ(hosttest::IdOf(Obj(custom.result).Get(), L"Save"), korvane::DISPID_PROPSET_SAVE);
    EXPECT_EQ(hosttest::IdOf(Obj(status.result).Get(), L"Value"), korvane::DISPID_PROP_VALUE);
}

TEST(HostObjects, SavedValuesSurviveReopeningAndUnsavedOnesDoNot) {
    const std::wstring path = hosttest::TempDir() + L"\\round trip \u00e4.json";
    hosttest::CopyInto(Sample(L"Drawing A-1001.json"), path);
    {
        Host host;
        auto doc = host.OpenDocument(path);
        IDispatch* d = host.Document(doc);
        auto set = Get(d, hosttest::IdOf(d, L"Properties"), {rud::Variant::fromString(L"ProjectInformation")});
        auto prop = Get(Obj(set.result).Get(), DISPID_VALUE, {rud::Variant::fromString(L"Material")});
        IDispatch* p = Obj(prop.result).Get();
        ASSERT_EQ(Put(p, hosttest::IdOf(p, L"Value"), rud::Variant::fromString(L" S355 ")).hr, S_OK);
        EXPECT_EQ(host.PropertyText(doc, L"ProjectInformation", L"Material"), L" S355 ");
        EXPECT_EQ(host.SavedPropertyText(doc, L"ProjectInformation", L"Material"), L"S235JR");
        ASSERT_EQ(hosttest::Invoke(Obj(set.result).Get(), hosttest::IdOf(Obj(set.result).Get(), L"Save"), DISPATCH_METHOD).hr, S_OK);
        EXPECT_EQ(host.SavedPropertyText(doc, L"ProjectInformation", L"Material"), L" S355 ");
        // A change in another set, never saved.
        auto other = Get(d, korvane::DISPID_DOC_PROPERTIES, {rud::Variant::fromString(L"DesignTracking")});
        auto eng = Get(Obj(other.result).Get(), DISPID_VALUE, {rud::Variant::fromString(L"Engineer")});
        ASSERT_EQ(Put(Obj(eng.result).Get(), 2, rud::Variant::fromString(L"nobody")).hr, S_OK);
    }
    Host again;
    auto doc = again.OpenDocument(path);
    EXPECT_EQ(again.PropertyText(doc, L"ProjectInformation", L"Material"), L" S355 ");
    EXPECT_EQ(again.PropertyText(doc, L"DesignTracking", L"Engineer"), L"M. Kowalski");
    EXPECT_EQ(again.PropertyText(doc, L"ProjectInformation", L"Released"), L"False") << "other values keep their type";
}

TEST(HostObjects, InjectedFaultsArriveThroughExcepInfoAndAreLogged) {
    Host host;
    host.Recorder().Fail(L"AddIn.Description", 0x800A01A8, L"Object required");
    auto r = Put(host.AddInObject(), 3, rud::Variant::fromString(L"x"));
    EXPECT_EQ(r.hr, DISP_E_EXCEPTION);
    EXPECT_EQ(r.scode, static_cast<HRESULT>(0x800A01A8));
    EXPECT_EQ(r.description, L"Object required");
    EXPECT_FALSE(host.DescriptionWasSet());
    ASSERT_EQ(host.Recorder().Calls().size(), 1u);
    EXPECT_EQ(host.Recorder().Calls()[0].result, static_cast<HRESULT>(0x800A01A8));
    EXPECT_EQ(host.Recorder().CallTexts()[0], L"AddIn.Description=\"x\"");

    auto doc = host.NewDocumentWith(L"C:\\f.json", kSmallDoc);
    host.Recorder().Fail(L"Document.FullName", E_FAIL, L"no name", 1);
    EXPECT_EQ(Get(host.Document(doc), 1).description, L"no name");
    EXPECT_EQ(Get(host.Document(doc), 1).hr, S_OK) << "one failure only";
    host.Recorder().Fail(L"AddIn.AddInEvents", E_ACCESSDENIED, L"refused");
    EXPECT_EQ(Get(host.AddInObject(), korvane::DISPID_ADDIN_ADDINEVENTS).scode, E_ACCESSDENIED);
    host.Recorder().ClearFaults();
    EXPECT_EQ(Get(host.AddInObject(), korvane::DISPID_ADDIN_ADDINEVENTS).hr, S_OK);
}

TEST(HostObjects, FullNameCanChangeBetweenCalls) {
    Host host;
    auto doc = host.NewDocumentWith(L"C:\\one.json", kSmallDoc);
    host.QueueFullNames(doc, {L"C:\\two.json", L"C:\\three.json"});
    IDispatch* d = host.Document(doc);
    EXPECT_EQ(Str(Get(d, 1).result), L"C:\\two.json");
    EXPECT_EQ(Str(Get(d, 1).result), L"C:\\three.json");
    EXPECT_EQ(Str(Get(d, 1).result), L"C:\\three.json");
    host.SetFullName(doc, L"C:\\four.json");
    EXPECT_EQ(Str(Get(d, 1).result), L"C:\\four.json");
    EXPECT_EQ(host.FindDocument(L"c:\\FOUR.json"), doc);
}

TEST(HostObjects, LedgerSeesEveryReferenceTheCallerKeeps) {
    Host host;
    auto doc = host.NewDocumentWith(L"C:\\l.json", kSmallDoc);
    ASSERT_TRUE(host.Recorder().AllReleased()) << kvhost::WideToUtf8(host.Recorder().OutstandingText());
    {
        auto sets = Get(host.Document(doc), 2);
        auto set = Get(Obj(sets.result).Get(), DISPID_VALUE, {rud::Variant::fromLong(2)});
        EXPECT_EQ(Str(Get(Obj(set.result).Get(), 6).result), L"Custom");
        auto out = host.Recorder().Outstanding();
        ASSERT_EQ(out.size(), 2u);
        EXPECT_EQ(out[0].object, L"PropertySets");
        EXPECT_EQ(out[1].object, L"PropertySet");
        EXPECT_EQ(out[1].instance, L"Custom");
        EXPECT_EQ(out[1].Outstanding(), 1);
        IDispatch* kept = host.Document(doc);
        kept->AddRef();
        EXPECT_EQ(host.Recorder().Outstanding().size(), 3u);
        kept->Release();
    }
    EXPECT_TRUE(host.Recorder().AllReleased()) << kvhost::WideToUtf8(host.Recorder().OutstandingText());
    // A document the caller still holds after closing is outstanding.
    IDispatch* d = host.Document(doc);
    d->AddRef();
    host.CloseDocument(doc);
    auto out = host.Recorder().Outstanding();
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].object, L"Document");
    EXPECT_EQ(out[0].hostRefs, 0);
    EXPECT_EQ(out[0].refs, 1);
    EXPECT_EQ(Get(d, 2).hr, DISP_E_EXCEPTION) << "a closed document has no properties";
    d->Release();
    EXPECT_TRUE(host.Recorder().AllReleased());
}

TEST(HostEvents, DocumentActionsFireTheApplicationEventsInHostOrder) {
    Host host;
    RecordingSink sink(DIID_IKorvaneApplicationEvents);
    auto cp = PointOf(host.Application(), DIID_IKorvaneApplicationEvents);
    DWORD cookie = 0;
    ASSERT_EQ(cp->Advise(&sink, &cookie), S_OK);
    EXPECT_EQ(sink.asked, std::vector<std::wstring>{L"event"}) << "the event interface is asked first";
    // A copy: saving must not touch the samples.
    const std::wstring full = hosttest::TempDir() + L"\\events.json";
    hosttest::CopyInto(Sample(L"Drawing A-1001.json"), full);
    auto a = host.OpenDocument(full);
    auto b = host.NewDocument();
    host.ActivateDocument(a);
    host.SaveDocument(a);
    host.CloseDocument(a);
    host.Quit();
    const std::wstring D = std::to_wstring(VT_DISPATCH), S = std::to_wstring(VT_BSTR);
    EXPECT_EQ(sink.events, (std::vector<std::wstring>{
                               L"10: " + S, L"3: " + D, L"1: " + D,  // open
                               L"7: " + D, L"1: " + D,                // new
                               L"1: " + D,                            // activate
                               L"16: " + D, L"4: " + D,               // save
                               L"11: " + D, L"1: " + D,               // close; the other becomes active
                               L"13:", L"11: " + D}));                // quit
    EXPECT_EQ(sink.names, (std::vector<std::wstring>{full, full, L"Document1", L"Document1", full, full,
                                                     full, full, L"Document1", L"Document1"}))
        << "each document arrives readable";
    (void)b;
    EXPECT_EQ(cp->Unadvise(cookie), S_OK);
    EXPECT_EQ(cp->Unadvise(cookie), CONNECT_E_NOCONNECTION);
    EXPECT_EQ(sink.refs, 0) << "the host let go of the sink";
}

TEST(HostEvents, SeveralSinksAndAFallBackToIDispatch) {
    Host host;
    RecordingSink one(DIID_IKorvaneApplicationEvents), two(DIID_IKorvaneApplicationEvents, false);
    auto cp = PointOf(host.Application(), DIID_IKorvaneApplicationEvents);
    DWORD c1 = 0, c2 = 0;
    ASSERT_EQ(cp->Advise(&one, &c1), S_OK);
    ASSERT_EQ(cp->Advise(&two, &c2), S_OK);
    EXPECT_NE(c1, c2);
    EXPECT_EQ(two.asked, (std::vector<std::wstring>{L"event", L"IDispatch"}));
    EXPECT_EQ(host.SinkCount(true), 2u);
    ComPtr<IEnumConnections> en;
    ASSERT_EQ(cp->EnumConnections(&en), S_OK);
    CONNECTDATA cd[3];
    ULONG got = 0;
    EXPECT_EQ(en->Next(3, cd, &got), S_FALSE);
    ASSERT_EQ(got, 2u);
    EXPECT_EQ(cd[0].dwCookie, c1);
    for (ULONG i = 0; i < got; ++i) cd[i].pUnk->Release();
    en.Reset();

    two.failWith = E_ABORT;
    auto doc = host.NewDocumentWith(L"C:\\s.json", kSmallDoc);
    ASSERT_GE(host.Events().size(), 1u);
    const auto& fired = host.Events()[0];
    EXPECT_EQ(fired.name, L"AfterNewDocumentOpen");
    EXPECT_EQ(fired.id, 7);
    EXPECT_EQ(fired.results, (std::vector<HRESULT>{S_OK, E_ABORT}));
    EXPECT_EQ(fired.descriptions[1], L"sink refused");
    ASSERT_EQ(cp->Unadvise(c1), S_OK);
    host.ClearEvents();
    host.FireDocumentEvent(16, doc);
    EXPECT_EQ(one.events.size(), 2u) << "no events after Unadvise";
    EXPECT_EQ(two.events.size(), 3u);
    ASSERT_EQ(cp->Unadvise(c2), S_OK);

    ComPtr<IConnectionPointContainer> cpc;
    ASSERT_EQ(host.Application()->QueryInterface(IID_PPV_ARGS(&cpc)), S_OK);
    ComPtr<IConnectionPoint> wrong;
    EXPECT_EQ(cpc->FindConnectionPoint(DIID_IKorvaneAddInEvents, &wrong), CONNECT_E_NOCONNECTION);
    ComPtr<IConnectionPointContainer> back;
    EXPECT_EQ(cp->GetConnectionPointContainer(&back), S_OK);
    EXPECT_EQ(back.Get(), cpc.Get());
}

TEST(HostEvents, CommandEventsCarryTheirArgumentTypesAndByRefValuesComeBack) {
    Host host;
    RecordingSink sink(DIID_IKorvaneAddInEvents);
    auto cp = PointOf(host.AddInEvents(), DIID_IKorvaneAddInEvents);
    DWORD cookie = 0;
    ASSERT_EQ(cp->Advise(&sink, &cookie), S_OK);
    host.FireCommand(5);
    host.FireCommandHelp(100, 2, 5);
    auto back = host.FireCommandUpdateUI(5, {3, L"Menu", 12});
    const std::wstring I = std::to_wstring(VT_I4);
    const std::wstring RI = std::to_wstring(VT_BYREF | VT_I4), RS = std::to_wstring(VT_BYREF | VT_BSTR);
    EXPECT_EQ(sink.events, (std::vector<std::wstring>{L"1: " + I, L"2: " + I + L" " + I + L" " + I,
                                                      L"3: " + I + L" " + RI + L" " + RS + L" " + RI}));
    EXPECT_EQ(back.flags, 4);
    EXPECT_EQ(back.text, L"changed");
    EXPECT_EQ(back.bitmap, 99);
    cp->Unadvise(cookie);
    auto same = host.FireCommandUpdateUI(5, {3, L"Menu", 12});
    EXPECT_EQ(same.flags, 3);
    EXPECT_EQ(same.text, L"Menu");
}

TEST(HostVaneBar, PagesBelongToDocumentsAndFollowTheActiveOne) {
    Host host;
    auto a = host.NewDocumentWith(L"C:\\a.json", kSmallDoc);
    ComPtr<IKorvaneVaneBar> bar;
    ASSERT_NO_FATAL_FAILURE(GetVaneBar(host, bar));
    rud::Bstr tip(L"RI Doroz OZA");
    LONG pa = 0;
    ASSERT_EQ(bar->CreatePage(host.Document(a), 0, 105, tip.get(), 0, &pa), S_OK);
    HWND pageA = PageWindow(pa);
    ASSERT_TRUE(IsWindow(pageA));
    EXPECT_EQ(GetParent(pageA), host.Pane());
    EXPECT_TRUE(IsWindowVisible(pageA));
    EXPECT_EQ(host.Recorder().CallTexts().back(),
              L"VaneBar.CreatePage(Document[C:\\a.json], 0, 105, \"RI Doroz OZA\", 0)");

    auto b = host.NewDocumentWith(L"C:\\b.json", kSmallDoc);
    LONG pb = 0;
    ASSERT_EQ(bar->CreatePage(host.Document(b), 0, 105, tip.get(), 0, &pb), S_OK);
    HWND pageB = PageWindow(pb);
    EXPECT_NE(pageA, pageB);
    EXPECT_FALSE(IsWindowVisible(pageA));
    EXPECT_TRUE(IsWindowVisible(pageB));
    host.ActivateDocument(a);
    EXPECT_TRUE(IsWindowVisible(pageA));
    EXPECT_FALSE(IsWindowVisible(pageB));
    ASSERT_EQ(bar->ActivatePage(host.Document(b), pb, 0), S_OK);
    EXPECT_TRUE(IsWindowVisible(pageB));
    EXPECT_FALSE(IsWindowVisible(pageA));
    auto pages = host.Pages();
    ASSERT_EQ(pages.size(), 2u);
    EXPECT_EQ(pages[0].hwnd, pageA);
    EXPECT_EQ(pages[0].document, a);
    EXPECT_EQ(pages[0].toolTip, L"RI Doroz OZA");
    EXPECT_EQ(pages[0].bitmapId, 105);

    ASSERT_EQ(bar->DeletePage(host.Document(a), pa, 0), S_OK);
    EXPECT_FALSE(IsWindow(pageA));
    EXPECT_EQ(host.Pages().size(), 1u);
    bar.Reset();
    EXPECT_TRUE(host.Recorder().AllReleased()) << kvhost::WideToUtf8(host.Recorder().OutstandingText());
}

TEST(HostVaneBar, FailuresComeThroughErrorInfoAndCreatePageCanGiveZero) {
    Host host;
    auto a = host.NewDocumentWith(L"C:\\a.json", kSmallDoc);
    ComPtr<IKorvaneVaneBar> bar;
    ASSERT_NO_FATAL_FAILURE(GetVaneBar(host, bar));
    ComPtr<ISupportErrorInfo> sei;
    ASSERT_EQ(bar.As(&sei), S_OK);
    EXPECT_EQ(sei->InterfaceSupportsErrorInfo(IID_IKorvaneVaneBar), S_OK);
    EXPECT_EQ(sei->InterfaceSupportsErrorInfo(IID_IDispatch), S_FALSE);

    host.Recorder().Fail(L"VaneBar.CreatePage", 0x80040201, L"The VaneBar is full");
    rud::Bstr tip(L"t");
    LONG page = 123;
    EXPECT_EQ(bar->CreatePage(host.Document(a), 0, 105, tip.get(), 0, &page), static_cast<HRESULT>(0x80040201));
    EXPECT_EQ(page, 0);
    ComPtr<IErrorInfo> info;
    ASSERT_EQ(GetErrorInfo(0, &info), S_OK);
    rud::Bstr desc;
    info->GetDescription(desc.put());
    EXPECT_EQ(desc.str(), L"The VaneBar is full");
    GUID g;
    info->GetGUID(&g);
    EXPECT_EQ(g, IID_IKorvaneVaneBar);
    host.Recorder().ClearFaults();

    host.CreatePageReturnsZero(true);
    page = 5;
    EXPECT_EQ(bar->CreatePage(host.Document(a), 0, 105, tip.get(), 0, &page), S_OK);
    EXPECT_EQ(page, 0);
    EXPECT_TRUE(host.Pages().empty());
    host.CreatePageReturnsZero(false);

    EXPECT_EQ(bar->DeletePage(host.Document(a), 4242, 0), E_INVALIDARG);
    info.Reset();
    ASSERT_EQ(GetErrorInfo(0, &info), S_OK);
    info->GetDescription(desc.put());
    EXPECT_EQ(desc.str(), L"There is no VaneBar page 4242");
    EXPECT_EQ(bar->CreatePage(host.Application(), 0, 105, tip.get(), 0, &page), E_INVALIDARG) << "not a document";
    EXPECT_EQ(host.Recorder().CallTexts().back(), L"VaneBar.CreatePage(Application, 0, 105, \"t\", 0)");
}

TEST(HostVaneBar, PagesSizeTheirChildrenOnEveryResize) {
    Host host;
    auto a = host.NewDocumentWith(L"C:\\a.json", kSmallDoc);
    ComPtr<IKorvaneVaneBar> bar;
    ASSERT_NO_FATAL_FAILURE(GetVaneBar(host, bar));
    rud::Bstr tip(L"t");
    LONG p = 0;
    ASSERT_EQ(bar->CreatePage(host.Document(a), 0, 105, tip.get(), 0, &p), S_OK);
    HWND page = PageWindow(p);
    // A borderless child and a captioned one shown maximised, as an add-in places its form.
    HWND plain = CreateWindowExW(0, L"STATIC", L"", WS_CHILD | WS_VISIBLE, 0, 0, 10, 10, page, nullptr, nullptr, nullptr);
    HWND form = CreateWindowExW(0, L"STATIC", L"form", WS_POPUP | WS_CAPTION | WS_THICKFRAME, 0, 0, 50, 50, nullptr, nullptr, nullptr, nullptr);
    ASSERT_TRUE(plain && form);
    SetWindowLongW(form, GWL_STYLE, (GetWindowLongW(form, GWL_STYLE) | WS_CHILD) & ~WS_POPUP);
    SetParent(form, page);
    ShowWindow(form, SW_SHOWMAXIMIZED);
    RECT maxRect;
    GetWindowRect(form, &maxRect);
    MapWindowPoints(nullptr, page, reinterpret_cast<POINT*>(&maxRect), 2);

    for (int width : {420, 250}) {
        host.ResizePane(width);
        RECT pc, c;
        GetClientRect(page, &pc);
        RECT pane;
        GetClientRect(host.Pane(), &pane);
        EXPECT_EQ(pc.right, pane.right) << "the page spans the pane";
        GetWindowRect(plain, &c);
        MapWindowPoints(nullptr, page, reinterpret_cast<POINT*>(&c), 2);
        EXPECT_EQ(c.left, 0);
        EXPECT_EQ(c.top, 0);
        EXPECT_EQ(c.right, pc.right);
        EXPECT_EQ(c.bottom, pc.bottom);
        GetWindowRect(form, &c);
        MapWindowPoints(nullptr, page, reinterpret_cast<POINT*>(&c), 2);
        EXPECT_EQ(c.left, maxRect.left) << "the frame stays outside, as when it was maximised";
        EXPECT_EQ(c.top, maxRect.top);
        EXPECT_EQ(c.right - pc.right, -maxRect.left);
        EXPECT_EQ(c.bottom - pc.bottom, -maxRect.top);
        EXPECT_TRUE(IsZoomed(form));
    }
    DestroyWindow(form);
}

TEST(HostVaneBar, ScreenshotIsAPngOfTheWindowsSize) {
    Host host;
    host.PumpMessages(50);
    const std::wstring path = hosttest::TempDir() + L"\\shot.png";
    DeleteFileW(path.c_str());
    kvhost::SaveWindowPng(host.MainWindow(), path);
    const std::string png = kvhost::ReadFileBytes(path);
    ASSERT_GT(png.size(), 33u);
    EXPECT_EQ(png.substr(0, 8), std::string("\x89PNG\r\n\x1a\n", 8));
    auto be32 = [&](size_t at) {
        return (static_cast<unsigned>(static_cast<unsigned char>(png[at])) << 24) |
               (static_cast<unsigned>(static_cast<unsigned char>(png[at + 1])) << 16) |
               (static_cast<unsigned>(static_cast<unsigned char>(png[at + 2])) << 8) |
               static_cast<unsigned>(static_cast<unsigned char>(png[at + 3]));
    };
    RECT r;
    GetWindowRect(host.MainWindow(), &r);
    EXPECT_EQ(be32(16), static_cast<unsigned>(r.right - r.left));
    EXPECT_EQ(be32(20), static_cast<unsigned>(r.bottom - r.top));
}

namespace {
int g_commands = 0;
LRESULT CALLBACK FormProc(HWND w, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_COMMAND && HIWORD(wp) == BN_CLICKED) ++g_commands;
    return DefWindowProcW(w, msg, wp, lp);
}
} // namespace

TEST(HostScriptUi, ScriptActionsClickTreeItemsTypeAndPressButtonsInTheVisiblePage) {
    Host host;
    auto a = host.NewDocumentWith(L"C:\\ui.json", kSmallDoc);
    ComPtr<IKorvaneVaneBar> bar;
    ASSERT_NO_FATAL_FAILURE(GetVaneBar(host, bar));
    rud::Bstr tip(L"t");
    LONG p = 0;
    ASSERT_EQ(bar->CreatePage(host.Document(a), 0, 105, tip.get(), 0, &p), S_OK);
    HWND page = PageWindow(p);
    WNDCLASSW wc{};
    wc.lpfnWndProc = &FormProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"HostTestForm";
    RegisterClassW(&wc);
    HWND form = CreateWindowExW(0, L"HostTestForm", L"", WS_CHILD | WS_VISIBLE, 0, 0, 300, 400, page, nullptr, wc.hInstance, nullptr);
    HWND tree = CreateWindowExW(0, WC_TREEVIEWW, L"", WS_CHILD | WS_VISIBLE | TVS_HASLINES | TVS_SHOWSELALWAYS, 0, 0, 300, 200, form, nullptr, nullptr, nullptr);
    HWND edit1 = CreateWindowExW(0, L"EDIT", L"", WS_CHILD | WS_VISIBLE, 0, 210, 300, 20, form, reinterpret_cast<HMENU>(1001), nullptr, nullptr);
    HWND edit2 = CreateWindowExW(0, L"EDIT", L"", WS_CHILD | WS_VISIBLE, 0, 240, 300, 20, form, reinterpret_cast<HMENU>(1002), nullptr, nullptr);
    HWND button = CreateWindowExW(0, L"BUTTON", L"&Modify", WS_CHILD | WS_VISIBLE | BS_PUSHBUTTON, 0, 270, 100, 24, form, reinterpret_cast<HMENU>(1003), nullptr, nullptr);
    ASSERT_TRUE(form && tree && edit1 && edit2 && button);
    TVINSERTSTRUCTW ins{};
    ins.hParent = TVI_ROOT;
    ins.hInsertAfter = TVI_LAST;
    ins.item.mask = TVIF_TEXT;
    ins.item.pszText = const_cast<LPWSTR>(L"[Summary]");
    HTREEITEM root = reinterpret_cast<HTREEITEM>(SendMessageW(tree, TVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&ins)));
    ins.hParent = root;
    ins.item.pszText = const_cast<LPWSTR>(L"Title=T1");
    SendMessageW(tree, TVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&ins));
    ins.item.pszText = const_cast<LPWSTR>(L"Pages=3");
    HTREEITEM pages = reinterpret_cast<HTREEITEM>(SendMessageW(tree, TVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&ins)));
    host.PumpMessages(20);

    kvhost::ScriptRunner run(host);
    for (const auto& action : kvhost::ParseScript(L"click-tree Pages\nset-text 2 \" 12 \"\nset-text #1001 first\nclick-button Modify\n"))
        EXPECT_TRUE(run.Run(action));
    EXPECT_EQ(TreeView_GetSelection(tree), pages) << "the click selected the collapsed item";
    wchar_t text[64] = {};
    GetWindowTextW(edit2, text, 64);
    EXPECT_STREQ(text, L" 12 ");
    GetWindowTextW(edit1, text, 64);
    EXPECT_STREQ(text, L"first");
    EXPECT_EQ(g_commands, 1);
    EnableWindow(button, FALSE);
    try {
        run.Run(kvhost::ParseScript(L"\nclick-button &Modify")[0]);
        ADD_FAILURE() << "a disabled button was pressed";
    } catch (const kvhost::HostError& e) {
        EXPECT_EQ(e.description(), L"line 2: no enabled button \"&Modify\"");
    }
    try {
        run.Run(kvhost::ParseScript(L"click-tree Nothing")[0]);
        ADD_FAILURE();
    } catch (const kvhost::HostError& e) {
        EXPECT_EQ(e.description(), L"line 1: no tree item \"Nothing\"");
    }
    EXPECT_EQ(g_commands, 1);
}

TEST(HostScriptUi, ScriptsInjectFaultsAndEmptyPages) {
    Host host;
    auto a = host.NewDocumentWith(L"C:\\f.json", kSmallDoc);
    kvhost::ScriptRunner run(host);
    for (const auto& action : kvhost::ParseScript(L"fail Property.Value= 0x800A0005 \"read-only\"\ncreate-page-zero on\n"))
        run.Run(action);
    auto set = Get(host.Document(a), 2, {rud::Variant::fromString(L"Summary")});
    auto prop = Get(Obj(set.result).Get(), DISPID_VALUE, {rud::Variant::fromString(L"Title")});
    auto r = Put(Obj(prop.result).Get(), 2, rud::Variant::fromString(L"new"));
    EXPECT_EQ(r.scode, static_cast<HRESULT>(0x800A0005));
    EXPECT_EQ(r.description, L"read-only");
    EXPECT_EQ(Get(Obj(prop.result).Get(), 2).hr, S_OK) << "gets still work";
    ComPtr<IKorvaneVaneBar> bar;
    ASSERT_NO_FATAL_FAILURE(GetVaneBar(host, bar));
    rud::Bstr tip(L"t");
    LONG page = 1;
    EXPECT_EQ(bar->CreatePage(host.Document(a), 0, 105, tip.get(), 0, &page), S_OK);
    EXPECT_EQ(page, 0);
    for (const auto& action : kvhost::ParseScript(L"no-fail\ncreate-page-zero off\n")) run.Run(action);
    EXPECT_EQ(Put(Obj(prop.result).Get(), 2, rud::Variant::fromString(L"new")).hr, S_OK);
    EXPECT_EQ(bar->CreatePage(host.Document(a), 0, 105, tip.get(), 0, &page), S_OK);
    EXPECT_NE(page, 0);
}

TEST(HostObjects, TheHostTypeLibraryIsRegistered) {
    Host host;
    ComPtr<ITypeLib> lib;
    ASSERT_EQ(LoadRegTypeLib(LIBID_KorvaneFramework, 1, 0, LOCALE_NEUTRAL, &lib), S_OK);
    ComPtr<ITypeInfo> info;
    EXPECT_EQ(lib->GetTypeInfoOfGuid(IID_IKorvaneAddIn, &info), S_OK);
}

TEST(HostEvents, AdviseCanBeRefused) {
    Host host;
    host.Recorder().Fail(L"ConnectionPoint.Advise", CONNECT_E_ADVISELIMIT, L"", 1);
    RecordingSink sink(DIID_IKorvaneApplicationEvents);
    auto cp = PointOf(host.Application(), DIID_IKorvaneApplicationEvents);
    DWORD cookie = 5;
    EXPECT_EQ(cp->Advise(&sink, &cookie), CONNECT_E_ADVISELIMIT);
    EXPECT_EQ(host.SinkCount(true), 0u);
    EXPECT_EQ(sink.refs, 0);
    ASSERT_EQ(cp->Advise(&sink, &cookie), S_OK);
    EXPECT_EQ(cp->Unadvise(cookie), S_OK);
    EXPECT_EQ(host.Recorder().CallTexts(),
              (std::vector<std::wstring>{L"Application.FindConnectionPoint({5E23ED5B-64E5-11D1-BA6B-080036230602})",
                                         L"ConnectionPoint.Advise(Object)", L"ConnectionPoint.Advise(Object)",
                                         L"ConnectionPoint.Unadvise(" + std::to_wstring(cookie) + L")"}));
}
