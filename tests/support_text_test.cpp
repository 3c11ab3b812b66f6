// MaxLong and VariantToText.
#include "support_testutil.h"
#include "Raii.h"
#include "Text.h"
#include <gtest/gtest.h>
#include <climits>
#include <optional>

using namespace rud;

TEST(MaxLong, Cases) {
    EXPECT_EQ(MaxLong(3, 5), 5);
    EXPECT_EQ(MaxLong(5, 3), 5);
    EXPECT_EQ(MaxLong(-1, -7), -1);
    EXPECT_EQ(MaxLong(-7, -1), -1);
    EXPECT_EQ(MaxLong(4, 4), 4);
    EXPECT_EQ(MaxLong(LONG_MIN, LONG_MAX), LONG_MAX);
    EXPECT_EQ(MaxLong(LONG_MAX, LONG_MIN), LONG_MAX);
    EXPECT_EQ(MaxLong(0, LONG_MIN), 0);
    const long b = 9;
    EXPECT_EQ(MaxLong(1, b), 9);
    EXPECT_EQ(b, 9);
}

// ---- VariantToText ---------------------------------------------------------------------------

namespace {

// An automation object whose default member gives a value, or which has none.
class ValueObject : public IDispatch {
public:
    explicit ValueObject(const wchar_t* value) : value_(value) {}
    ULONG refs = 1;
    int invokes = 0;
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (iid == IID_IUnknown || iid == IID_IDispatch) {
            *out = static_cast<IDispatch*>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
    ULONG STDMETHODCALLTYPE Release() override { return --refs; }
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* n) override { *n = 0; return S_OK; }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return DISP_E_UNKNOWNNAME; }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS*, VARIANT* result, EXCEPINFO*, UINT*) override {
        ++invokes;
        if (id != DISPID_VALUE || !value_) return DISP_E_MEMBERNOTFOUND;
        if (result) {
            V_VT(result) = VT_BSTR;
            V_BSTR(result) = SysAllocString(value_);
        }
        return S_OK;
    }

private:
    const wchar_t* value_;
};

Variant FromDouble(double d) { Variant v; V_VT(&v) = VT_R8; V_R8(&v) = d; return v; }

std::wstring Expected(HRESULT (*convert)(const VARIANT&, BSTR*), const VARIANT& v) {
    BSTR b = nullptr;
    EXPECT_EQ(convert(v, &b), S_OK);
    Bstr owner = Bstr::attach(b);
    return owner.str();
}

} // namespace

TEST(VariantToText, NullEmptyAndMissingGiveEmptyText) {
    EXPECT_EQ(VariantToText(nullptr), L"");
    Variant empty;
    EXPECT_EQ(VariantToText(&empty), L"");
    Variant null = Variant::null();
    EXPECT_EQ(VariantToText(&null), L"");
    Variant missing = Variant::missing();
    EXPECT_EQ(VariantToText(&missing), L"");
}

TEST(VariantToText, TrimsOnlyBlanks) {
    const struct { const wchar_t* given; const wchar_t* shown; } cases[] = {
        {L"  two  inner  ", L"two  inner"}, {L"\tx\t", L"\tx\t"},       {L"  \t x \t  ", L"\t x \t"},
        {L"    ", L""},                     {L"\u00a0y\u00a0", L"\u00a0y\u00a0"}, {L"plain", L"plain"}};
    for (const auto& c : cases) {
        Variant v = Variant::fromString(c.given);
        EXPECT_EQ(VariantToText(&v), c.shown);
    }
}

TEST(VariantToText, NumbersAndBooleans) {
    Variant twelve = Variant::fromLong(12);
    EXPECT_EQ(VariantToText(&twelve), L"12");
    Variant negative = Variant::fromLong(-40000);
    EXPECT_EQ(VariantToText(&negative), L"-40000");
    Variant i2; V_VT(&i2) = VT_I2; V_I2(&i2) = -5;
    EXPECT_EQ(VariantToText(&i2), L"-5");
    Variant whole = FromDouble(12.0);
    EXPECT_EQ(VariantToText(&whole), L"12");
    Variant t = Variant::fromBool(true);
    EXPECT_EQ(VariantToText(&t), L"True");
    Variant f = Variant::fromBool(false);
    EXPECT_EQ(VariantToText(&f), L"False");
}

TEST(VariantToText, FractionsDecimalsAndDatesInTheUserLocale) {
    Variant half = FromDouble(2.5);
    std::wstring text = VariantToText(&half);
    ASSERT_EQ(text.size(), 3u);
    EXPECT_EQ(text[0], L'2');
    EXPECT_EQ(text[2], L'5');

    Variant dec;
    ASSERT_EQ(VarDecFromStr(const_cast<OLECHAR*>(L"1234.5678"), LOCALE_INVARIANT, 0, &V_DECIMAL(&dec)), S_OK);
    V_VT(&dec) = VT_DECIMAL;
    std::wstring decText = VariantToText(&dec);
    EXPECT_EQ(decText, Expected([](const VARIANT& v, BSTR* b) { return VarBstrFromDec(const_cast<DECIMAL*>(&V_DECIMAL(&v)), LOCALE_USER_DEFAULT, 0, b); }, dec));
    EXPECT_EQ(decText.substr(0, 4), L"1234");
    EXPECT_EQ(decText.substr(5), L"5678");

    // 8 December 2026, 13:30:00.
    Variant date;
    V_VT(&date) = VT_DATE;
    SYSTEMTIME st{2026, 12, 2, 8, 13, 30, 0, 0};
    ASSERT_TRUE(SystemTimeToVariantTime(&st, &V_DATE(&date)));
    std::wstring dateText = VariantToText(&date);
    EXPECT_EQ(dateText, Expected([](const VARIANT& v, BSTR* b) { return VarBstrFromDate(V_DATE(&v), LOCALE_USER_DEFAULT, 0, b); }, date));
    EXPECT_NE(dateText.find(L"2026"), std::wstring::npos) << std::string(dateText.begin(), dateText.end());
    EXPECT_NE(dateText.find(L"30"), std::wstring::npos);

    Variant dayOnly;
    V_VT(&dayOnly) = VT_DATE;
    SYSTEMTIME day{2026, 12, 2, 8, 0, 0, 0, 0};
    ASSERT_TRUE(SystemTimeToVariantTime(&day, &V_DATE(&dayOnly)));
    std::wstring dayText = VariantToText(&dayOnly);
    EXPECT_NE(dayText.find(L"2026"), std::wstring::npos);
    EXPECT_EQ(dayText.find(L':'), std::wstring::npos) << "a date without time shows no time";
}

TEST(VariantToText, ByReferenceValues) {
    LONG n = 7;
    VARIANT refLong; VariantInit(&refLong); V_VT(&refLong) = VT_BYREF | VT_I4; V_I4REF(&refLong) = &n;
    EXPECT_EQ(VariantToText(&refLong), L"7");
    Bstr b(L" by ref ");
    BSTR raw = b.get();
    VARIANT refStr; VariantInit(&refStr); V_VT(&refStr) = VT_BYREF | VT_BSTR; V_BSTRREF(&refStr) = &raw;
    EXPECT_EQ(VariantToText(&refStr), L"by ref");
    Variant inner = Variant::fromBool(true);
    VARIANT refVar; VariantInit(&refVar); V_VT(&refVar) = VT_BYREF | VT_VARIANT; V_VARIANTREF(&refVar) = &inner;
    EXPECT_EQ(VariantToText(&refVar), L"True");
    VARIANT refRef; VariantInit(&refRef); V_VT(&refRef) = VT_BYREF | VT_VARIANT; V_VARIANTREF(&refRef) = &refVar;
    EXPECT_EQ(VariantToText(&refRef), L"True");
    Variant nullInner = Variant::null();
    V_VARIANTREF(&refVar) = &nullInner;
    EXPECT_EQ(VariantToText(&refVar), L"");
    VARIANT dangling; VariantInit(&dangling); V_VT(&dangling) = VT_BYREF | VT_I4; V_I4REF(&dangling) = nullptr;
    EXPECT_EQ(VariantToText(&dangling), L"");
    V_VARIANTREF(&refVar) = nullptr;
    EXPECT_EQ(VariantToText(&refVar), L"");
    // The referenced values are left as they were.
    EXPECT_EQ(n, 7);
    EXPECT_EQ(raw, b.get());
}

TEST(VariantToText, ArraysGiveEmptyText) {
    SAFEARRAYBOUND bound{3, 0};
    Variant arr;
    V_VT(&arr) = VT_ARRAY | VT_I4;
    V_ARRAY(&arr) = SafeArrayCreate(VT_I4, 1, &bound);
    ASSERT_NE(V_ARRAY(&arr), nullptr);
    EXPECT_EQ(VariantToText(&arr), L"");
    Variant strings;
    V_VT(&strings) = VT_ARRAY | VT_BSTR;
    V_ARRAY(&strings) = SafeArrayCreate(VT_BSTR, 1, &bound);
    EXPECT_EQ(VariantToText(&strings), L"");
}

TEST(VariantToText, ErrorValuesGiveEmptyText) {
    Variant err; V_VT(&err) = VT_ERROR; V_ERROR(&err) = MAKE_HRESULT(SEVERITY_ERROR, FACILITY_CONTROL, 2007);
    EXPECT_EQ(VariantToText(&err), L"");
    Variant zero; V_VT(&zero) = VT_ERROR; V_ERROR(&zero) = 0;
    EXPECT_EQ(VariantToText(&zero), L"");
}

TEST(VariantToText, ObjectsGiveTheirDefaultValueOrEmptyText) {
    ValueObject without(nullptr);
    {
        Variant v = Variant::fromDispatch(&without);
        EXPECT_EQ(VariantToText(&v), L"");
    }
    EXPECT_EQ(without.refs, 1u) << "every reference taken was given back";

    ValueObject with(L"  default value ");
    {
        Variant v = Variant::fromDispatch(&with);
        EXPECT_EQ(VariantToText(&v), L"default value");
    }
    EXPECT_GE(with.invokes, 1);
    EXPECT_EQ(with.refs, 1u);

    Variant nothing = Variant::fromDispatch(nullptr);
    EXPECT_EQ(VariantToText(&nothing), L"");
    Variant unknown; V_VT(&unknown) = VT_UNKNOWN; V_UNKNOWN(&unknown) = nullptr;
    EXPECT_EQ(VariantToText(&unknown), L"");
}

// ---- ExactValueOfText -------------------------------------------------------------------------

namespace {
constexpr LCID kEnglishUs = MAKELCID(MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US), SORT_DEFAULT);
constexpr LCID kGerman = MAKELCID(MAKELANGID(LANG_GERMAN, SUBLANG_GERMAN), SORT_DEFAULT);

struct ExactCase {
    LCID locale;
    VARTYPE type;
    const wchar_t* text;
    bool exact;
};

std::string CaseName(const ExactCase& c) {
    return (c.locale == kGerman ? std::string("de-DE ") : std::string("en-US ")) + "type " + std::to_string(c.type) +
           " \"" + narrow(c.text, CP_UTF8) + "\"";
}
} // namespace

// A text stands for a value of a type only when that value shows as exactly the same text in the
// same locale: what is lost in rounding, in a skipped group separator, in blanks, in another
// spelling of the same number or date is no value of the type.
TEST(ExactValueOfText, OnlyTextsThatShowTheirValueExactly) {
    const ExactCase cases[] = {
        {kEnglishUs, VT_I4, L"15", true},        {kEnglishUs, VT_I4, L"-15", true},
        {kEnglishUs, VT_I4, L"3.7", false},      {kEnglishUs, VT_I4, L"2.5", false},
        {kEnglishUs, VT_I4, L"1,5", false},      {kEnglishUs, VT_I4, L" 15", false},
        {kEnglishUs, VT_I4, L"15 ", false},      {kEnglishUs, VT_I4, L"", false},
        {kEnglishUs, VT_I4, L"x", false},        {kEnglishUs, VT_I2, L"70000", false},
        {kEnglishUs, VT_R8, L"2.5", true},       {kEnglishUs, VT_R8, L"1,5", false},
        {kEnglishUs, VT_R8, L"2,5", false},      {kEnglishUs, VT_R8, L"2.50", false},
        {kEnglishUs, VT_CY, L"2.5", true},       {kEnglishUs, VT_CY, L"1,5", false},
        {kEnglishUs, VT_DATE, L"5/6/2024", true}, {kEnglishUs, VT_DATE, L"2024-05-06", false},
        {kEnglishUs, VT_DATE, L"05/06/2024", false}, {kEnglishUs, VT_BOOL, L"True", true},
        {kEnglishUs, VT_BOOL, L"False", true},   {kEnglishUs, VT_BOOL, L"2", false},
        {kEnglishUs, VT_BOOL, L"true", false},   {kEnglishUs, VT_BOOL, L"-1", false},
        {kGerman, VT_I4, L"15", true},           {kGerman, VT_I4, L"2.5", false},
        {kGerman, VT_I4, L"1,5", false},         {kGerman, VT_R8, L"1,5", true},
        {kGerman, VT_R8, L"2.5", false},         {kGerman, VT_R8, L" 1,5", false},
        {kGerman, VT_CY, L"1,5", true},          {kGerman, VT_CY, L"2.5", false},
        {kGerman, VT_DATE, L"6.5.2024", true},   {kGerman, VT_DATE, L"06.05.2024", false},
        {kGerman, VT_DATE, L"5/6/2024", false},
        {kGerman, VT_BOOL, L"2", false},
    };
    for (const ExactCase& c : cases) {
        const std::optional<Variant> value = ExactValueOfText(c.text, c.type, c.locale);
        EXPECT_EQ(value.has_value(), c.exact) << CaseName(c);
        if (!value) continue;
        EXPECT_EQ(value->type(), c.type) << CaseName(c);
        EXPECT_EQ(VariantToText(&*value, c.locale), c.text) << CaseName(c);
    }
    // The values themselves, where the locale decides what the text means.
    const auto valueOf = [](const wchar_t* text, VARTYPE type, LCID locale) {
        std::optional<Variant> v = ExactValueOfText(text, type, locale);
        return v ? *v : Variant();
    };
    const Variant germanHalf = valueOf(L"1,5", VT_R8, kGerman), englishHalf = valueOf(L"2.5", VT_R8, kEnglishUs);
    const Variant germanCurrency = valueOf(L"1,5", VT_CY, kGerman), germanDay = valueOf(L"6.5.2024", VT_DATE, kGerman);
    EXPECT_EQ(V_R8(&germanHalf), 1.5);
    EXPECT_EQ(V_R8(&englishHalf), 2.5);
    EXPECT_EQ(V_CY(&germanCurrency).int64, 15000);
    SYSTEMTIME day{};
    ASSERT_TRUE(VariantTimeToSystemTime(V_DATE(&germanDay), &day));
    EXPECT_EQ(day.wYear, 2024);
    EXPECT_EQ(day.wMonth, 5);
    EXPECT_EQ(day.wDay, 6);
    // A Boolean shows as its word in either locale and goes back as itself.
    const Variant yes = Variant::fromBool(true);
    const std::wstring germanYes = VariantToText(&yes, kGerman);
    const std::optional<Variant> back = ExactValueOfText(germanYes, VT_BOOL, kGerman);
    ASSERT_TRUE(back.has_value()) << narrow(germanYes, CP_UTF8);
    EXPECT_NE(V_BOOL(&back.value()), VARIANT_FALSE);
}
