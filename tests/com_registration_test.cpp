// Registration: the table of registry values, the helpers that write and remove it (in a private
// sandbox key), and DllRegisterServer / DllUnregisterServer on the real registry, directly and
// through regsvr32 — the registry compared before registration and after unregistration.
#include "com_testkit.h"
#include "Identity.h"
#include "KorvaneFramework.h"
#include "RegistryTable.h"
#include "AddInError.h"
#include "Raii.h"
#include "Text.h"
#include <wrl/client.h>
#include <string>
#include <vector>

using Microsoft::WRL::ComPtr;
using namespace rud::comtest;
using rud::registry::RegistryValue;
using rud::registry::UniqueRegKey;

namespace {

const std::wstring kClassKey = L"CLSID\\{FDCD0AAB-381C-45F3-890D-DBB1C91ACC17}";
const std::wstring kInterfaceKey = L"Interface\\{0D121486-DD87-4504-AF80-BB20CC24066B}";
const std::wstring kTypeLibKey = L"TypeLib\\{A09057A8-755A-40AA-ADCC-8141FD844168}";
const std::wstring kLibId = L"{A09057A8-755A-40AA-ADCC-8141FD844168}";
const std::wstring kClsid = L"{FDCD0AAB-381C-45F3-890D-DBB1C91ACC17}";

// Everything below HKEY_CLASSES_ROOT that registration may touch.
const std::vector<std::wstring> kTouched = {kClassKey, L"RuDerizIRA.MyAddin", kInterfaceKey, kTypeLibKey};

TEST(ComRegistryTable, GuidsAreSpelledAsTheRegistrySpellsThem) {
    EXPECT_EQ(rud::registry::GuidText(CLSID_MyAddin), kClsid);
    EXPECT_EQ(rud::registry::GuidText(LIBID_RuDerizIRA), kLibId);
    EXPECT_EQ(rud::registry::GuidText(IID__MyAddin), L"{0D121486-DD87-4504-AF80-BB20CC24066B}");
}

TEST(ComRegistryTable, TableNamesTheClassTheProgIdBothWaysAndTheInterface) {
    const std::vector<RegistryValue> expected = {
        {kClassKey, L"", L"VB6 Plinthar AddIn"},
        {kClassKey + L"\\InprocServer32", L"", L"C:\\Add-ins\\RuDerizIRA.dll"},
        {kClassKey + L"\\InprocServer32", L"ThreadingModel", L"Apartment"},
        {kClassKey + L"\\ProgID", L"", L"RuDerizIRA.MyAddin"},
        {kClassKey + L"\\TypeLib", L"", kLibId},
        {kClassKey + L"\\Version", L"", L"1.0"},
        {L"RuDerizIRA.MyAddin", L"", L"VB6 Plinthar AddIn"},
        {L"RuDerizIRA.MyAddin\\CLSID", L"", kClsid},
        {kInterfaceKey, L"", L"_MyAddin"},
        {kInterfaceKey + L"\\ProxyStubClsid32", L"", L"{00020424-0000-0000-C000-000000000046}"},
        {kInterfaceKey + L"\\TypeLib", L"", kLibId},
        {kInterfaceKey + L"\\TypeLib", L"Version", L"1.0"},
    };
    EXPECT_EQ(rud::registry::ServerRegistryValues(L"C:\\Add-ins\\RuDerizIRA.dll"), expected);
}

// A private key under HKEY_CURRENT_USER standing in for HKEY_CLASSES_ROOT, with the containers
// that always exist there; deleted with everything in it afterwards.
class ComRegistrySandbox : public ::testing::Test {
protected:
    void SetUp() override {
        name_ = L"Software\\RuDerizIRA tests\\" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                std::to_wstring(GetTickCount());
        ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, name_.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                  root_.put(), nullptr),
                  ERROR_SUCCESS);
        for (const wchar_t* container : {L"CLSID", L"Interface"}) {
            UniqueRegKey k;
            ASSERT_EQ(RegCreateKeyExW(root_.get(), container, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, k.put(), nullptr),
                      ERROR_SUCCESS);
        }
    }
    void TearDown() override {
        root_.reset();
        RegDeleteTreeW(HKEY_CURRENT_USER, name_.c_str());
        RegDeleteKeyW(HKEY_CURRENT_USER, L"Software\\RuDerizIRA tests");  // only once empty
    }
    RegistryDump Everything() { return Dump(HKEY_CURRENT_USER, {name_}); }
    // A volatile key cannot take non-volatile children: the interface's keys cannot be written.
    void MakeInterfaceVolatile() {
        ASSERT_EQ(RegDeleteKeyW(root(), L"Interface"), ERROR_SUCCESS);
        UniqueRegKey volatileKey;
        ASSERT_EQ(RegCreateKeyExW(root(), L"Interface", 0, nullptr, REG_OPTION_VOLATILE, KEY_ALL_ACCESS, nullptr,
                                  volatileKey.put(), nullptr),
                  ERROR_SUCCESS);
    }
    HKEY root() const { return root_.get(); }

    std::wstring name_;
    UniqueRegKey root_;
    const std::vector<RegistryValue> table_ = rud::registry::ServerRegistryValues(L"C:\\x\\RuDerizIRA.dll");
};

TEST_F(ComRegistrySandbox, WriteThenRemoveLeavesTheKeyAsItWas) {
    const RegistryDump before = Everything();
    rud::registry::WriteValues(root(), table_);
    for (const RegistryValue& v : table_)
        EXPECT_EQ(ReadString(root(), v.key, v.name.empty() ? nullptr : v.name.c_str()), v.data)
            << rud::narrow(v.key) << " " << rud::narrow(v.name);
    // Nothing but the table: 12 values in 10 keys, plus the two containers and the root.
    const RegistryDump written = Everything();
    size_t values = 0, keys = 0;
    for (const auto& [path, data] : written) (data == L"<key>" ? keys : values)++;
    EXPECT_EQ(values, table_.size());
    EXPECT_EQ(keys, 10u + 3u);

    rud::registry::RemoveValues(root(), table_);
    EXPECT_EQ(Everything(), before);
    // Removing twice finds nothing to remove and is no failure.
    EXPECT_NO_THROW(rud::registry::RemoveValues(root(), table_));
    EXPECT_EQ(Everything(), before);
}

TEST_F(ComRegistrySandbox, RemoveKeepsWhatOthersPutInOurKeys) {
    rud::registry::WriteValues(root(), table_);
    UniqueRegKey category;
    ASSERT_EQ(RegCreateKeyExW(root(), (kClassKey + L"\\Implemented Categories").c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                              nullptr, category.put(), nullptr),
              ERROR_SUCCESS);
    category.reset();
    UniqueRegKey progId;
    ASSERT_EQ(RegOpenKeyExW(root(), L"RuDerizIRA.MyAddin", 0, KEY_SET_VALUE, progId.put()), ERROR_SUCCESS);
    const wchar_t foreign[] = L"kept";
    ASSERT_EQ(RegSetValueExW(progId.get(), L"Foreign", 0, REG_SZ, reinterpret_cast<const BYTE*>(foreign), sizeof foreign),
              ERROR_SUCCESS);
    progId.reset();

    rud::registry::RemoveValues(root(), table_);
    const RegistryDump after = Everything();
    const std::wstring base = rud::comtest::Lower(name_);
    EXPECT_EQ(after.count(base + L"\\" + rud::comtest::Lower(kClassKey) + L"\\implemented categories"), 1u);
    EXPECT_EQ(after.count(base + L"\\" + rud::comtest::Lower(kClassKey) + L"|"), 0u) << "our value is gone";
    EXPECT_EQ(after.count(base + L"\\" + rud::comtest::Lower(kClassKey) + L"\\inprocserver32"), 0u);
    EXPECT_EQ(ReadString(root(), L"RuDerizIRA.MyAddin", L"Foreign"), L"kept");
    EXPECT_EQ(ReadString(root(), L"RuDerizIRA.MyAddin"), L"<absent>");
    EXPECT_EQ(after.count(base + L"\\ruderizira.myaddin\\clsid"), 0u);
    EXPECT_EQ(after.count(base + L"\\" + rud::comtest::Lower(kInterfaceKey)), 0u);
}

TEST_F(ComRegistrySandbox, AFailedWriteThrowsAndLeavesNothingBehind) {
    // The interface's keys cannot be written, after the class's keys were.
    ASSERT_NO_FATAL_FAILURE(MakeInterfaceVolatile());
    const RegistryDump before = Everything();
    try {
        rud::registry::WriteValues(root(), table_);
        ADD_FAILURE() << "the write succeeded";
    } catch (const rud::AddInError& e) {
        EXPECT_EQ(e.hresult(), HRESULT_FROM_WIN32(ERROR_CHILD_MUST_BE_VOLATILE));
        EXPECT_NE(e.description().find(kInterfaceKey), std::wstring::npos) << rud::narrow(e.description());
    }
    EXPECT_EQ(Everything(), before) << "the class's keys are rolled back";
}

TEST_F(ComRegistrySandbox, AFailedRewriteKeepsTheEarlierRegistrationAsItWas) {
    // An earlier registration of the class from another folder; the interface's keys cannot be
    // written.
    ASSERT_NO_FATAL_FAILURE(MakeInterfaceVolatile());
    std::vector<RegistryValue> earlier;
    for (const RegistryValue& v : rud::registry::ServerRegistryValues(L"C:\\old\\RuDerizIRA.dll"))
        if (v.key.rfind(L"Interface\\", 0) != 0) earlier.push_back(v);
    rud::registry::WriteValues(root(), earlier);
    const RegistryDump before = Everything();
    EXPECT_THROW(rud::registry::WriteValues(root(), table_), rud::AddInError);
    EXPECT_EQ(Everything(), before);
    EXPECT_EQ(ReadString(root(), kClassKey + L"\\InprocServer32"), L"C:\\old\\RuDerizIRA.dll");
}

// --- the DLL's own registration on the real registry ------------------------------------------

class ComRegistration : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(SUCCEEDED(apartment.hr));
        ASSERT_TRUE(server.complete()) << "cannot load " << rud::narrow(ServerPath());
        ASSERT_EQ(RegisterHostTypeLib(), S_OK);
        // Another run may have left the server registered: start from an unregistered server and
        // put the registration back at the end.
        CLSID clsid{};
        wasRegistered_ = SUCCEEDED(CLSIDFromProgID(kProgId, &clsid));
        if (wasRegistered_) {
            ASSERT_EQ(server.unregisterServer(), S_OK);
        }
        baseline_ = Dump(HKEY_CLASSES_ROOT, kTouched);
        ASSERT_EQ(baseline_.count(rud::comtest::Lower(kClassKey)), 0u) << "the class is still registered";
    }
    void TearDown() override {
        if (wasRegistered_) server.registerServer();
    }

    void ExpectRegistered() {
        const std::wstring path = server.loadedPath();
        EXPECT_EQ(ReadString(HKEY_CLASSES_ROOT, kClassKey), L"VB6 Plinthar AddIn");
        EXPECT_EQ(ReadString(HKEY_CLASSES_ROOT, kClassKey + L"\\InprocServer32"), path);
        EXPECT_EQ(ReadString(HKEY_CLASSES_ROOT, kClassKey + L"\\InprocServer32", L"ThreadingModel"), L"Apartment");
        EXPECT_EQ(ReadString(HKEY_CLASSES_ROOT, kClassKey + L"\\ProgID"), L"RuDerizIRA.MyAddin");
        EXPECT_EQ(ReadString(HKEY_CLASSES_ROOT, kClassKey + L"\\TypeLib"), kLibId);
        EXPECT_EQ(ReadString(HKEY_CLASSES_ROOT, kClassKey + L"\\Version"), L"1.0");
        EXPECT_EQ(ReadString(HKEY_CLASSES_ROOT, L"RuDerizIRA.MyAddin\\CLSID"), kClsid);
        EXPECT_EQ(ReadString(HKEY_CLASSES_ROOT, kInterfaceKey + L"\\ProxyStubClsid32"),
                  L"{00020424-0000-0000-C000-000000000046}");
        EXPECT_EQ(ReadString(HKEY_CLASSES_ROOT, kInterfaceKey + L"\\TypeLib"), kLibId);
        EXPECT_EQ(ReadString(HKEY_CLASSES_ROOT, kInterfaceKey + L"\\TypeLib", L"Version"), L"1.0");
        EXPECT_EQ(ReadString(HKEY_CLASSES_ROOT, kTypeLibKey + L"\\1.0\\0\\" + kTypeLibPlatformKey), path);

        CLSID clsid{};
        EXPECT_EQ(CLSIDFromProgID(kProgId, &clsid), S_OK);
        EXPECT_TRUE(IsEqualCLSID(clsid, CLSID_MyAddin));
        LPOLESTR progId = nullptr;
        ASSERT_EQ(ProgIDFromCLSID(CLSID_MyAddin, &progId), S_OK);
        EXPECT_EQ(std::wstring(progId), L"RuDerizIRA.MyAddin");
        CoTaskMemFree(progId);

        ComPtr<ITypeLib> lib;
        ASSERT_EQ(LoadRegTypeLib(LIBID_RuDerizIRA, 1, 0, 0, &lib), S_OK);
        ComPtr<ITypeInfo> info;
        EXPECT_EQ(lib->GetTypeInfoOfGuid(IID__MyAddin, &info), S_OK);
    }

    void ExpectUnregistered() {
        EXPECT_EQ(Dump(HKEY_CLASSES_ROOT, kTouched), baseline_);
        CLSID clsid{};
        EXPECT_TRUE(FAILED(CLSIDFromProgID(kProgId, &clsid))) << "the ProgID still resolves";
        ComPtr<ITypeLib> lib;
        EXPECT_TRUE(FAILED(LoadRegTypeLib(LIBID_RuDerizIRA, 1, 0, 0, &lib)));
    }

    Apartment apartment;
    Server server;
    RegistryDump baseline_;
    bool wasRegistered_ = false;
};

TEST_F(ComRegistration, RegisterThenUnregisterLeavesTheRegistryAsItWas) {
    ASSERT_EQ(server.registerServer(), S_OK);
    ExpectRegistered();

    // The host's way in: the class through the registry, answering for the host's interface.
    ComPtr<IKorvaneAddIn> addin;
    EXPECT_EQ(CoCreateInstance(CLSID_MyAddin, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&addin)), S_OK);
    addin.Reset();

    ASSERT_EQ(server.unregisterServer(), S_OK);
    ExpectUnregistered();
    ASSERT_EQ(server.unregisterServer(), S_OK) << "unregistering twice is no failure";
    EXPECT_EQ(Dump(HKEY_CLASSES_ROOT, kTouched), baseline_);
}

TEST_F(ComRegistration, RegisteringTwiceWritesNothingMore) {
    ASSERT_EQ(server.registerServer(), S_OK);
    const RegistryDump once = Dump(HKEY_CLASSES_ROOT, kTouched);
    ASSERT_EQ(server.registerServer(), S_OK);
    EXPECT_EQ(Dump(HKEY_CLASSES_ROOT, kTouched), once);
    ASSERT_EQ(server.unregisterServer(), S_OK);
    ExpectUnregistered();
}

// A type library that cannot be unregistered (its registered file is gone) does not keep the
// class and its ProgID pointing at the server: every row of the table goes, the call still fails,
// and once the library's file is back a second unregistration removes the rest.
TEST_F(ComRegistration, AnUnregistrationTheTypeLibraryRefusesStillRemovesTheServersRows) {
    ASSERT_EQ(server.registerServer(), S_OK);
    const std::wstring platformKey = kTypeLibKey + L"\\1.0\\0\\" + kTypeLibPlatformKey;
    const auto setLibraryPath = [&](const std::wstring& path) {
        UniqueRegKey key;
        ASSERT_EQ(RegOpenKeyExW(HKEY_CLASSES_ROOT, platformKey.c_str(), 0, KEY_SET_VALUE, key.put()), ERROR_SUCCESS);
        ASSERT_EQ(RegSetValueExW(key.get(), nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(path.c_str()),
                                 static_cast<DWORD>((path.size() + 1) * sizeof(wchar_t))),
                  ERROR_SUCCESS);
    };
    setLibraryPath(L"C:\\gone\\RuDerizIRA.dll");
    EXPECT_TRUE(FAILED(server.unregisterServer()));
    const RegistryDump after = Dump(HKEY_CLASSES_ROOT, kTouched);
    EXPECT_EQ(after.count(rud::comtest::Lower(kClassKey)), 0u) << "the class is still registered";
    CLSID clsid{};
    EXPECT_TRUE(FAILED(CLSIDFromProgID(kProgId, &clsid))) << "the ProgID still resolves";
    EXPECT_EQ(ReadString(HKEY_CLASSES_ROOT, platformKey), L"C:\\gone\\RuDerizIRA.dll") << "the library's rows stay";

    setLibraryPath(server.loadedPath());
    ASSERT_EQ(server.unregisterServer(), S_OK);
    ExpectUnregistered();
}

DWORD RunRegsvr32(const std::wstring& arguments) {
    wchar_t system[MAX_PATH] = {};
    GetSystemDirectoryW(system, MAX_PATH);
    std::wstring line = L"\"" + std::wstring(system) + L"\\regsvr32.exe\" " + arguments;
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) return 0xFFFFFFFF;
    rud::UniqueKernelHandle process(pi.hProcess), thread(pi.hThread);
    if (WaitForSingleObject(process.get(), 60000) != WAIT_OBJECT_0) return 0xFFFFFFFE;
    DWORD code = 0xFFFFFFFD;
    GetExitCodeProcess(process.get(), &code);
    return code;
}

TEST_F(ComRegistration, Regsvr32RegistersAndUnregisters) {
    const std::wstring quoted = L"\"" + server.loadedPath() + L"\"";
    ASSERT_EQ(RunRegsvr32(L"/s " + quoted), 0u);
    ExpectRegistered();
    ASSERT_EQ(RunRegsvr32(L"/s /u " + quoted), 0u);
    ExpectUnregistered();
}

// HKEY_CLASSES_ROOT mapped onto a sandbox for this process, where a volatile "Interface" key
// makes part of the registration impossible.
TEST_F(ComRegistration, AFailedRegistrationReturnsAFailureAndWritesNothing) {
    const std::wstring sandbox = L"Software\\RuDerizIRA tests\\hkcr-" + std::to_wstring(GetCurrentProcessId());
    UniqueRegKey root;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, sandbox.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, root.put(),
                              nullptr),
              ERROR_SUCCESS);
    UniqueRegKey clsidKey, interfaceKey;
    ASSERT_EQ(RegCreateKeyExW(root.get(), L"CLSID", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, clsidKey.put(), nullptr),
              ERROR_SUCCESS);
    ASSERT_EQ(RegCreateKeyExW(root.get(), L"Interface", 0, nullptr, REG_OPTION_VOLATILE, KEY_ALL_ACCESS, nullptr,
                              interfaceKey.put(), nullptr),
              ERROR_SUCCESS);
    const RegistryDump before = Dump(HKEY_CURRENT_USER, {sandbox});

    ASSERT_EQ(RegOverridePredefKey(HKEY_CLASSES_ROOT, root.get()), ERROR_SUCCESS);
    const HRESULT hr = server.registerServer();
    RegOverridePredefKey(HKEY_CLASSES_ROOT, nullptr);

    EXPECT_EQ(hr, HRESULT_FROM_WIN32(ERROR_CHILD_MUST_BE_VOLATILE));
    EXPECT_EQ(Dump(HKEY_CURRENT_USER, {sandbox}), before);
    EXPECT_EQ(Dump(HKEY_CLASSES_ROOT, kTouched), baseline_) << "the real registry was not touched";
    clsidKey.reset();
    interfaceKey.reset();
    root.reset();
    RegDeleteTreeW(HKEY_CURRENT_USER, sandbox.c_str());
    RegDeleteKeyW(HKEY_CURRENT_USER, L"Software\\RuDerizIRA tests");  // only once empty
}

} // namespace
