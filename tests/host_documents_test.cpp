// Real compound documents made by other programs, opened in the host simulator: the sets, names
// and values an independent reader found; a Modify and Save that changes one property and no other
// byte of any stream; bad files that get one line and stay as they were.
#include "CompoundDocument.h"
#include "Host.h"
#include "PropertySetCodec.h"
#include "host_compound.h"
#include "host_documents_expected.h"
#include "host_simrun.h"
#include "host_testutil.h"
#include <cmath>
#include <cstdio>

namespace {

using namespace hosttest;
namespace ps = kvhost::propset;

kvhost::Host::Options Hidden() {
    kvhost::Host::Options o;
    o.showWindow = false;
    return o;
}

std::string U8(const std::wstring& s) { return kvhost::WideToUtf8(s); }

std::string InvariantText(const VARIANT& v) {
    rud::Variant s;
    if (FAILED(VariantChangeTypeEx(&s, const_cast<VARIANT*>(&v), LOCALE_INVARIANT, 0, VT_BSTR))) return "<no text>";
    return U8(std::wstring(V_BSTR(&s), SysStringLen(V_BSTR(&s))));
}

std::string DateText(DATE d) {
    if (d < 1.0) return "duration " + std::to_string(static_cast<long long>(std::llround(d * 86400))) + "s";
    const double days = std::floor(d);
    const long long secs = static_cast<long long>(std::floor((d - days) * 86400 + 1e-4));
    SYSTEMTIME st{};
    if (!VariantTimeToSystemTime(days, &st)) return "<bad date>";
    char buf[40];
    std::snprintf(buf, sizeof buf, "%04u-%02u-%02uT%02lld:%02lld:%02lldZ", st.wYear, st.wMonth, st.wDay, secs / 3600,
                  secs / 60 % 60, secs % 60);
    return buf;
}

std::string ShortType(VARTYPE vt) {
    switch (vt) {
    case VT_I2: return "I2";
    case VT_I4: return "I4";
    case VT_UI4: return "UI4";
    case VT_R8: return "R8";
    case VT_BOOL: return "BOOL";
    case VT_DATE: return "DATE";
    default: return std::to_string(vt);
    }
}

// A served value in the form of the expectations (see host_documents_expected.h).
std::string Canonical(const VARIANT& v) {
    const VARTYPE t = V_VT(&v);
    if (t == VT_EMPTY) return "";
    if (t == VT_BSTR) return U8(std::wstring(V_BSTR(&v), SysStringLen(V_BSTR(&v))));
    if (t == VT_BOOL) return V_BOOL(&v) ? "TRUE" : "FALSE";
    if (t == VT_DATE) return DateText(V_DATE(&v));
    if (t == (VT_ARRAY | VT_UI1)) {
        LONG hi = -1;
        SafeArrayGetUBound(V_ARRAY(&v), 1, &hi);
        return "<" + std::to_string(hi + 1) + " bytes>";
    }
    if (t == (VT_ARRAY | VT_VARIANT)) {
        LONG lo = 0, hi = -1;
        SafeArrayGetLBound(V_ARRAY(&v), 1, &lo);
        SafeArrayGetUBound(V_ARRAY(&v), 1, &hi);
        std::string out;
        for (LONG i = lo; i <= hi; ++i) {
            rud::Variant e;
            SafeArrayGetElement(V_ARRAY(&v), &i, &e);
            if (i > lo) out += " | ";
            if (V_VT(&e) == VT_BSTR) out += Canonical(e);
            else if (V_VT(&e) == VT_EMPTY) out += "<empty>";
            else out += "<" + ShortType(V_VT(&e)) + " " + InvariantText(e) + ">";
        }
        return out;
    }
    return InvariantText(v);
}

const char* KindOf(const VARIANT& v) {
    switch (V_VT(&v)) {
    case VT_EMPTY: return "empty";
    case VT_BSTR: return "text";
    case VT_BOOL: return "bool";
    case VT_DATE: return "date";
    case VT_ARRAY | VT_UI1: return "bytes";
    case VT_ARRAY | VT_VARIANT: return "vector";
    default: return "number";
    }
}

TEST(RealDocuments, TheFolderIsThere) {
    // Beside the clone as ../shared/documents; the tests below need it.
    ASSERT_NE(GetFileAttributesW(Document(L"README.md").c_str()), INVALID_FILE_ATTRIBUTES)
        << "missing: " << U8(Documents());
    EXPECT_GE(RealCompoundFiles().size(), 27u);
}

TEST(RealDocuments, OpenWithTheSetsNamesAndValuesOfAnIndependentReader) {
    kvhost::Host host(Hidden());
    std::string file;
    std::map<std::string, size_t> setsExpected;
    const kvhost::SetData* set = nullptr;
    size_t prop = 0;
    size_t compared = 0;
    kvhost::DocumentContent content;
    auto finishSet = [&] {
        if (set) {
            EXPECT_EQ(set->properties.size(), prop) << file << " [" << U8(set->name) << "]: more properties";
        }
    };
    for (const ExpectedRow& row : kExpectedDocuments) {
        if (row.file != file) {
            finishSet();
            set = nullptr;
            file = row.file;
            content = kvhost::DocumentContent{};
            try {
                content = host.Content(host.OpenDocument(Document(kvhost::Utf8ToWide(file))));
            } catch (const kvhost::HostError& e) {
                ADD_FAILURE() << file << ": " << U8(e.description());
            }
            size_t expectedSets = 0;
            for (const ExpectedRow& r : kExpectedDocuments)
                if (r.file == file && !r.name) ++expectedSets;
            EXPECT_EQ(content.sets.size(), expectedSets) << file;
        }
        if (!row.name) {
            finishSet();
            set = nullptr;
            prop = 0;
            // The n-th set of that name.
            size_t nth = setsExpected[file + "|" + row.set]++;
            for (const auto& s : content.sets)
                if (U8(s.name) == row.set && nth-- == 0) {
                    set = &s;
                    break;
                }
            EXPECT_TRUE(set) << file << ": no set " << row.set;
            continue;
        }
        if (!set) continue;
        if (prop >= set->properties.size()) {
            ADD_FAILURE() << file << " [" << row.set << "]: no property " << row.name;
            continue;
        }
        const kvhost::PropertyData& p = set->properties[prop++];
        EXPECT_EQ(U8(p.name), row.name) << file << " [" << row.set << "]";
        EXPECT_STREQ(KindOf(p.value), row.kind) << file << " [" << row.set << "] " << row.name;
        std::string expected = row.value;
        const std::string actual = Canonical(p.value);
        if (expected.size() >= 3 && expected.ends_with("...")) {
            expected.resize(expected.size() - 3);
            EXPECT_EQ(actual.substr(0, expected.size()), expected) << file << " [" << row.set << "] " << row.name;
        } else {
            EXPECT_EQ(actual, expected) << file << " [" << row.set << "] " << row.name;
        }
        ++compared;
    }
    finishSet();
    EXPECT_GT(compared, 650u);
    // Compound files with no property set open as documents without sets.
    EXPECT_TRUE(host.Content(host.OpenDocument(Document(L"example_received_unicode.msg"))).sets.empty());
    host.Quit();
}

TEST(RealDocuments, EveryPropertySetStreamWritesBackByteForByte) {
    size_t streams = 0;
    for (const std::wstring& name : RealCompoundFiles()) {
        for (const auto& [stream, bytes] : ReadAllStreams(Document(name))) {
            if (stream.empty() || stream[0] != L'\005') continue;
            const ps::Stream parsed = ps::Parse(bytes);
            EXPECT_EQ(ps::Write(parsed), bytes) << U8(name) << " " << U8(stream.substr(1));
            // Laid out anew from what was read, every value at its place again.
            ps::Stream fresh = parsed;
            fresh.original.clear();
            EXPECT_NO_THROW(ps::Parse(ps::Write(fresh))) << U8(name);
            ++streams;
        }
    }
    EXPECT_GE(streams, 45u);
}

// Property.Value = text, then PropertySet.Save, through the object model as an add-in does it.
void ModifyAndSave(kvhost::Host& host, kvhost::DocId doc, const std::wstring& set, const std::wstring& prop,
                   const std::wstring& text, HRESULT expectedSave = S_OK) {
    IDispatch* d = host.Document(doc);
    Outcome sets = Get(d, IdOf(d, L"Properties"), {rud::Variant::fromString(set)});
    ASSERT_EQ(sets.hr, S_OK) << U8(sets.description);
    auto setObj = Obj(sets.result);
    Outcome p = Get(setObj.Get(), DISPID_VALUE, {rud::Variant::fromString(prop)});
    ASSERT_EQ(p.hr, S_OK) << U8(p.description);
    auto propObj = Obj(p.result);
    Outcome put = Put(propObj.Get(), IdOf(propObj.Get(), L"Value"), rud::Variant::fromString(text));
    ASSERT_EQ(put.hr, S_OK) << U8(put.description);
    Outcome save = Get(setObj.Get(), IdOf(setObj.Get(), L"Save"));
    EXPECT_EQ(save.hr, expectedSave) << U8(save.description);
}

// The stored bytes of every property of every section of every property-set stream, in order.
std::vector<std::string> StoredValues(const std::map<std::wstring, std::string>& streams) {
    std::vector<std::string> out;
    for (const auto& [name, bytes] : streams) {
        if (name.empty() || name[0] != L'\005') continue;
        const ps::Stream s = ps::Parse(bytes);
        for (const ps::Section& sec : s.sections)
            for (const ps::Property& p : sec.properties) out.push_back(U8(name) + "#" + std::to_string(p.id) + "=" + p.stored);
    }
    return out;
}

TEST(RealDocuments, ModifyAndSaveChangesThatPropertyAndNoOtherByte) {
    const std::wstring text = L"Edited in the simulator";
    size_t edited = 0;
    for (const std::wstring& name : RealCompoundFiles()) {
        if (name == L"example_password.docx") continue;  // encrypted: refused
        const std::wstring copy = Tmp(L"edit-" + name);
        CopyInto(Document(name), copy);
        SetFileAttributesW(copy.c_str(), FILE_ATTRIBUTE_NORMAL);
        const auto before = ReadAllStreams(copy);
        kvhost::Host host(Hidden());
        const kvhost::DocId doc = host.OpenDocument(copy);
        const kvhost::DocumentContent content = host.Content(doc);
        // Title where there is one, else the first text property.
        std::wstring set, prop;
        for (const auto& s : content.sets)
            for (const auto& p : s.properties)
                if (V_VT(&p.value) == VT_BSTR && (set.empty() || (s.name == L"SummaryInformation" && p.name == L"Title"))) {
                    set = s.name;
                    prop = p.name;
                }
        if (set.empty()) {
            host.Quit();
            continue;  // nothing to edit (Test_Humor-Generation.ppt, the .msg)
        }
        ModifyAndSave(host, doc, set, prop, text);
        host.Quit();

        const auto after = ReadAllStreams(copy);
        ASSERT_EQ(after.size(), before.size()) << U8(name);
        for (const auto& [stream, bytes] : before)
            if (stream[0] != L'\005') {
                EXPECT_TRUE(after.at(stream) == bytes) << U8(name) << ": " << U8(stream) << " changed";
            }
        const auto was = StoredValues(before), is = StoredValues(after);
        ASSERT_EQ(was.size(), is.size()) << U8(name);
        size_t changed = 0;
        for (size_t i = 0; i < was.size(); ++i) changed += was[i] != is[i];
        EXPECT_EQ(changed, 1u) << U8(name);

        kvhost::Host again(Hidden());
        const kvhost::DocumentContent reread = again.Content(again.OpenDocument(copy));
        ASSERT_EQ(reread.sets.size(), content.sets.size());
        for (size_t s = 0; s < reread.sets.size(); ++s)
            for (size_t k = 0; k < reread.sets[s].properties.size(); ++k) {
                const bool target = reread.sets[s].name == set && reread.sets[s].properties[k].name == prop;
                EXPECT_EQ(Canonical(reread.sets[s].properties[k].value),
                          target ? U8(text) : Canonical(content.sets[s].properties[k].value))
                    << U8(name) << " " << U8(reread.sets[s].properties[k].name);
            }
        again.Quit();
        DeleteFileW(copy.c_str());
        ++edited;
    }
    EXPECT_GE(edited, 24u);
}

TEST(RealDocuments, TextOutsideTheCodePageIsKeptAsUnicode) {
    const std::wstring copy = Tmp(L"unicode-TestMickey.doc");
    CopyInto(Document(L"TestMickey.doc"), copy);
    SetFileAttributesW(copy.c_str(), FILE_ATTRIBUTE_NORMAL);
    const std::wstring text = L"\u00c4rger \u2713 \u65e5\u672c";  // not all of it in code page 1252
    {
        kvhost::Host host(Hidden());
        ModifyAndSave(host, host.OpenDocument(copy), L"UserDefined", L"Client", text);
        host.Quit();
    }
    kvhost::Host host(Hidden());
    EXPECT_EQ(host.PropertyText(host.OpenDocument(copy), L"UserDefined", L"Client"), text);
    const ps::Stream s = ps::Parse(ReadAllStreams(copy).at(L"\005DocumentSummaryInformation"));
    EXPECT_EQ(s.sections.at(1).Find(3)->value.type, ps::kLpwstr);
    host.Quit();
}

TEST(RealDocuments, ValuesTheAddInCannotWriteAreRefusedAndSurvive) {
    const std::wstring copy = Tmp(L"readonly-values-TestVisio43688.vsd");
    CopyInto(Document(L"TestVisio43688.vsd"), copy);
    SetFileAttributesW(copy.c_str(), FILE_ATTRIBUTE_NORMAL);
    kvhost::Host host(Hidden());
    IDispatch* d = host.Document(host.OpenDocument(copy));
    auto set = Obj(Get(d, IdOf(d, L"Properties"), {rud::Variant::fromString(L"DocumentSummaryInformation")}).result);
    for (const wchar_t* name : {L"TitlesOfParts", L"CodePage"}) {
        auto prop = Obj(Get(set.Get(), DISPID_VALUE, {rud::Variant::fromString(name)}).result);
        const Outcome put = Put(prop.Get(), IdOf(prop.Get(), L"Value"), rud::Variant::fromString(L"x"));
        EXPECT_EQ(put.hr, DISP_E_EXCEPTION) << U8(name);
        EXPECT_EQ(put.description, std::wstring(L"The property ") + name + L" is read-only");
    }
    host.Quit();
}

// ---- bad files: one line, exit 2, the file unchanged

TEST(BadDocuments, EachGetsOneLineAndStaysAsItWas) {
    struct Case {
        std::wstring file;
        std::string line;  // after "korvane-sim: <path>"
    };
    std::vector<Case> cases;
    const std::wstring plain = Tmp(L"plain text.doc");
    kvhost::WriteFileBytes(plain, "This is not a compound file.");
    cases.push_back({plain, ": not a valid document"});
    const std::wstring encrypted = Tmp(L"encrypted.docx");
    CopyInto(Document(L"example_password.docx"), encrypted);
    cases.push_back({encrypted, ": is encrypted"});
    const std::wstring truncated = Tmp(L"truncated.doc");
    kvhost::WriteFileBytes(truncated, Bytes(Document(L"TestMickey.doc")).substr(0, 5000));
    cases.push_back({truncated, ": "});
    // A property set whose section claims more bytes than its stream has.
    std::string lying = ReadAllStreams(Document(L"TestMickey.doc")).at(L"\005SummaryInformation");
    lying[51] = '\x7f';  // the section's size
    const std::wstring liar = Tmp(L"lying sizes.doc");
    DeleteFileW(liar.c_str());
    WriteCompoundFile(liar, {{L"\005SummaryInformation", lying}});
    cases.push_back({liar, ": its property set SummaryInformation is damaged: section 0 is larger than the stream"});

    for (const Case& c : cases) {
        const std::string bytes = Bytes(c.file);
        ExpectOneErrorLine(RunSim(L"dump " + Quote(c.file)), 2, U8(c.file) + c.line);
        EXPECT_TRUE(Bytes(c.file) == bytes) << U8(c.file) << " changed";
        kvhost::Host host(Hidden());
        EXPECT_THROW(host.OpenDocument(c.file), kvhost::HostError) << U8(c.file);
        host.Quit();
    }
}

TEST(BadDocuments, ALockedFileIsNotReadAndNotWritten) {
    const std::wstring copy = Tmp(L"locked-TestMickey.doc");
    CopyInto(Document(L"TestMickey.doc"), copy);
    SetFileAttributesW(copy.c_str(), FILE_ATTRIBUTE_NORMAL);
    const std::string bytes = Bytes(copy);
    kvhost::Host host(Hidden());
    const kvhost::DocId doc = host.OpenDocument(copy);
    {
        // Another program holds it open and shares it with nobody.
        rud::UniqueKernelHandle lock(CreateFileW(copy.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                                 FILE_ATTRIBUTE_NORMAL, nullptr));
        ASSERT_NE(lock.get(), INVALID_HANDLE_VALUE);
        ExpectOneErrorLine(RunSim(L"dump " + Quote(copy)), 2, U8(copy) + ": is locked by another program");
        ModifyAndSave(host, doc, L"SummaryInformation", L"Title", L"not written", DISP_E_EXCEPTION);
    }
    {
        // Another program has it open for writing and lets others read it: it is read, and a save
        // is refused rather than written behind that program's back.
        rud::UniqueKernelHandle editor(CreateFileW(copy.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                                   OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        ASSERT_NE(editor.get(), INVALID_HANDLE_VALUE);
        const RunResult r = RunSim(L"dump " + Quote(copy));
        EXPECT_EQ(r.exitCode, 0u) << r.err;
        EXPECT_NE(r.out.find("\"value\": \"sample title\""), std::string::npos) << r.out;
        ModifyAndSave(host, doc, L"SummaryInformation", L"Title", L"not written", DISP_E_EXCEPTION);
    }
    host.Quit();
    EXPECT_TRUE(Bytes(copy) == bytes);
}

TEST(BadDocuments, AReadOnlyFileOpensAndRefusesTheSave) {
    const std::wstring copy = Tmp(L"readonly-TestMickey.doc");
    SetFileAttributesW(copy.c_str(), FILE_ATTRIBUTE_NORMAL);
    CopyInto(Document(L"TestMickey.doc"), copy);
    SetFileAttributesW(copy.c_str(), FILE_ATTRIBUTE_READONLY);
    const std::string bytes = Bytes(copy);
    kvhost::Host host(Hidden());
    const kvhost::DocId doc = host.OpenDocument(copy);
    EXPECT_EQ(host.PropertyText(doc, L"SummaryInformation", L"Title"), L"sample title");
    ModifyAndSave(host, doc, L"SummaryInformation", L"Title", L"not written", DISP_E_EXCEPTION);
    host.Quit();
    EXPECT_TRUE(Bytes(copy) == bytes);
    SetFileAttributesW(copy.c_str(), FILE_ATTRIBUTE_NORMAL);
}

TEST(RealDocuments, DumpPrintsWhatTheObjectModelServes) {
    const RunResult r = RunSim(L"dump " + Quote(Document(L"TestGermanWord90.doc")));
    EXPECT_EQ(r.exitCode, 0u) << r.err;
    EXPECT_EQ(r.err, "");
    for (const char* part : {"\"file\": \"", "\"name\": \"UserDefined\"", "\"name\": \"Test-Text\"",
                             "\"type\": \"VT_BSTR\"", "\"value\": \"This is some text.\"", "\"name\": \"Test-JaNein\"",
                             "\"type\": \"VT_BOOL\"", "\"value\": \"True\"", "\"type\": \"VT_ARRAY|VT_UI1\""})
        EXPECT_NE(r.out.find(part), std::string::npos) << part << "\n" << r.out;

    // The same for a JSON document, and for the compound sample korvane-sim makes.
    const RunResult json = RunSim(L"dump " + Quote(Samples() + L"\\Drawing A-1001.json"));
    EXPECT_EQ(json.exitCode, 0u) << json.err;
    EXPECT_NE(json.out.find("\"value\": \"A-1001\""), std::string::npos) << json.out;
    const std::wstring sample = Tmp(L"sample.doc");
    EXPECT_EQ(RunSim(L"make-sample " + Quote(sample)).exitCode, 0u);
    const RunResult made = RunSim(L"dump " + Quote(sample));
    EXPECT_EQ(made.exitCode, 0u) << made.err;
    EXPECT_NE(made.out.find("\"value\": \"Harbour Logistics\""), std::string::npos) << made.out;
}

} // namespace
