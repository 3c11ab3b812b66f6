// The host's plain logic: call log texts, fault keys, the ledger's arithmetic, the document
// format and the script language.
#include "DocumentModel.h"
#include "Recorder.h"
#include "Script.h"
#include "AddInList.h"
#include "host_testutil.h"

using namespace kvhost;

TEST(HostRecorder, CallTextsShowGetsCallsAndPuts) {
    Recorder r;
    r.Log({L"Document", L"C:\\a.json", L"FullName", Access::Get, {}});
    r.Log({L"AddIn", L"", L"Description", Access::Put, {L"\"ZazAz\""}});
    r.Log({L"VaneBar", L"", L"CreatePage", Access::Call, {L"Document[C:\\a.json]", L"105", L"\"tip\"", L"0"}});
    EXPECT_EQ(r.CallTexts(), (std::vector<std::wstring>{
                                 L"Document.FullName()", L"AddIn.Description=\"ZazAz\"",
                                 L"VaneBar.CreatePage(Document[C:\\a.json], 105, \"tip\", 0)"}));
    r.ClearCalls();
    EXPECT_TRUE(r.Calls().empty());
}

TEST(HostRecorder, FaultsMatchTheirKeyAndCountDown) {
    Recorder r;
    r.Fail(L"Property.Value=", E_ACCESSDENIED, L"read-only", 2);
    r.Fail(L"Document.FullName", E_FAIL, L"gone");
    EXPECT_FALSE(r.TakeFault(L"Property", L"Value", Access::Get)) << "a put-only fault must leave gets alone";
    auto f = r.TakeFault(L"Property", L"Value", Access::Put);
    ASSERT_TRUE(f);
    EXPECT_EQ(f->hr, E_ACCESSDENIED);
    EXPECT_EQ(f->description, L"read-only");
    EXPECT_TRUE(r.TakeFault(L"Property", L"Value", Access::Put));
    EXPECT_FALSE(r.TakeFault(L"Property", L"Value", Access::Put)) << "two calls only";
    for (int i = 0; i < 3; ++i) EXPECT_TRUE(r.TakeFault(L"Document", L"FullName", Access::Get));
    EXPECT_FALSE(r.TakeFault(L"document", L"FullName", Access::Get)) << "keys are exact";
    r.ClearFaults();
    EXPECT_FALSE(r.TakeFault(L"Document", L"FullName", Access::Get));
}

TEST(HostRecorder, LedgerCountsOnlyForeignReferencesOfLiveObjects) {
    Recorder r;
    auto a = r.Register(L"Application", L"");
    auto d = r.Register(L"Document", L"x");
    a->refs = 3;
    a->hostRefs = 1;
    d->refs = 1;
    d->hostRefs = 1;
    auto out = r.Outstanding();
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].object, L"Application");
    EXPECT_EQ(out[0].Outstanding(), 2);
    EXPECT_EQ(out[0].Text(), L"Application refs=3 host=1");
    a->refs = 1;
    EXPECT_TRUE(r.AllReleased());
    EXPECT_EQ(d->id, a->id + 1);
}

TEST(HostDocumentFormat, ParsesValuesOfEveryKindInOrder) {
    auto doc = ParseDocument(R"({"propertySets":[{"name":"A","properties":[
        {"name":"T","value":"x y"},{"name":"N","value":42},{"name":"R","value":2.5},
        {"name":"B","value":true},{"name":"E","value":null},{"name":"Z","type":"null"},
        {"name":"D","type":"date","value":"2024-05-31T17:30:00"}]},{"name":"B"}]})");
    ASSERT_EQ(doc.sets.size(), 2u);
    EXPECT_EQ(doc.sets[1].name, L"B");
    EXPECT_TRUE(doc.sets[1].properties.empty());
    const auto& p = doc.sets[0].properties;
    ASSERT_EQ(p.size(), 7u);
    EXPECT_EQ(p[0].value.type(), VT_BSTR);
    EXPECT_EQ(hosttest::Str(p[0].value), L"x y");
    EXPECT_EQ(p[1].value.type(), VT_I4);
    EXPECT_EQ(V_I4(&p[1].value), 42);
    EXPECT_EQ(p[2].value.type(), VT_R8);
    EXPECT_EQ(p[3].value.type(), VT_BOOL);
    EXPECT_EQ(V_BOOL(&p[3].value), VARIANT_TRUE);
    EXPECT_EQ(p[4].value.type(), VT_EMPTY);
    EXPECT_EQ(p[5].value.type(), VT_NULL);
    EXPECT_EQ(p[6].value.type(), VT_DATE);
    EXPECT_EQ(FormatIsoDate(V_DATE(&p[6].value)), "2024-05-31T17:30:00");
}

TEST(HostDocumentFormat, SerialisingGivesTheSameDocumentBack) {
    const std::string json = R"({"propertySets":[{"name":"Süd","properties":[
        {"name":"T","value":"Ä \"quoted\""},{"name":"N","value":-7},{"name":"B","value":false},
        {"name":"E","value":null},{"name":"Z","type":"null"},{"name":"D","type":"date","value":"1999-12-31"}]}]})";
    const auto first = ParseDocument(json);
    const auto second = ParseDocument(SerializeDocument(first));
    ASSERT_EQ(second.sets.size(), 1u);
    EXPECT_EQ(second.sets[0].name, L"S\u00fcd");
    ASSERT_EQ(second.sets[0].properties.size(), 6u);
    for (size_t i = 0; i < 6; ++i) {
        EXPECT_EQ(second.sets[0].properties[i].name, first.sets[0].properties[i].name);
        EXPECT_EQ(second.sets[0].properties[i].value.type(), first.sets[0].properties[i].value.type()) << i;
    }
    EXPECT_EQ(hosttest::Str(second.sets[0].properties[0].value), L"\u00c4 \"quoted\"");
    EXPECT_EQ(FormatIsoDate(V_DATE(&second.sets[0].properties[5].value)), "1999-12-31");
}

TEST(HostDocumentFormat, SavedTextHasOnePropertyPerLine) {
    const std::string json =
        "{\n  \"propertySets\": [\n    {\n      \"name\": \"A\",\n      \"properties\": [\n"
        "        { \"name\": \"T\", \"value\": \"x\" },\n"
        "        { \"name\": \"D\", \"type\": \"date\", \"value\": \"2024-05-31T17:30:00\" },\n"
        "        { \"name\": \"Z\", \"type\": \"null\" },\n"
        "        { \"name\": \"R\", \"value\": 0.482 }\n      ]\n    },\n"
        "    {\n      \"name\": \"Empty\",\n      \"properties\": []\n    }\n  ]\n}\n";
    EXPECT_EQ(SerializeDocument(ParseDocument(json)), json);
}

TEST(HostDocumentFormat, MalformedDocumentsAreRefusedWithAReason) {
    const char* bad[] = {
        "", "{", "[]", R"({"sets":[]})", R"({"propertySets":[{"properties":[]}]})",
        R"({"propertySets":[{"name":"A","properties":[{"value":1}]}]})",
        R"({"propertySets":[{"name":"A","properties":[{"name":"D","type":"date","value":"31.12.1999"}]}]})",
        R"({"propertySets":[{"name":"A","properties":[{"name":"X","value":[1,2]}]}]})",
        R"({"propertySets":[{"name":"A","properties":[{"name":"X","type":"color","value":1}]}]})",
    };
    for (const char* b : bad) {
        try {
            ParseDocument(b);
            ADD_FAILURE() << "accepted: " << b;
        } catch (const HostError& e) {
            EXPECT_EQ(e.hr(), E_INVALIDARG) << b;
            EXPECT_FALSE(e.description().empty()) << b;
        }
    }
}

TEST(HostDocumentFormat, TheSamplesAreRealisticDocuments) {
    const wchar_t* files[] = {L"\\Project Files\\Quarterly Report Q3.json", L"\\\u00dcberpr\u00fcfung M\u00fcller.json",
                              L"\\Drawing A-1001.json"};
    size_t total = 0;
    bool kinds[6] = {};  // text, integer, double, Boolean, date, empty or null
    for (const wchar_t* f : files) {
        const auto doc = LoadDocumentFile(hosttest::Samples() + f);
        EXPECT_GE(doc.sets.size(), 3u);
        for (const auto& s : doc.sets)
            for (const auto& p : s.properties) {
                ++total;
                switch (p.value.type()) {
                case VT_BSTR: kinds[0] = true; break;
                case VT_I4: kinds[1] = true; break;
                case VT_R8: kinds[2] = true; break;
                case VT_BOOL: kinds[3] = true; break;
                case VT_DATE: kinds[4] = true; break;
                default: kinds[5] = true;
                }
            }
    }
    EXPECT_GE(total, 60u);
    for (bool k : kinds) EXPECT_TRUE(k);
}

TEST(HostScript, ParsesActionsArgumentsAndQuotes) {
    auto s = ParseScript(L"# tour\r\nopen \"a b\\c.json\"  \n  # comment\n\nnew\nset-text #1002 \"say \"\"hi\"\"\"\nresize-window 800 600\nquit\n");
    ASSERT_EQ(s.size(), 5u);
    EXPECT_EQ(s[0].line, 2);
    EXPECT_EQ(s[0].verb, L"open");
    EXPECT_EQ(s[0].args, std::vector<std::wstring>{L"a b\\c.json"});
    EXPECT_EQ(s[1].verb, L"new");
    EXPECT_TRUE(s[1].args.empty());
    EXPECT_EQ(s[2].args, (std::vector<std::wstring>{L"#1002", L"say \"hi\""}));
    EXPECT_EQ(s[3].args, (std::vector<std::wstring>{L"800", L"600"}));
    EXPECT_EQ(s[4].line, 8);
}

TEST(HostScript, BadScriptsNameTheLine) {
    const std::pair<const wchar_t*, const wchar_t*> bad[] = {
        {L"open a.json\nfly away", L"line 2: unknown action \"fly\""},
        {L"open", L"line 1: wrong number of arguments for open"},
        {L"wait soon", L"line 1: \"soon\" is not a number"},
        {L"wait 999999", L"line 1: \"999999\" is out of range 0..60000"},
        {L"\n\nopen \"a.json", L"line 3: a quote is not closed"},
        {L"quit now", L"line 1: wrong number of arguments for quit"},
        {L"fail VaneBar.CreatePage E_FAIL", L"line 1: \"E_FAIL\" is not an HRESULT"},
        {L"create-page-zero maybe", L"line 1: create-page-zero takes on or off"},
    };
    for (const auto& [text, message] : bad) {
        try {
            ParseScript(text);
            ADD_FAILURE() << "accepted: " << WideToUtf8(text);
        } catch (const HostError& e) {
            EXPECT_EQ(e.description(), message);
        }
    }
}

TEST(HostAddInList, TheUsersEntryHidesTheMachinesAndOnlyLoadBehavior1Loads) {
    const wchar_t* key = L"Software\\KorvaneSimTest\\AddIns";
    auto put = [&](HKEY root, const wchar_t* progId, const DWORD* flag) {
        const std::wstring path = std::wstring(key) + L"\\" + progId;
        HKEY k = nullptr;
        ASSERT_EQ(RegCreateKeyExW(root, path.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &k, nullptr), ERROR_SUCCESS);
        if (flag) RegSetValueExW(k, L"LoadBehavior", 0, REG_DWORD, reinterpret_cast<const BYTE*>(flag), sizeof *flag);
        RegCloseKey(k);
    };
    const DWORD off = 0, on = 1;
    put(HKEY_LOCAL_MACHINE, L"B.Two", &on);
    put(HKEY_CURRENT_USER, L"B.Two", &off);
    put(HKEY_LOCAL_MACHINE, L"C.Three", nullptr);
    put(HKEY_LOCAL_MACHINE, L"A.One", &on);
    const auto list = ListedAddIns(key);
    RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\KorvaneSimTest");
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, L"Software\\KorvaneSimTest");
    std::vector<std::wstring> seen;
    for (const auto& a : list) seen.push_back(a.progId + (a.perUser ? L" user " : L" machine ") + (a.load ? L"1" : L"0"));
    EXPECT_EQ(seen, (std::vector<std::wstring>{L"B.Two user 0", L"A.One machine 1", L"C.Three machine 0"}));
    EXPECT_TRUE(ListedAddIns(key).empty());
}

TEST(HostDocumentFormat, TypedValuesOfEveryVariantKindComeBackTheSame) {
    const std::string json = R"({"propertySets":[{"name":"S","properties":[
        {"name":"a","type":"i8","value":"-9007199254740993"},{"name":"b","type":"decimal","value":"1.25"},
        {"name":"c","type":"error","value":-2147352572},{"name":"d","type":"array","value":[1,"x",{"type":"ui1","value":"7"}]},
        {"name":"e","type":"byref","value":{"type":"i4","value":"7"}},{"name":"f","value":"nul\u0000inside"}]}]})";
    const DocumentContent doc = ParseDocument(json);
    const auto& p = doc.sets.at(0).properties;
    EXPECT_EQ(V_VT(&p[0].value), VT_I8);
    EXPECT_EQ(V_VT(&p[2].value), VT_ERROR);
    EXPECT_EQ(V_VT(&p[3].value), VT_ARRAY | VT_VARIANT);
    ASSERT_EQ(V_VT(&p[4].value), VT_BYREF | VT_I4);
    EXPECT_EQ(*V_I4REF(&p[4].value), 7);
    EXPECT_EQ(SysStringLen(V_BSTR(&p[5].value)), 10u);
    const DocumentContent again = ParseDocument(SerializeDocument(doc));
    for (size_t i = 0; i < p.size(); ++i) EXPECT_EQ(ValueJson(again.sets[0].properties[i].value), ValueJson(p[i].value)) << i;
}

TEST(HostFiles, AWriteFailingHalfWayLeavesTheOriginalByteForByte) {
    const std::wstring dir = hosttest::TempDir(), path = dir + L"\\atomic.json";
    const std::string original(10000, 'o'), replacement(10000, 'n');
    WriteFileBytes(path, original);
    ASSERT_TRUE(SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_HIDDEN));
    FailFileWritesAfter(5000);
    try {
        WriteFileBytes(path, replacement);
        ADD_FAILURE() << "the write did not fail";
    } catch (const HostError& e) {
        EXPECT_EQ(e.hr(), HRESULT_FROM_WIN32(ERROR_DISK_FULL));
    }
    FailFileWritesAfter(std::nullopt);
    EXPECT_EQ(ReadFileBytes(path), original);
    WIN32_FIND_DATAW found{};
    HANDLE h = FindFirstFileW((dir + L"\\~atomic.json*").c_str(), &found);
    EXPECT_EQ(h, INVALID_HANDLE_VALUE) << "a temporary file was left";
    if (h != INVALID_HANDLE_VALUE) FindClose(h);
    // A write that succeeds replaces the content and keeps the attributes.
    WriteFileBytes(path, replacement);
    EXPECT_EQ(ReadFileBytes(path), replacement);
    EXPECT_TRUE(GetFileAttributesW(path.c_str()) & FILE_ATTRIBUTE_HIDDEN);
    SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileW(path.c_str());
}
