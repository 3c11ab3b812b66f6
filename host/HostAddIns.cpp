// The Host's add-ins: loading them (by ProgID through COM, or from a DLL), connecting and
// disconnecting them, and letting them go.
#include "Core.h"

namespace kvhost {

namespace {

// The environment category the host reports to OnConnectToEnvironment.
constexpr wchar_t kEnvironmentCategory[] = L"{B7F0A4D0-5A3C-4E2B-9C61-4F1E2D3C4B5A}";

std::wstring SystemText(HRESULT hr) {
    wchar_t* buf = nullptr;
    FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                   nullptr, static_cast<DWORD>(hr), 0, reinterpret_cast<LPWSTR>(&buf), 0, nullptr);
    std::wstring t = buf ? buf : L"";
    if (buf) LocalFree(buf);
    while (!t.empty() && (t.back() == L'\n' || t.back() == L'\r' || t.back() == L' ')) t.pop_back();
    wchar_t code[16];
    swprintf(code, 16, L"0x%08lX", static_cast<unsigned long>(hr));
    return t.empty() ? std::wstring(code) : t + L" (" + code + L")";
}

std::wstring ModulePath(HMODULE m) {
    std::wstring p(MAX_PATH, L'\0');
    DWORD n = GetModuleFileNameW(m, p.data(), static_cast<DWORD>(p.size()));
    p.resize(n);
    return p;
}

// The first coclass of the DLL's type library that implements IKorvaneAddIn.
CLSID FindAddInClass(const std::wstring& dllPath) {
    ComPtr<ITypeLib> lib;
    HRESULT hr = LoadTypeLibEx(dllPath.c_str(), REGKIND_NONE, &lib);
    if (FAILED(hr)) throw HostError(hr, dllPath + L" has no type library to find its add-in class in");
    const UINT n = lib->GetTypeInfoCount();
    for (UINT i = 0; i < n; ++i) {
        TYPEKIND kind;
        if (FAILED(lib->GetTypeInfoType(i, &kind)) || kind != TKIND_COCLASS) continue;
        ComPtr<ITypeInfo> info;
        TYPEATTR* attr = nullptr;
        if (FAILED(lib->GetTypeInfo(i, &info)) || FAILED(info->GetTypeAttr(&attr))) continue;
        const CLSID clsid = attr->guid;
        const WORD impl = attr->cImplTypes;
        info->ReleaseTypeAttr(attr);
        for (UINT k = 0; k < impl; ++k) {
            HREFTYPE ref;
            ComPtr<ITypeInfo> ti;
            TYPEATTR* ia = nullptr;
            if (FAILED(info->GetRefTypeOfImplType(k, &ref)) || FAILED(info->GetRefTypeInfo(ref, &ti)) ||
                FAILED(ti->GetTypeAttr(&ia)))
                continue;
            const bool match = ia->guid == IID_IKorvaneAddIn;
            ti->ReleaseTypeAttr(ia);
            if (match) return clsid;
        }
    }
    throw HostError(CLASS_E_CLASSNOTAVAILABLE, dllPath + L" has no class that implements IKorvaneAddIn");
}

// A loaded add-in's DLL as COM loaded it, to ask DllCanUnloadNow at the end.
HMODULE InprocModule(const CLSID& clsid) {
    wchar_t clsidText[40];
    StringFromGUID2(clsid, clsidText, 40);
    std::wstring key = std::wstring(L"CLSID\\") + clsidText + L"\\InprocServer32";
    wchar_t path[MAX_PATH] = {};
    LONG size = sizeof path;
    if (RegQueryValueW(HKEY_CLASSES_ROOT, key.c_str(), path, &size) != ERROR_SUCCESS) return nullptr;
    return GetModuleHandleW(path);
}

void CreateByProgId(AddInSlot& slot, const std::wstring& progId) {
    CLSID clsid;
    HRESULT hr = CLSIDFromProgID(progId.c_str(), &clsid);
    if (FAILED(hr)) throw HostError(hr, L"unknown ProgID " + progId);
    ComPtr<IKorvaneAddIn> addIn;
    hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IKorvaneAddIn,
                          reinterpret_cast<void**>(addIn.GetAddressOf()));
    if (FAILED(hr)) throw HostError(hr, L"cannot create the add-in " + progId + L": " + SystemText(hr));
    slot.instance = addIn;
    slot.moduleLoadedByUs = false;
    slot.module = InprocModule(clsid);
}

AddInSlot& Loaded(Core& core, size_t index) {
    AddInSlot& slot = core.Slot(index);
    if (!slot.instance) throw HostError(E_UNEXPECTED, L"no add-in is loaded");
    return slot;
}

} // namespace

void Host::LoadAddInByProgId(const std::wstring& progId) {
    if (core_->FirstSlot().instance) throw HostError(E_UNEXPECTED, L"an add-in is loaded already");
    CreateByProgId(core_->FirstSlot(), progId);
}

size_t Host::LoadNextAddInByProgId(const std::wstring& progId) {
    if (!core_->FirstSlot().instance) {
        LoadAddInByProgId(progId);
        return 0;
    }
    AddInSlot& slot = core_->AddSlot(progId);
    CreateByProgId(slot, progId);
    return slot.index;
}

void Host::LoadAddInFromPath(const std::wstring& dllPath, const CLSID* clsid) {
    AddInSlot& slot = core_->FirstSlot();
    if (slot.instance) throw HostError(E_UNEXPECTED, L"an add-in is loaded already");
    HMODULE m = LoadLibraryExW(dllPath.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    if (!m) {
        const HRESULT hr = HRESULT_FROM_WIN32(GetLastError());
        throw HostError(hr, L"cannot load " + dllPath + L": " + SystemText(hr));
    }
    try {
        using GetClassObject = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
        auto get = reinterpret_cast<GetClassObject>(reinterpret_cast<void*>(GetProcAddress(m, "DllGetClassObject")));
        if (!get) throw HostError(HRESULT_FROM_WIN32(ERROR_PROC_NOT_FOUND), dllPath + L" exports no DllGetClassObject");
        const CLSID cls = clsid ? *clsid : FindAddInClass(dllPath);
        ComPtr<IKorvaneAddIn> addIn;
        {
            ComPtr<IClassFactory> factory;
            HRESULT hr = get(cls, IID_IClassFactory, reinterpret_cast<void**>(factory.GetAddressOf()));
            if (FAILED(hr)) throw HostError(hr, dllPath + L" gives no class factory: " + SystemText(hr));
            hr = factory->CreateInstance(nullptr, IID_IKorvaneAddIn, reinterpret_cast<void**>(addIn.GetAddressOf()));
            if (FAILED(hr)) throw HostError(hr, L"cannot create the add-in of " + dllPath + L": " + SystemText(hr));
        }
        slot.instance = addIn;
        slot.module = m;
        slot.moduleLoadedByUs = true;
    } catch (...) {
        using CanUnload = HRESULT(STDAPICALLTYPE*)();
        auto can = reinterpret_cast<CanUnload>(reinterpret_cast<void*>(GetProcAddress(m, "DllCanUnloadNow")));
        if (!can || can() == S_OK) FreeLibrary(m);
        throw;
    }
}

bool Host::AddInLoaded() const noexcept { return AddInLoaded(0); }
bool Host::Connected() const noexcept { return Connected(0); }
IUnknown* Host::AddIn() const noexcept { return core_->FirstSlot().instance.Get(); }
HMODULE Host::AddInModule() const noexcept { return core_->FirstSlot().module; }
size_t Host::AddInCount() const noexcept { return core_->SlotCount(); }

bool Host::AddInLoaded(size_t index) const noexcept {
    const AddInSlot* slot = core_->FindSlot(index);
    return slot && slot->instance;
}

bool Host::Connected(size_t index) const noexcept {
    const AddInSlot* slot = core_->FindSlot(index);
    return slot && slot->connected;
}

HRESULT Host::Connect(LONG connectMode) { return ConnectAddIn(0, connectMode); }

HRESULT Host::ConnectAddIn(size_t index, LONG connectMode) {
    AddInSlot& slot = Loaded(*core_, index);
    ComPtr<IKorvaneAddIn> addIn = slot.instance;
    const HRESULT hr = addIn->OnConnection(core_->ApplicationDispatch(), connectMode, slot.object->Disp());
    if (FAILED(hr)) return hr;
    slot.connected = true;
    rud::Bstr category(kEnvironmentCategory);
    addIn->OnConnectToEnvironment(category.get(), core_->EnvironmentDispatch(), VARIANT_TRUE);
    return hr;
}

HRESULT Host::ConnectToEnvironment(const std::wstring& category, bool firstTime) {
    ComPtr<IKorvaneAddIn> addIn = Loaded(*core_, 0).instance;
    rud::Bstr cat(category);
    return addIn->OnConnectToEnvironment(cat.get(), core_->EnvironmentDispatch(),
                                         firstTime ? VARIANT_TRUE : VARIANT_FALSE);
}

HRESULT Host::Disconnect(LONG disconnectMode) { return DisconnectAddIn(0, disconnectMode); }

HRESULT Host::DisconnectAddIn(size_t index, LONG disconnectMode) {
    AddInSlot& slot = Loaded(*core_, index);
    ComPtr<IKorvaneAddIn> addIn = slot.instance;
    slot.connected = false;
    return addIn->OnDisconnection(disconnectMode);
}

UnloadResult Host::UnloadAddIn() { return UnloadAddIn(0); }

UnloadResult Host::UnloadAddIn(size_t index) {
    AddInSlot& slot = core_->Slot(index);
    UnloadResult r;
    slot.connected = false;
    slot.instance.Reset();
    HMODULE m = std::exchange(slot.module, nullptr);
    if (!m) return r;
    r.hadModule = true;
    const std::wstring path = ModulePath(m);
    using CanUnload = HRESULT(STDAPICALLTYPE*)();
    auto can = reinterpret_cast<CanUnload>(reinterpret_cast<void*>(GetProcAddress(m, "DllCanUnloadNow")));
    r.canUnloadNow = can ? can() : S_FALSE;
    if (slot.moduleLoadedByUs) {
        if (r.canUnloadNow == S_OK) FreeLibrary(m);
        else slot.module = m;  // kept: the DLL still has objects alive
    } else {
        CoFreeUnusedLibrariesEx(0, 0);
    }
    r.freed = GetModuleHandleW(path.c_str()) == nullptr;
    return r;
}

void Host::ReleaseAddIns(LONG disconnectMode) {
    for (size_t i = core_->SlotCount(); i-- > 0;) {
        AddInSlot& slot = core_->Slot(i);
        if (slot.instance && slot.connected) DisconnectAddIn(i, disconnectMode);
        if (slot.instance || slot.module) UnloadAddIn(i);
    }
}

IDispatch* Host::AddInObject() const noexcept { return AddInObject(0); }
IDispatch* Host::AddInEvents() const noexcept { return AddInEvents(0); }

IDispatch* Host::AddInObject(size_t index) const noexcept {
    const AddInSlot* slot = core_->FindSlot(index);
    return slot && slot->object ? slot->object->Disp() : nullptr;
}

IDispatch* Host::AddInEvents(size_t index) const noexcept {
    const AddInSlot* slot = core_->FindSlot(index);
    return slot && slot->events ? slot->events->Disp() : nullptr;
}

size_t Host::CommandSinkCount(size_t index) const noexcept {
    const AddInSlot* slot = core_->FindSlot(index);
    return slot && slot->events ? slot->events->Events().SinkCount() : 0;
}

std::wstring Host::Description() const { return core_->FirstSlot().description; }
LONG Host::NumberSetting() const noexcept { return core_->FirstSlot().numberSetting; }
bool Host::FlagSetting() const noexcept { return core_->FirstSlot().flagSetting; }
bool Host::DescriptionWasSet() const noexcept { return core_->FirstSlot().descriptionSet; }
size_t Host::ButtonCount() const noexcept { return core_->FirstSlot().buttons.size(); }

} // namespace kvhost
