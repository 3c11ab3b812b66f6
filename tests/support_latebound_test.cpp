// Late-bound calls: arguments, results, reference counts, and the conversion of a host's failure
// into the add-in's error (EXCEPINFO, IErrorInfo, system text; error 91 on no object); GetFullName.
#include "support_testutil.h"
#include "Text.h"
#include "Trace.h"
#include "AddInError.h"
#include "LateBound.h"
#include "Raii.h"
#include <gtest/gtest.h>
#include <wrl/client.h>
#include <map>
#include <vector>

using namespace rud;
using Microsoft::WRL::ComPtr;

namespace {

constexpr DISPID kFullName = 1, kFails = 2, kFailsWCode = 3, kFailsDeferred = 4, kFailsPlain = 5,
                 kEcho = 6, kChild = 7, kSetByRef = 8, kFailsNoText = 9, kNumber = 10;

HRESULT STDMETHODCALLTYPE FillDeferred(EXCEPINFO* ei) {
    ei->bstrDescription = SysAllocString(L"Filled in later");
    ei->scode = MAKE_HRESULT(SEVERITY_ERROR, FACILITY_CONTROL, 1234);
    return S_OK;
}

// A host object of the tests: a few members by name and id; every call is counted.
class FakeObject : public IDispatch, public ISupportErrorInfo {
public:
    ULONG refs = 1;
    std::wstring fullName = L"C:\\Docs\\a.kvd";
    std::vector<WORD> flagsSeen;
    std::vector<std::vector<std::wstring>> argsSeen;  // as text, in declared order
    std::vector<std::wstring> namedSeen;
    ComPtr<IDispatch> child;
    bool errorInfoSupported = true;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (iid == IID_IUnknown || iid == IID_IDispatch) *out = static_cast<IDispatch*>(this);
        else if (iid == IID_ISupportErrorInfo) *out = static_cast<ISupportErrorInfo*>(this);
        else { *out = nullptr; return E_NOINTERFACE; }
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
    ULONG STDMETHODCALLTYPE Release() override { return --refs; }
    HRESULT STDMETHODCALLTYPE InterfaceSupportsErrorInfo(REFIID iid) override {
        return errorInfoSupported && iid == IID_IDispatch ? S_OK : S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* n) override { *n = 0; return S_OK; }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT n, LCID, DISPID* ids) override {
        static const std::map<std::wstring, DISPID> known{{L"FullName", kFullName}, {L"Fails", kFails},
                                                          {L"Echo", kEcho}, {L"Child", kChild}};
        if (n != 1) return E_INVALIDARG;
        auto it = known.find(names[0]);
        if (it == known.end()) { ids[0] = DISPID_UNKNOWN; return DISP_E_UNKNOWNNAME; }
        ids[0] = it->second;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* p, VARIANT* result,
                                     EXCEPINFO* ei, UINT*) override {
        flagsSeen.push_back(flags);
        std::vector<std::wstring> args;
        for (UINT i = p->cArgs; i-- > 0;) args.push_back(VariantToText(&p->rgvarg[i]));
        argsSeen.push_back(args);
        namedSeen.push_back(p->cNamedArgs == 1 && p->rgdispidNamedArgs[0] == DISPID_PROPERTYPUT ? L"put" : L"");
        switch (id) {
        case kFullName:
            if (flags & DISPATCH_PROPERTYPUT) {
                fullName = VariantToText(&p->rgvarg[0]);
                return S_OK;
            }
            V_VT(result) = VT_BSTR;
            V_BSTR(result) = SysAllocString(fullName.c_str());
            return S_OK;
        case kNumber:
            V_VT(result) = VT_I4;
            V_I4(result) = 12;
            return S_OK;
        case kFails:
            ei->scode = MAKE_HRESULT(SEVERITY_ERROR, FACILITY_CONTROL, 1004);
            ei->bstrDescription = SysAllocString(L"The host refused");
            ei->bstrSource = SysAllocString(L"Korvane");
            return DISP_E_EXCEPTION;
        case kFailsWCode:
            ei->wCode = 2001;
            ei->bstrDescription = SysAllocString(L"By code");
            return DISP_E_EXCEPTION;
        case kFailsDeferred:
            ei->pfnDeferredFillIn = FillDeferred;
            return DISP_E_EXCEPTION;
        case kFailsNoText:
            ei->scode = E_ACCESSDENIED;
            return DISP_E_EXCEPTION;
        case kFailsPlain: {
            ComPtr<ICreateErrorInfo> create;
            CreateErrorInfo(&create);
            create->SetDescription(const_cast<LPOLESTR>(L"Told through error info"));
            ComPtr<IErrorInfo> info;
            create.As(&info);
            SetErrorInfo(0, info.Get());
            return E_FAIL;
        }
        case kEcho:
            V_VT(result) = VT_BSTR;
            V_BSTR(result) = SysAllocString([&] {
                std::wstring all;
                for (auto& a : args) all += a + L";";
                return all;
            }().c_str());
            return S_OK;
        case kChild:
            V_VT(result) = VT_DISPATCH;
            V_DISPATCH(result) = child.Get();
            if (child) child->AddRef();
            return S_OK;
        case kSetByRef:
            if (p->cArgs != 1 || V_VT(&p->rgvarg[0]) != (VT_BYREF | VT_I4)) return DISP_E_TYPEMISMATCH;
            *V_I4REF(&p->rgvarg[0]) = 99;
            return S_OK;
        default:
            return DISP_E_MEMBERNOTFOUND;
        }
    }
};

} // namespace

TEST(LateBound, GetByNameAndByIdGiveTheValue) {
    FakeObject o;
    EXPECT_EQ(late::ToString(late::Get(&o, L"FullName")), L"C:\\Docs\\a.kvd");
    EXPECT_EQ(late::ToLong(late::Get(&o, kNumber)), 12);
    EXPECT_EQ(o.flagsSeen[0], DISPATCH_PROPERTYGET | DISPATCH_METHOD);
    EXPECT_EQ(o.refs, 1u);
}

TEST(LateBound, PutPassesTheValueAsThePropertyPutArgument) {
    FakeObject o;
    late::Put(&o, L"FullName", Variant::fromString(L"D:\\new.kvd"));
    EXPECT_EQ(o.fullName, L"D:\\new.kvd");
    ASSERT_EQ(o.flagsSeen.size(), 1u);
    EXPECT_EQ(o.flagsSeen[0], DISPATCH_PROPERTYPUT);
    EXPECT_EQ(o.namedSeen[0], L"put");
}

TEST(LateBound, ArgumentsArriveInDeclaredOrder) {
    FakeObject o;
    Variant r = late::Get(&o, L"Echo", {Variant::fromString(L"a"), Variant::fromLong(2), Variant::fromBool(false)});
    EXPECT_EQ(late::ToString(r), L"a;2;False;");
    EXPECT_EQ(o.namedSeen[0], L"");
}

TEST(LateBound, ByReferenceArgumentIsWrittenBack) {
    FakeObject o;
    LONG n = 1;
    late::Get(&o, kSetByRef, {late::ByRef(&n)});
    EXPECT_EQ(n, 99);
}

TEST(LateBound, ObjectResultsAreCountedOnce) {
    FakeObject parent, child;
    parent.child = &child;
    ASSERT_EQ(child.refs, 2u);
    {
        ComPtr<IDispatch> got = late::ToObject(late::Get(&parent, L"Child"));
        EXPECT_EQ(got.Get(), static_cast<IDispatch*>(&child));
        EXPECT_EQ(child.refs, 3u);
    }
    EXPECT_EQ(child.refs, 2u);
    parent.child.Reset();
    EXPECT_EQ(child.refs, 1u);
    EXPECT_EQ(late::ToObject(late::Get(&parent, L"Child")), nullptr);
}

TEST(LateBound, ExcepInfoGivesNumberDescriptionAndSource) {
    FakeObject o;
    AddInError e = CaughtFrom([&] { late::Get(&o, L"Fails"); });
    EXPECT_EQ(e.number(), 1004);
    EXPECT_EQ(e.description(), L"The host refused");
    EXPECT_EQ(e.source(), L"Korvane");
    EXPECT_EQ(e.hresult(), MAKE_HRESULT(SEVERITY_ERROR, FACILITY_CONTROL, 1004));
    AddInError w = CaughtFrom([&] { late::Get(&o, kFailsWCode); });
    EXPECT_EQ(w.number(), 2001);
    EXPECT_EQ(w.description(), L"By code");
    AddInError d = CaughtFrom([&] { late::Get(&o, kFailsDeferred); });
    EXPECT_EQ(d.number(), 1234);
    EXPECT_EQ(d.description(), L"Filled in later");
    AddInError t = CaughtFrom([&] { late::Get(&o, kFailsNoText); });
    EXPECT_EQ(t.number(), static_cast<long>(E_ACCESSDENIED));
    EXPECT_EQ(t.description(), SystemMessage(E_ACCESSDENIED));
    EXPECT_FALSE(t.description().empty());
    EXPECT_EQ(o.refs, 1u);
}

TEST(LateBound, ErrorInfoIsUsedWhenTheObjectVouchesForIt) {
    FakeObject o;
    AddInError e = CaughtFrom([&] { late::Get(&o, kFailsPlain); });
    EXPECT_EQ(e.number(), static_cast<long>(E_FAIL));
    EXPECT_EQ(e.description(), L"Told through error info");
    o.errorInfoSupported = false;
    AddInError s = CaughtFrom([&] { late::Get(&o, kFailsPlain); });
    EXPECT_EQ(s.description(), SystemMessage(E_FAIL));
}

TEST(LateBound, UnknownMemberIsError438) {
    FakeObject o;
    AddInError byName = CaughtFrom([&] { late::Get(&o, L"NoSuchMember"); });
    EXPECT_EQ(byName.number(), 438);
    EXPECT_EQ(byName.description(), L"Object doesn't support this property or method");
    AddInError byId = CaughtFrom([&] { late::Get(&o, 777); });
    EXPECT_EQ(byId.number(), 438);
}

TEST(LateBound, NullObjectIsError91) {
    AddInError g = CaughtFrom([] { late::Get(nullptr, L"FullName"); });
    EXPECT_EQ(g.number(), 91);
    EXPECT_EQ(g.description(), L"Object variable or With block variable not set");
    AddInError p = CaughtFrom([] { late::Put(nullptr, 3, Variant::fromLong(1)); });
    EXPECT_EQ(p.number(), 91);
    AddInError c = CaughtFrom([] { late::Get(nullptr, 11); });
    EXPECT_EQ(c.number(), 91);
}

TEST(LateBound, ConversionFailuresAreError13) {
    SAFEARRAYBOUND bound{1, 0};
    Variant arr;
    V_VT(&arr) = VT_ARRAY | VT_I4;
    V_ARRAY(&arr) = SafeArrayCreate(VT_I4, 1, &bound);
    AddInError s = CaughtFrom([&] { late::ToString(arr); });
    EXPECT_EQ(s.number(), 13);
    EXPECT_EQ(s.description(), L"Type mismatch");
    AddInError l = CaughtFrom([] { late::ToLong(Variant::fromString(L"abc")); });
    EXPECT_EQ(l.number(), 13);
    AddInError o = CaughtFrom([] { late::ToObject(Variant::fromLong(1)); });
    EXPECT_EQ(o.number(), 13);
    // An object reference is taken as it is, Empty as Nothing; a value without one is no object.
    EXPECT_EQ(CaughtFrom([] { late::ToUnknown(Variant::fromLong(1)); }).number(), 13);
    EXPECT_EQ(CaughtFrom([] { late::ToUnknown(Variant::fromString(L"source")); }).number(), 13);
    EXPECT_EQ(late::ToUnknown(Variant()), nullptr);
    EXPECT_EQ(late::ToUnknown(Variant::fromDispatch(nullptr)), nullptr);
    EXPECT_TRUE(late::ToBool(Variant::fromString(L"True")));
    EXPECT_FALSE(late::ToBool(Variant::fromLong(0)));
}

TEST(ErrorNumbers, RoundTripThroughHResults) {
    EXPECT_EQ(ErrorNumberFromHResult(MAKE_HRESULT(SEVERITY_ERROR, FACILITY_CONTROL, 91)), 91);
    EXPECT_EQ(HResultFromErrorNumber(91), MAKE_HRESULT(SEVERITY_ERROR, FACILITY_CONTROL, 91));
    EXPECT_EQ(ErrorNumberFromHResult(E_NOINTERFACE), static_cast<long>(E_NOINTERFACE));
    EXPECT_EQ(HResultFromErrorNumber(static_cast<long>(E_NOINTERFACE)), E_NOINTERFACE);
    EXPECT_TRUE(FAILED(HResultFromErrorNumber(0)));
}

TEST(ErrorNumbers, ReturnCurrentErrorPublishesTheDescription) {
    HRESULT hr = S_OK;
    try {
        throw AddInError(457, L"dup", L"Commands");
    } catch (...) {
        hr = ReturnCurrentError(IID_IDispatch);
    }
    EXPECT_EQ(hr, MAKE_HRESULT(SEVERITY_ERROR, FACILITY_CONTROL, 457));
    ComPtr<IErrorInfo> info;
    ASSERT_EQ(GetErrorInfo(0, &info), S_OK);
    Bstr desc, source;
    info->GetDescription(desc.put());
    info->GetSource(source.put());
    EXPECT_EQ(desc.str(), L"dup");
    EXPECT_EQ(source.str(), L"Commands");
}

TEST(GetFullName, NothingGivesTheWordNothing) {
    EXPECT_EQ(GetFullName(nullptr), L"(Nothing)");
}

TEST(GetFullName, ReadsFullNameByName) {
    FakeObject o;
    EXPECT_EQ(GetFullName(&o), L"C:\\Docs\\a.kvd");
    o.fullName = L"";
    EXPECT_EQ(GetFullName(&o), L"");
    o.fullName = L"  C:\\with blanks.kvd ";
    EXPECT_EQ(GetFullName(&o), L"  C:\\with blanks.kvd ") << "the name is not trimmed";
    EXPECT_EQ(o.refs, 1u);
}

class NoFullName : public IDispatch {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** out) override { *out = nullptr; return E_NOINTERFACE; }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* n) override { *n = 0; return S_OK; }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return DISP_E_UNKNOWNNAME; }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
        return DISP_E_MEMBERNOTFOUND;
    }
};

TEST(GetFullName, FailureReachesTheCaller) {
    NoFullName o;
    AddInError e = CaughtFrom([&] { GetFullName(&o); });
    EXPECT_EQ(e.number(), 438);
}
