// The property-set codec on bytes (code pages, odd writers, streams that lie, what a change
// touches, mutated real streams), and compound files made here with the odd property sets,
// opened and edited through the host.
#include "CompoundDocument.h"
#include "Host.h"
#include "PropertySetCodec.h"
#include "host_compound.h"
#include "host_simrun.h"
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>

namespace {

using namespace hosttest;
namespace ps = kvhost::propset;

std::string Hex(const std::string& b) {
    std::string out;
    char buf[4];
    for (unsigned char c : b) {
        std::snprintf(buf, sizeof buf, "%02X ", c);
        out += buf;
    }
    return out;
}

ps::Value Text(uint16_t type, std::wstring s) { return ps::MakeText(type, std::move(s)); }
ps::Value Int(uint16_t type, int64_t n) { return ps::MakeInteger(type, n); }
ps::Property Prop(uint32_t id, ps::Value v) { return ps::MakeProperty(id, std::move(v)); }
ps::Section NewSection(const GUID& id, uint16_t codePage) { return ps::MakeSection(id, codePage); }
std::string StreamOf(std::vector<ps::Section> sections) { return ps::MakeStream(std::move(sections)); }

TEST(PropertySetCodec, TextInEachCodePageHasItsBytes) {
    struct Case {
        uint16_t codePage;
        const wchar_t* text;
        std::string bytes;  // with the terminating NUL
    };
    const Case cases[] = {
        {1252, L"caf\u00e9", std::string("caf\xE9\0", 5)},
        {1250, L"\u010d\u0161", std::string("\xE8\x9A\0", 3)},
        {1251, L"\u0416\u044f", std::string("\xC6\xFF\0", 3)},
        {10000, L"Mod\u00e8le", std::string("Mod\x8F" "le\0", 7)},
        {932, L"\u65e5\u672c", std::string("\x93\xFA\x96\x7B\0", 5)},
        {950, L"\u4e2d\u6587", std::string("\xA4\xA4\xA4\xE5\0", 5)},
        {65001, L"\u4e2d", std::string("\xE4\xB8\xAD\0", 4)},
        {1200, L"\u4e2d", std::string("\x2D\x4E\0\0", 4)},
        {0, L"caf\u00e9", std::string("caf\xE9\0", 5)},  // no code page stored: 1252
    };
    for (const Case& c : cases) {
        std::string bytes;
        EXPECT_TRUE(ps::ToCodePage(c.text, c.codePage, bytes)) << c.codePage;
        EXPECT_EQ(Hex(bytes), Hex(c.bytes)) << c.codePage;
        EXPECT_EQ(ps::FromCodePage(c.bytes, c.codePage), c.text) << c.codePage;
    }
    std::string lost;
    EXPECT_FALSE(ps::ToCodePage(L"\u4e2d", 1252, lost));
    EXPECT_FALSE(ps::ToCodePage(L"\u0416", 1250, lost));
    EXPECT_FALSE(ps::ToCodePage(std::wstring(L"a\0b", 3), 65001, lost));
}

TEST(PropertySetCodec, AStreamMadeHereReadsBackAsMade) {
    ps::Section s = NewSection(ps::kSummaryInformation, 1251);
    s.properties.push_back(Prop(2, Text(ps::kLpstr, L"\u041e\u0442\u0447\u0451\u0442")));
    s.properties.push_back(Prop(3, Text(ps::kLpwstr, L"\u65e5\u672c\u8a9e")));
    s.properties.push_back(Prop(14, Int(ps::kI4, -7)));
    s.properties.push_back(Prop(11, Int(ps::kBool, 1)));  // TRUE as some writers store it
    ps::Value real;
    real.type = ps::kR8;
    real.real = 2.5;
    s.properties.push_back(Prop(20, real));
    ps::Value when;
    when.type = ps::kFiletime;
    when.unsignedInteger = 0x01C4C4A1D2B0E800ull;
    s.properties.push_back(Prop(12, when));
    ps::Value blob;
    blob.type = ps::kBlob;
    blob.bytes = std::string("\x01\x02\x03\x04\x05", 5);
    s.properties.push_back(Prop(21, blob));
    ps::Value list;
    list.type = ps::kVector | ps::kLpstr;
    list.items = {Text(ps::kLpstr, L"one"), Text(ps::kLpstr, L"\u0434\u0432\u0430")};
    s.properties.push_back(Prop(22, list));
    ps::Value pairs;
    pairs.type = ps::kVector | ps::kVariant;
    pairs.items = {Text(ps::kLpstr, L"Title"), Int(ps::kI4, 1), ps::Value{}};
    s.properties.push_back(Prop(23, pairs));
    ps::Value strange;  // a type this code does not know: kept as its bytes
    strange.type = 0x49;
    strange.known = false;
    strange.bytes = "wxyz";
    s.properties.push_back(Prop(24, strange));

    const std::string bytes = StreamOf({s});
    EXPECT_EQ(Hex(bytes.substr(0, 4)), "FE FF 00 00 ");
    EXPECT_EQ(bytes.size() % 4, 0u);
    const ps::Stream back = ps::Parse(bytes);
    ASSERT_EQ(back.sections.size(), 1u);
    const ps::Section& r = back.sections[0];
    EXPECT_EQ(r.codePage, 1251);
    ASSERT_EQ(r.properties.size(), s.properties.size());
    for (size_t i = 0; i < r.properties.size(); ++i) {
        const ps::Value& a = r.properties[i].value;
        const ps::Value& b = s.properties[i].value;
        EXPECT_EQ(r.properties[i].id, s.properties[i].id);
        EXPECT_EQ(a.type, b.type) << i;
        EXPECT_EQ(a.known, b.known) << i;
        EXPECT_EQ(a.integer, b.integer) << i;
        EXPECT_EQ(a.unsignedInteger, b.unsignedInteger) << i;
        EXPECT_EQ(a.real, b.real) << i;
        EXPECT_EQ(a.text, b.text) << i;
        EXPECT_EQ(a.bytes.substr(0, b.bytes.size()), b.bytes) << i;
        ASSERT_EQ(a.items.size(), b.items.size()) << i;
        for (size_t k = 0; k < a.items.size(); ++k) {
            EXPECT_EQ(a.items[k].type, b.items[k].type);
            EXPECT_EQ(a.items[k].text, b.items[k].text);
            EXPECT_EQ(a.items[k].integer, b.items[k].integer);
        }
    }
    EXPECT_EQ(ps::Write(back), bytes);
}

// Hand-made bytes of one section: {id, stored value bytes} in order, no code page unless given.
std::string OneSection(const GUID& id, const std::vector<std::pair<uint32_t, std::string>>& values) {
    auto u32 = [](uint32_t v) { return std::string(reinterpret_cast<const char*>(&v), 4); };
    std::string body;
    std::string table;
    const size_t tableEnd = 8 + values.size() * 8;
    for (const auto& [pid, bytes] : values) {
        table += u32(pid) + u32(static_cast<uint32_t>(tableEnd + body.size()));
        body += bytes;
    }
    const std::string section = u32(static_cast<uint32_t>(tableEnd + body.size())) + u32(static_cast<uint32_t>(values.size())) + table + body;
    std::string head("\xFE\xFF\x00\x00\x05\x00\x02\x00", 8);
    head.append(16, '\0');
    head += u32(1);
    head.append(reinterpret_cast<const char*>(&id), 16);
    head += u32(48);
    return head + section;
}
std::string U32(uint32_t v) { return std::string(reinterpret_cast<const char*>(&v), 4); }

TEST(PropertySetCodec, OddWritersAreRead) {
    // Strings of a vector written without padding, a Boolean stored as 1, no code page (1252),
    // a format id written byte-swapped.
    GUID swapped = ps::kSummaryInformation;
    swapped.Data1 = _byteswap_ulong(swapped.Data1);
    swapped.Data2 = _byteswap_ushort(swapped.Data2);
    swapped.Data3 = _byteswap_ushort(swapped.Data3);
    const std::string unpadded = U32(ps::kVector | ps::kLpstr) + U32(3) + U32(7) + std::string("Sheet1\0", 7) + U32(2) +
                                 std::string("x\0", 2) + U32(6) + std::string("\xE4rger\0", 6) + std::string(3, '\0');
    const std::string variants = U32(ps::kVector | ps::kVariant) + U32(2) + U32(ps::kLpstr) + U32(7) +
                                 std::string("Titles\0", 7) + U32(ps::kI4) + U32(3) + std::string(1, '\0');
    const std::string bytes = OneSection(swapped, {{11, U32(ps::kBool) + std::string("\x01\x00\x00\x00", 4)},
                                                   {13, unpadded},
                                                   {12, variants},
                                                   {2, U32(ps::kLpstr) + U32(4) + std::string("\xC4\xF6\xFC\0", 4)}});
    const ps::Stream st = ps::Parse(bytes);
    const ps::Section& s = st.sections.at(0);
    EXPECT_TRUE(ps::SameFormat(s.formatId, ps::kSummaryInformation));
    EXPECT_FALSE(ps::SameFormat(s.formatId, ps::kDocSummaryInformation));
    EXPECT_FALSE(s.hasCodePage);
    EXPECT_EQ(s.Find(11)->value.integer, 1);
    const ps::Value& titles = s.Find(13)->value;
    ASSERT_EQ(titles.items.size(), 3u);
    EXPECT_TRUE(titles.unpadded);
    EXPECT_EQ(titles.items[0].text, L"Sheet1");
    EXPECT_EQ(titles.items[1].text, L"x");
    EXPECT_EQ(titles.items[2].text, L"\u00e4rger");
    const ps::Value& pairs = s.Find(12)->value;
    ASSERT_EQ(pairs.items.size(), 2u);
    EXPECT_EQ(pairs.items[1].type, ps::kI4);
    EXPECT_EQ(pairs.items[1].integer, 3);
    EXPECT_EQ(s.Find(2)->value.text, L"\u00c4\u00f6\u00fc");
    EXPECT_EQ(ps::Write(st), bytes);

    // A dictionary in UTF-16 (code page 1200: names padded to 4 bytes) and in a section's code page.
    const std::string wide = U32(2) + U32(2) + U32(4) + std::string("G\0r\0\xF6\0\0\0", 8) + U32(0x01000002) + U32(2) +
                             std::string("L\0\0\0", 4);
    const std::string cp1200 = U32(ps::kI2) + std::string("\xB0\x04\0\0", 4);
    const ps::Section d = ps::Parse(OneSection(ps::kUserDefinedProperties, {{1, cp1200}, {0, wide}})).sections.at(0);
    EXPECT_EQ(d.NameOf(2), L"Gr\u00f6");
    EXPECT_EQ(d.NameOf(0x01000002), L"L");
    const std::string narrow = U32(1) + U32(2) + U32(4) + std::string("\xC8\xEC\xFF\0", 4);
    const std::string cp1251 = U32(ps::kI2) + std::string("\xE3\x04\0\0", 4);
    const ps::Section n = ps::Parse(OneSection(ps::kUserDefinedProperties, {{1, cp1251}, {0, narrow}})).sections.at(0);
    EXPECT_EQ(n.NameOf(2), L"\u0418\u043c\u044f");

    // A property set with no section at all.
    std::string empty("\xFE\xFF\x00\x00\x05\x00\x02\x00", 8);
    empty.append(16, '\0');
    empty += U32(0);
    EXPECT_TRUE(ps::Parse(empty).sections.empty());
    EXPECT_EQ(ps::Write(ps::Parse(empty)), empty);
}

TEST(PropertySetCodec, StreamsThatLieAboutTheirSizesAreRefused) {
    const std::string good = OneSection(ps::kSummaryInformation, {{2, U32(ps::kLpstr) + U32(4) + std::string("abc\0", 4)}});
    ASSERT_NO_THROW(ps::Parse(good));
    auto with = [&](size_t at, uint32_t v) {
        std::string b = good;
        std::memcpy(b.data() + at, &v, 4);
        return b;
    };
    const std::pair<const char*, std::string> lies[] = {
        {"no byte-order mark", std::string("\xFF\xFE", 2) + good.substr(2)},
        {"cut short", good.substr(0, 20)},
        {"more sections than room", with(24, 1000)},
        {"a section outside the stream", with(44, 4000)},
        {"a section larger than the stream", with(48, 0x7FFFFFF0)},
        {"more properties than the section holds", with(52, 0x10000000)},
        {"a property outside its section", with(60, 0x1000)},
        {"a property inside the offset table", with(60, 4)},
        {"a string longer than its room", with(68, 0x00FFFFFF)},
        {"a huge vector", OneSection(ps::kSummaryInformation, {{2, U32(ps::kVector | ps::kI4) + U32(0x40000000)}})},
        {"a huge dictionary", OneSection(ps::kUserDefinedProperties, {{0, U32(0x20000000) + U32(2)}})},
        {"a dictionary name past the end", OneSection(ps::kUserDefinedProperties, {{0, U32(1) + U32(2) + U32(900) + "ab"}})},
        {"a vector of vectors", OneSection(ps::kSummaryInformation, {{2, U32(ps::kVector | ps::kVariant) + U32(1) + U32(ps::kVector | ps::kI4) + U32(0)}})},
    };
    for (const auto& [what, bytes] : lies) EXPECT_THROW(ps::Parse(bytes), ps::FormatError) << what;
}

TEST(PropertySetCodec, AChangedPropertyMovesOnlyWhatFollowsIt) {
    const std::string before = ReadAllStreams(Document(L"TestMickey.doc")).at(L"\005SummaryInformation");
    ps::Stream st = ps::Parse(before);
    ps::Section& s = st.sections.at(0);
    size_t title = 0;
    while (s.properties[title].id != 2) ++title;
    const uint32_t titleAt = static_cast<uint32_t>(s.original.find(s.properties[title].stored));

    // The same length: only the characters differ.
    ps::Stream same = st;
    ps::SetValue(same.sections[0], title, Text(ps::kLpstr, L"SAMPLE TITLE"));
    const std::string sameBytes = ps::Write(same);
    ASSERT_EQ(sameBytes.size(), before.size());
    std::vector<size_t> differ;
    for (size_t i = 0; i < before.size(); ++i)
        if (before[i] != sameBytes[i]) differ.push_back(i);
    ASSERT_FALSE(differ.empty());
    EXPECT_GE(differ.front(), 48 + titleAt + 8);
    EXPECT_LT(differ.back(), 48 + titleAt + 8 + 12);

    // Longer: the section grows by the difference, offsets after the title move by it.
    ps::SetValue(s, title, Text(ps::kLpstr, L"a much longer sample title"));
    const std::string after = ps::Write(st);
    const ps::Stream again = ps::Parse(after), was = ps::Parse(before);
    const ps::Section& a = again.sections.at(0);
    const ps::Section& b = was.sections.at(0);
    const uint32_t grown = static_cast<uint32_t>(a.original.size() - b.original.size());
    EXPECT_EQ(grown, 12u);  // 13 bytes of text padded to 16, then 27 padded to 28
    EXPECT_EQ(after.substr(0, 48), before.substr(0, 48));
    EXPECT_EQ(after.size(), before.size() + grown);
    for (size_t i = 0; i < b.properties.size(); ++i) {
        uint32_t wasAt, isAt;
        std::memcpy(&wasAt, b.original.data() + 12 + i * 8, 4);
        std::memcpy(&isAt, a.original.data() + 12 + i * 8, 4);
        EXPECT_EQ(a.properties[i].id, b.properties[i].id);
        EXPECT_EQ(isAt, wasAt > titleAt ? wasAt + grown : wasAt) << i;
        if (i != title) {
            EXPECT_EQ(a.properties[i].stored, b.properties[i].stored) << i;
        }
    }
    EXPECT_EQ(a.Find(2)->value.text, L"a much longer sample title");
}

// Mutated real streams: every stream either reads or is refused with FormatError, and one that
// reads writes back as it came and survives a change.
TEST(PropertySetCodec, MutatedRealStreamsAreReadOrRefusedNeverMore) {
    std::vector<std::string> corpus;
    for (const std::wstring& name : RealCompoundFiles())
        for (const auto& [stream, bytes] : ReadAllStreams(Document(name)))
            if (!stream.empty() && stream[0] == L'\005') corpus.push_back(bytes);
    ASSERT_GE(corpus.size(), 45u);
    const char* env = std::getenv("KVHOST_CODEC_FUZZ_ITERATIONS");
    const unsigned long iterations = env ? std::strtoul(env, nullptr, 10) : 40000;
    size_t read = 0, refused = 0, unwritable = 0, failures = 0;
    for (uint32_t seed = 1; seed <= 4; ++seed) {
        std::mt19937 rng(seed);
        auto pick = [&](size_t n) { return n ? std::uniform_int_distribution<size_t>(0, n - 1)(rng) : 0; };
        for (unsigned long it = 0; it < iterations / 4; ++it) {
            std::string b = corpus[pick(corpus.size())];
            const size_t mutations = 1 + pick(6);
            for (size_t m = 0; m < mutations && !b.empty(); ++m) {
                const size_t at = pick(b.size());
                switch (pick(6)) {
                case 0: b[at] = static_cast<char>(pick(256)); break;
                case 1: b[at] = static_cast<char>(b[at] ^ (1 << pick(8))); break;
                case 2: {  // a size, count or offset field made large, small or off by a little
                    const uint32_t values[] = {0, 1, 0xFFFFFFFF, 0x7FFFFFFF, 0x80000000, static_cast<uint32_t>(b.size()),
                                               static_cast<uint32_t>(b.size() + 4), static_cast<uint32_t>(pick(64))};
                    const size_t aligned = at & ~size_t{3};
                    if (aligned + 4 <= b.size()) std::memcpy(b.data() + aligned, &values[pick(8)], 4);
                    break;
                }
                case 3: b.resize(at); break;
                case 4: b.insert(at, b.substr(pick(b.size()), pick(16))); break;
                default: b.erase(at, pick(8)); break;
                }
            }
            try {
                ps::Stream st = ps::Parse(b);
                ++read;
                if (ps::Write(st) != b) {
                    ++failures;
                    ADD_FAILURE() << "seed " << seed << " iteration " << it << ": not written back as read";
                }
                for (ps::Section& s : st.sections)
                    for (size_t i = 0; i < s.properties.size(); ++i)
                        if (s.properties[i].value.type == ps::kLpstr) {
                            ps::SetValue(s, i, Text(ps::kLpstr, L"changed"));
                            break;
                        }
                std::string changed;
                try {
                    changed = ps::Write(st);
                } catch (const ps::FormatError&) {
                    ++unwritable;  // the text has no form in the section's (mutated) code page
                    continue;
                }
                try {
                    if (ps::Parse(changed).sections.size() != st.sections.size()) throw ps::FormatError("a section lost");
                } catch (const ps::FormatError& e) {
                    ++failures;
                    ADD_FAILURE() << "seed " << seed << " iteration " << it << ": the changed stream: " << e.what();
                }
            } catch (const ps::FormatError&) {
                ++refused;
            } catch (const std::exception& e) {
                ++failures;
                ADD_FAILURE() << "seed " << seed << " iteration " << it << ": " << e.what();
            }
        }
    }
    std::printf("codec fuzz: %zu mutated streams, %zu read (%zu of them could not take the changed text), %zu refused, "
                "%zu failures\n", read + refused, read, unwritable, refused, failures);
    EXPECT_EQ(failures, 0u);
    EXPECT_GT(read, iterations / 20);
    EXPECT_GT(refused, iterations / 20);
}

// ---- compound files made here

kvhost::Host::Options Hidden() {
    kvhost::Host::Options o;
    o.showWindow = false;
    return o;
}

TEST(OwnDocuments, OddPropertySetsOpenAsTheirSetsAndSaveWithoutLoss) {
    // SummaryInformation from an old Mac writer: byte-swapped format id, code page 10000.
    GUID swapped = ps::kSummaryInformation;
    swapped.Data1 = _byteswap_ulong(swapped.Data1);
    swapped.Data2 = _byteswap_ushort(swapped.Data2);
    swapped.Data3 = _byteswap_ushort(swapped.Data3);
    ps::Section si = NewSection(swapped, 10000);
    si.properties.push_back(Prop(7, Text(ps::kLpstr, L"Disque:Mod\u00e8les:Normal")));
    si.properties.push_back(Prop(2, Text(ps::kLpstr, L"R\u00e9sum\u00e9")));
    ps::Value edit;
    edit.type = ps::kFiletime;
    edit.unsignedInteger = 1800ull * 10000000;  // 30 minutes of editing
    si.properties.push_back(Prop(10, edit));
    // DocumentSummaryInformation in UTF-8, its user-defined section in UTF-16 with a dictionary,
    // a Boolean stored as 1, a linked property, a type nobody here knows and a vector.
    ps::Section dsi = NewSection(ps::kDocSummaryInformation, 65001);
    dsi.properties.push_back(Prop(15, Text(ps::kLpstr, L"\u4e2d\u6587\u516c\u53f8")));
    ps::Section ud = NewSection(ps::kUserDefinedProperties, 1200);
    ud.dictionary = {{2, L"Gr\u00f6\u00dfe"}, {3, L"Gepr\u00fcft"}, {4, L"Liste"}, {5, L"Fremd"}};
    ud.properties.push_back(Prop(0, ps::Value{}));
    ud.properties.push_back(Prop(2, Text(ps::kLpstr, L"gro\u00df")));
    ud.properties.push_back(Prop(0x01000002, Text(ps::kLpstr, L"Sheet1!A1")));
    ud.properties.push_back(Prop(3, Int(ps::kBool, 1)));
    ps::Value list;
    list.type = ps::kVector | ps::kLpstr;
    list.items = {Text(ps::kLpstr, L"a"), Text(ps::kLpstr, L"b")};
    ud.properties.push_back(Prop(4, list));
    ps::Value strange;
    strange.type = 0x4A;
    strange.known = false;
    strange.bytes = std::string("\x10\x20\x30\x40", 4);
    ud.properties.push_back(Prop(5, strange));
    // A set of another program's, with no code page.
    const GUID other = {0x1C2B3A49, 0x5867, 0x4756, {0x85, 0x94, 0xA3, 0xB2, 0xC1, 0xD0, 0xEF, 0xFE}};
    ps::Section third = NewSection(other, 0);
    third.properties.push_back(Prop(2, Int(ps::kI4, 42)));

    const std::wstring file = Tmp(L"odd sets.bin");
    SetFileAttributesW(file.c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileW(file.c_str());
    WriteCompoundFile(file, {{L"\005SummaryInformation", StreamOf({si})},
                             {L"\005DocumentSummaryInformation", StreamOf({dsi, ud})},
                             {L"\005Qa1bc2de3fg4hi5jk6lm7no8p", StreamOf({third})},
                             {L"WordDocument", std::string(5000, 'w')}});
    const auto before = ReadAllStreams(file);
    {
        kvhost::Host host(Hidden());
        const kvhost::DocId doc = host.OpenDocument(file);
        const kvhost::DocumentContent& c = host.Content(doc);
        std::vector<std::wstring> names;
        for (const auto& s : c.sets) {
            std::wstring line = s.name + L":";
            for (const auto& p : s.properties) line += L" " + p.name;
            names.push_back(line);
        }
        EXPECT_EQ(names, (std::vector<std::wstring>{
                             L"SummaryInformation: CodePage Template Title EditTime",
                             L"DocumentSummaryInformation: CodePage Company",
                             L"UserDefined: CodePage Gr\u00f6\u00dfe 0x01000002 Gepr\u00fcft Liste Fremd",
                             L"{1C2B3A49-5867-4756-8594-A3B2C1D0EFFE}: 0x00000002"}));
        EXPECT_EQ(host.PropertyText(doc, L"SummaryInformation", L"Template"), L"Disque:Mod\u00e8les:Normal");
        EXPECT_EQ(host.PropertyText(doc, L"DocumentSummaryInformation", L"Company"), L"\u4e2d\u6587\u516c\u53f8");
        EXPECT_EQ(host.PropertyText(doc, L"UserDefined", L"Gepr\u00fcft"), L"True");
        EXPECT_EQ(V_VT(&c.sets[2].properties[4].value), VT_ARRAY | VT_VARIANT);
        EXPECT_EQ(V_VT(&c.sets[2].properties[5].value), VT_ARRAY | VT_UI1);
        EXPECT_EQ(V_VT(&c.sets[0].properties[3].value), VT_DATE);
        EXPECT_NEAR(V_DATE(&c.sets[0].properties[3].value) * 86400, 1800.0, 1e-6);

        // Edits through the object model: a text with a character code page 1200 holds anyway,
        // the edit time as a time span, a number.
        IDispatch* d = host.Document(doc);
        auto put = [&](const wchar_t* set, const wchar_t* prop, rud::Variant v) {
            auto s = Obj(Get(d, IdOf(d, L"Properties"), {rud::Variant::fromString(set)}).result);
            auto p = Obj(Get(s.Get(), DISPID_VALUE, {rud::Variant::fromString(prop)}).result);
            EXPECT_EQ(Put(p.Get(), IdOf(p.Get(), L"Value"), std::move(v)).hr, S_OK) << kvhost::WideToUtf8(prop);
            EXPECT_EQ(Get(s.Get(), IdOf(s.Get(), L"Save")).hr, S_OK);
        };
        put(L"UserDefined", L"Gr\u00f6\u00dfe", rud::Variant::fromString(L"\u2713 klein"));
        rud::Variant span;
        V_VT(&span) = VT_DATE;
        V_DATE(&span) = 3600.0 / 86400;
        put(L"SummaryInformation", L"EditTime", span);
        put(L"{1C2B3A49-5867-4756-8594-A3B2C1D0EFFE}", L"0x00000002", rud::Variant::fromLong(43));
        host.Quit();
    }
    const auto after = ReadAllStreams(file);
    EXPECT_TRUE(after.at(L"WordDocument") == before.at(L"WordDocument"));
    const ps::Section a = ps::Parse(after.at(L"\005DocumentSummaryInformation")).sections.at(1);
    const ps::Section b = ps::Parse(before.at(L"\005DocumentSummaryInformation")).sections.at(1);
    EXPECT_EQ(a.Find(2)->value.text, L"\u2713 klein");
    for (uint32_t id : {0u, 1u, 0x01000002u, 3u, 4u, 5u}) EXPECT_EQ(Hex(a.Find(id)->stored), Hex(b.Find(id)->stored)) << id;
    EXPECT_EQ(ps::Parse(after.at(L"\005SummaryInformation")).sections.at(0).Find(10)->value.unsignedInteger, 3600ull * 10000000);
    EXPECT_EQ(ps::Parse(after.at(L"\005Qa1bc2de3fg4hi5jk6lm7no8p")).sections.at(0).Find(2)->value.integer, 43);
    kvhost::Host host(Hidden());
    EXPECT_EQ(host.PropertyText(host.OpenDocument(file), L"UserDefined", L"Gr\u00f6\u00dfe"), L"\u2713 klein");
    host.Quit();
}

TEST(OwnDocuments, ASummaryWithNoSectionIsNoSet) {
    std::string empty("\xFE\xFF\x00\x00\x05\x00\x02\x00", 8);
    empty.append(16, '\0');
    empty += U32(0);
    const std::wstring file = Tmp(L"no sections.ppt");
    DeleteFileW(file.c_str());
    WriteCompoundFile(file, {{L"\005SummaryInformation", empty},
                             {L"\005DocumentSummaryInformation", StreamOf({NewSection(ps::kDocSummaryInformation, 1252)})}});
    kvhost::Host host(Hidden());
    const kvhost::DocumentContent& c = host.Content(host.OpenDocument(file));
    ASSERT_EQ(c.sets.size(), 1u);
    EXPECT_EQ(c.sets[0].name, L"DocumentSummaryInformation");
    host.Quit();
}

} // namespace
