// The server's COM surface through its exports: the class factory, the unload test, MyAddin's
// interfaces and IDispatch, and the export and import tables of the PE image.
#include "com_testkit.h"
#include "com_image.h"
#include "Identity.h"
#include "OwningThread.h"
#include "KorvaneFramework.h"
#include "Raii.h"
#include "Text.h"
#include <tlhelp32.h>
#include <wrl/client.h>
#include <algorithm>
#include <cctype>
#include <string>
#include <thread>
#include <vector>

using Microsoft::WRL::ComPtr;
using namespace rud::comtest;

namespace {

class ComServer : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(SUCCEEDED(apartment.hr));
        ASSERT_TRUE(server.complete()) << "cannot load " << rud::narrow(ServerPath()) << " or its exports";
    }
    ComPtr<IClassFactory> Factory() {
        ComPtr<IClassFactory> f;
        EXPECT_EQ(server.getClassObject(CLSID_MyAddin, IID_IClassFactory, reinterpret_cast<void**>(f.GetAddressOf())),
                  S_OK);
        return f;
    }
    ComPtr<IUnknown> NewAddin() {
        ComPtr<IUnknown> object;
        ComPtr<IClassFactory> f = Factory();
        if (f) {
            EXPECT_EQ(f->CreateInstance(nullptr, IID_IUnknown, reinterpret_cast<void**>(object.GetAddressOf())), S_OK);
        }
        return object;
    }

    Apartment apartment;
    Server server;
};

TEST_F(ComServer, OtherClassIdsAreNotAvailable) {
    const GUID others[] = {CLSID_NULL, IID__MyAddin, LIBID_RuDerizIRA, IID_IKorvaneAddIn, IID_IDispatch};
    for (const GUID& clsid : others) {
        void* p = reinterpret_cast<void*>(1);
        EXPECT_EQ(server.getClassObject(clsid, IID_IClassFactory, &p), CLASS_E_CLASSNOTAVAILABLE) << rud::narrow(GuidText(clsid));
        EXPECT_EQ(p, nullptr);
    }
    EXPECT_EQ(server.canUnloadNow(), S_OK);
}

TEST_F(ComServer, FactoryAnswersOnlyItsOwnInterfaces) {
    void* p = reinterpret_cast<void*>(1);
    EXPECT_EQ(server.getClassObject(CLSID_MyAddin, IID_IDispatch, &p), E_NOINTERFACE);
    EXPECT_EQ(p, nullptr);
    EXPECT_EQ(server.canUnloadNow(), S_OK) << "a refused factory must not stay counted";

    ComPtr<IUnknown> unknown;
    ASSERT_EQ(server.getClassObject(CLSID_MyAddin, IID_IUnknown, reinterpret_cast<void**>(unknown.GetAddressOf())), S_OK);
    ComPtr<IClassFactory> factory;
    EXPECT_EQ(unknown.As(&factory), S_OK);
    ComPtr<IDispatch> dispatch;
    EXPECT_EQ(unknown.As(&dispatch), E_NOINTERFACE);
}

TEST_F(ComServer, FactoryRefusesAggregation) {
    ComPtr<IClassFactory> f = Factory();
    ASSERT_TRUE(f);
    ComPtr<IUnknown> outer = f;  // any IUnknown will do as the would-be outer object
    void* p = reinterpret_cast<void*>(1);
    EXPECT_EQ(f->CreateInstance(outer.Get(), IID_IUnknown, &p), CLASS_E_NOAGGREGATION);
    EXPECT_EQ(p, nullptr);
    EXPECT_EQ(f->CreateInstance(nullptr, IID_IClassFactory, &p), E_NOINTERFACE);
    EXPECT_EQ(p, nullptr);
    f.Reset();
    outer.Reset();
    EXPECT_EQ(server.canUnloadNow(), S_OK) << "a refused object must not stay counted";
}

TEST_F(ComServer, UnloadWaitsForFactoriesLocksAndObjects) {
    EXPECT_EQ(server.canUnloadNow(), S_OK);

    ComPtr<IClassFactory> f = Factory();
    ASSERT_TRUE(f);
    EXPECT_EQ(server.canUnloadNow(), S_FALSE) << "a factory is alive";
    EXPECT_EQ(f->LockServer(TRUE), S_OK);
    f.Reset();
    EXPECT_EQ(server.canUnloadNow(), S_FALSE) << "a lock is held";
    f = Factory();
    EXPECT_EQ(f->LockServer(FALSE), S_OK);
    f.Reset();
    EXPECT_EQ(server.canUnloadNow(), S_OK);

    ComPtr<IUnknown> addin = NewAddin();
    ASSERT_TRUE(addin);
    EXPECT_EQ(server.canUnloadNow(), S_FALSE) << "MyAddin is alive";
    ComPtr<IDispatch> second;
    ASSERT_EQ(addin.As(&second), S_OK);
    addin.Reset();
    EXPECT_EQ(server.canUnloadNow(), S_FALSE) << "MyAddin is still referenced";
    second.Reset();
    EXPECT_EQ(server.canUnloadNow(), S_OK);
}

TEST_F(ComServer, UnlockWithoutLockIsRefusedAndCountsStayRight) {
    ComPtr<IClassFactory> f = Factory();
    ASSERT_TRUE(f);
    EXPECT_EQ(f->LockServer(FALSE), E_UNEXPECTED);
    ComPtr<IUnknown> addin;
    ASSERT_EQ(f->CreateInstance(nullptr, IID_IUnknown, reinterpret_cast<void**>(addin.GetAddressOf())), S_OK);
    f.Reset();
    EXPECT_EQ(server.canUnloadNow(), S_FALSE) << "MyAddin is alive after an unmatched unlock";
    addin.Reset();
    EXPECT_EQ(server.canUnloadNow(), S_OK);
}

// COM calls the exports from any thread: they answer there, over the objects of every thread.
TEST_F(ComServer, ExportsAnswerOnAnyThread) {
    ComPtr<IUnknown> addin = NewAddin();
    ASSERT_TRUE(addin);
    HRESULT whileAlive = E_FAIL, made = E_FAIL, afterOwnRelease = E_FAIL;
    std::thread([&] {
        whileAlive = server.canUnloadNow();
        Apartment own;
        ComPtr<IClassFactory> f;
        made = server.getClassObject(CLSID_MyAddin, IID_IClassFactory, reinterpret_cast<void**>(f.GetAddressOf()));
        ComPtr<IUnknown> object;
        if (f) made = f->CreateInstance(nullptr, IID_IUnknown, reinterpret_cast<void**>(object.GetAddressOf()));
        object.Reset();
        f.Reset();
        afterOwnRelease = server.canUnloadNow();
    }).join();
    EXPECT_EQ(whileAlive, S_FALSE) << "the first thread's MyAddin is alive";
    EXPECT_EQ(made, S_OK) << "an object of the second thread, made and used there";
    EXPECT_EQ(afterOwnRelease, S_FALSE) << "the first thread's MyAddin is still alive";
    addin.Reset();
    HRESULT afterAll = E_FAIL;
    std::thread([&] { afterAll = server.canUnloadNow(); }).join();
    EXPECT_EQ(afterAll, S_OK);
}

#ifdef RUD_CHECK_THREADS
// An object is used on the thread that made it: a checked build stops at the first call from
// another thread, saying which entry point.
using ComServerDeathTest = ComServer;
TEST_F(ComServerDeathTest, AnObjectCalledFromAnotherThreadStopsTheProcess) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    ComPtr<IUnknown> addin = NewAddin();
    ASSERT_TRUE(addin);
    EXPECT_EXIT(std::thread([&] { addin->AddRef(); }).join(),
                ::testing::ExitedWithCode(static_cast<int>(rud::kForeignThreadExitCode)),
                "RuDerizIRA: AddRef called on thread \\d+, owned by thread \\d+");
    ComPtr<IKorvaneAddIn> connect;
    ASSERT_EQ(addin.As(&connect), S_OK);
    EXPECT_EXIT(std::thread([&] { connect->OnDisconnection(0); }).join(),
                ::testing::ExitedWithCode(static_cast<int>(rud::kForeignThreadExitCode)),
                "MyAddin::OnDisconnection called on thread");
}
#endif

TEST_F(ComServer, MyAddinAnswersItsInterfacesWithOneIdentity) {
    ComPtr<IUnknown> addin = NewAddin();
    ASSERT_TRUE(addin);
    ComPtr<IDispatch> dispatch;
    ComPtr<_MyAddin> own;
    ComPtr<IKorvaneAddIn> host;
    ASSERT_EQ(addin.As(&dispatch), S_OK);
    ASSERT_EQ(addin.As(&own), S_OK);
    ASSERT_EQ(addin.As(&host), S_OK);
    EXPECT_EQ(static_cast<IDispatch*>(own.Get()), dispatch.Get()) << "_MyAddin is the dual IDispatch";
    for (IUnknown* face : {static_cast<IUnknown*>(dispatch.Get()), static_cast<IUnknown*>(own.Get()),
                           static_cast<IUnknown*>(host.Get())}) {
        ComPtr<IUnknown> identity;
        ASSERT_EQ(face->QueryInterface(IID_PPV_ARGS(&identity)), S_OK);
        EXPECT_EQ(identity.Get(), addin.Get());
    }
    ComPtr<IClassFactory> notThere;
    EXPECT_EQ(addin.As(&notThere), E_NOINTERFACE);
    ComPtr<IConnectionPointContainer> noEvents;
    EXPECT_EQ(addin.As(&noEvents), E_NOINTERFACE) << "MyAddin raises no events";
}

TEST_F(ComServer, DispatchComesFromTheEmbeddedTypeLibraryAndKnowsNoNames) {
    ComPtr<IUnknown> addin = NewAddin();
    ASSERT_TRUE(addin);
    ComPtr<IDispatch> dispatch;
    ASSERT_EQ(addin.As(&dispatch), S_OK);

    UINT count = 0;
    EXPECT_EQ(dispatch->GetTypeInfoCount(&count), S_OK);
    EXPECT_EQ(count, 1u);
    ComPtr<ITypeInfo> info;
    ASSERT_EQ(dispatch->GetTypeInfo(0, 0, &info), S_OK);
    TYPEATTR* attr = nullptr;
    ASSERT_EQ(info->GetTypeAttr(&attr), S_OK);
    EXPECT_TRUE(IsEqualGUID(attr->guid, IID__MyAddin));
    EXPECT_EQ(attr->cVars, 0);
    info->ReleaseTypeAttr(attr);

    for (const wchar_t* name : {L"OnConnection", L"OnDisconnection", L"MyAddin", L"Anything"}) {
        LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
        DISPID id = 12345;
        EXPECT_EQ(dispatch->GetIDsOfNames(IID_NULL, names, 1, 0, &id), DISP_E_UNKNOWNNAME) << rud::narrow(name);
    }
}

// The type information also knows the inherited IUnknown and IDispatch members of the dual
// interface; a late-bound caller must not reach them: no name, and no call of AddRef or Release
// through Invoke.
TEST_F(ComServer, DispatchKnowsNotEvenTheInheritedNames) {
    ComPtr<IUnknown> addin = NewAddin();
    ASSERT_TRUE(addin);
    ComPtr<IDispatch> dispatch;
    ASSERT_EQ(addin.As(&dispatch), S_OK);
    for (const wchar_t* name : {L"QueryInterface", L"AddRef", L"Release", L"GetTypeInfoCount", L"GetTypeInfo",
                                L"GetIDsOfNames", L"Invoke"}) {
        LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
        DISPID id = 12345;
        EXPECT_EQ(dispatch->GetIDsOfNames(IID_NULL, names, 1, 0, &id), DISP_E_UNKNOWNNAME) << rud::narrow(name);
    }

    // The member ids the type information gives to AddRef and Release.
    ComPtr<ITypeInfo> info;
    ASSERT_EQ(dispatch->GetTypeInfo(0, 0, &info), S_OK);
    for (const wchar_t* name : {L"AddRef", L"Release"}) {
        LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
        MEMBERID id = MEMBERID_NIL;
        if (FAILED(info->GetIDsOfNames(names, 1, &id))) continue;
        const ULONG before = (dispatch->AddRef(), dispatch->Release());
        DISPPARAMS none{};
        rud::Variant result;
        EXPECT_TRUE(FAILED(dispatch->Invoke(id, IID_NULL, 0, DISPATCH_METHOD, &none, &result, nullptr, nullptr)))
            << rud::narrow(name);
        const ULONG after = (dispatch->AddRef(), dispatch->Release());
        EXPECT_EQ(after, before) << rud::narrow(name) << " changed the reference count";
    }
}

size_t ThreadsOfThisProcess() {
    rud::UniqueKernelHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0));
    if (snapshot.get() == INVALID_HANDLE_VALUE) {
        snapshot.release();
        return 0;
    }
    size_t n = 0;
    THREADENTRY32 entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Thread32First(snapshot.get(), &entry); more; more = Thread32Next(snapshot.get(), &entry))
        n += entry.th32OwnerProcessID == GetCurrentProcessId();
    return n;
}

// Loading the server sets up nothing but itself: no thread, no object.
TEST(ComServerLoad, LoadingStartsNoThreadAndMakesNoObject) {
    // The system DLLs the server imports are loaded first, so that only the server's own entry
    // point runs in the measured load.
    rud::UniqueModule dependencies[] = {rud::UniqueModule(LoadLibraryW(L"ole32.dll")),
                                        rud::UniqueModule(LoadLibraryW(L"oleaut32.dll")),
                                        rud::UniqueModule(LoadLibraryW(L"user32.dll")),
                                        rud::UniqueModule(LoadLibraryW(L"gdi32.dll")),
                                        rud::UniqueModule(LoadLibraryW(L"comctl32.dll"))};
    const size_t before = ThreadsOfThisProcess();
    ASSERT_GT(before, 0u);
    Server server;
    ASSERT_TRUE(server.complete());
    EXPECT_EQ(ThreadsOfThisProcess(), before);
    EXPECT_EQ(server.canUnloadNow(), S_OK);
}

// --- the PE image: exports and imports read from the loaded module ---------------------------

// The machine this test program, and so the DLL it loads, is built for.
constexpr WORD kThisMachine = sizeof(void*) == 8 ? IMAGE_FILE_MACHINE_AMD64 : IMAGE_FILE_MACHINE_I386;

TEST_F(ComServer, ExportsExactlyTheFourEntryPointsByNameWithOrdinalsOneToFour) {
    HMODULE m = server.module;
    const PeImage image{reinterpret_cast<const BYTE*>(m)};
    const std::vector<DWORD> rvas = ExpectTheFourExports(image, kThisMachine);
    ASSERT_EQ(rvas.size(), 4u);
    for (DWORD i = 0; i < 4; ++i) {
        FARPROC byName = GetProcAddress(m, kServerExports[i]);
        FARPROC byOrdinal = GetProcAddress(m, MAKEINTRESOURCEA(i + 1));
        EXPECT_NE(byName, nullptr);
        EXPECT_EQ(byName, byOrdinal) << kServerExports[i];
        EXPECT_EQ(reinterpret_cast<const BYTE*>(byName), image.At<BYTE>(rvas[i]));
    }
}

TEST_F(ComServer, ImportsOnlyWindowsSystemDlls) {
    wchar_t system[MAX_PATH] = {};
    ASSERT_GT(GetSystemDirectoryW(system, MAX_PATH), 0u);
    ExpectOnlySystemImports(PeImage{reinterpret_cast<const BYTE*>(server.module)}, system);
}

} // namespace
