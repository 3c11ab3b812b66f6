#include "Host.h"
#include "Core.h"
#include <algorithm>

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

std::wstring ValueText(const VARIANT& v) {
    if (V_VT(&v) == VT_EMPTY || V_VT(&v) == VT_NULL) return {};
    rud::Variant s;
    if (FAILED(VariantChangeTypeEx(&s, const_cast<VARIANT*>(&v), LOCALE_USER_DEFAULT, VARIANT_ALPHABOOL, VT_BSTR)))
        return L"?";
    return std::wstring(V_BSTR(&s), SysStringLen(V_BSTR(&s)));
}

const PropertyData* FindProperty(const DocumentContent& c, const std::wstring& set, const std::wstring& prop) {
    for (const auto& s : c.sets)
        if (SameName(s.name, set))
            for (const auto& p : s.properties)
                if (SameName(p.name, prop)) return &p;
    return nullptr;
}

DocumentContent NewDocumentTemplate() {
    return ParseDocument(R"({"propertySets": [
      {"name": "SummaryInformation", "properties": [
        {"name": "Title", "value": ""}, {"name": "Subject", "value": ""},
        {"name": "Author", "value": ""}, {"name": "Keywords", "value": ""},
        {"name": "Comments", "value": ""}]},
      {"name": "DocumentSummaryInformation", "properties": [
        {"name": "Category", "value": ""}, {"name": "Manager", "value": ""},
        {"name": "Company", "value": ""}]}]})");
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

} // namespace

// ---- Core

void Core::Start() {
    auto self = shared_from_this();
    app.reset(new kvhost::Application(self));
    AddSlot(L"");
    environment.reset(new EnvironmentObject(self));
}

AddInSlot& Core::AddSlot(const std::wstring& name) {
    auto slot = std::make_unique<AddInSlot>();
    slot->index = addIns.size();
    slot->events.reset(new AddInEventsSource(shared_from_this()));
    slot->object.reset(new kvhost::AddInObject(shared_from_this(), *slot, name));
    addIns.push_back(std::move(slot));
    return *addIns.back();
}

AddInSlot& Core::Slot(size_t index) const {
    if (index >= addIns.size()) throw HostError(E_INVALIDARG, L"there is no add-in " + std::to_wstring(index));
    return *addIns[index];
}

void Core::Shutdown() {
    for (auto it = addIns.rbegin(); it != addIns.rend(); ++it) (*it)->instance.Reset();
    for (auto& d : docs) d.state->open = false;
    docs.clear();
    for (auto it = addIns.rbegin(); it != addIns.rend(); ++it) (*it)->buttons.clear();
    environment.reset();
    for (auto it = addIns.rbegin(); it != addIns.rend(); ++it) {
        (*it)->object.reset();
        (*it)->events.reset();
    }
    app.reset();
    windows.Destroy();
}

Core::OpenDoc* Core::Find(int id) {
    for (auto& d : docs)
        if (d.state->id == id) return &d;
    return nullptr;
}

const Core::OpenDoc* Core::Find(int id) const {
    for (const auto& d : docs)
        if (d.state->id == id) return &d;
    return nullptr;
}

int Core::DocIdOf(IDispatch* p) const {
    if (!p) return 0;
    ComPtr<IUnknown> unk;
    if (FAILED(p->QueryInterface(IID_PPV_ARGS(&unk)))) return 0;
    for (const auto& d : docs) {
        ComPtr<IUnknown> mine;
        d.object->get()->QueryInterface(IID_PPV_ARGS(&mine));
        if (mine.Get() == unk.Get()) return d.state->id;
    }
    return 0;
}

DocumentObject* Core::DocObject(int id) const {
    const OpenDoc* d = Find(id);
    return d ? d->object->get() : nullptr;
}

FiredEvent Core::Fire(bool application, DISPID id, const wchar_t* name, std::vector<VARIANT> args) {
    FiredEvent e{application ? L"Application" : L"AddInEvents", name, id, {}, {}};
    const Held<AddInEventsSource>& commands = addIns.front()->events;
    ConnectionPoint* point = application ? (app ? &app->Events() : nullptr)
                                         : (commands ? &commands->Events() : nullptr);
    e.firstCall = rec.Calls().size();
    if (point) {
        std::reverse(args.begin(), args.end());
        DISPPARAMS dp{args.empty() ? nullptr : args.data(), nullptr, static_cast<UINT>(args.size()), 0};
        for (auto& r : point->Fire(id, dp)) {
            e.results.push_back(r.hr);
            e.descriptions.push_back(r.description);
        }
    }
    e.endCall = rec.Calls().size();
    events.push_back(e);
    return e;
}

void Core::FireDoc(DISPID id, const wchar_t* name, int doc) {
    DocumentObject* d = DocObject(doc);
    if (!d) throw HostError(E_INVALIDARG, L"no such document");
    rud::Variant v = rud::Variant::fromDispatch(d->Disp());
    Fire(true, id, name, {v});
}

const wchar_t* ApplicationEventName(DISPID id) noexcept {
    static const wchar_t* const names[] = {
        L"", L"AfterActiveDocumentChange", L"AfterCommandRun", L"AfterDocumentOpen",
        L"AfterDocumentSave", L"AfterEnvironmentActivate", L"AfterNewWindowOpen",
        L"AfterNewDocumentOpen", L"AfterWindowActivate", L"BeforeCommandRun",
        L"BeforeDocumentOpen", L"BeforeDocumentClose", L"BeforeEnvironmentDeactivate",
        L"BeforeQuit", L"BeforeWindowDeactivate", L"BeforeWindowClose", L"BeforeDocumentSave"};
    return id >= 1 && id <= 16 ? names[id] : L"?";
}

// ---- Host

Host::Host() : Host(Options{}) {}

Host::Host(const Options& options) : core_(std::make_shared<Core>()) {
    const HRESULT ole = OleInitialize(nullptr);
    if (FAILED(ole) && ole != RPC_E_CHANGED_MODE) throw HostError(ole, L"OLE cannot start");
    oleInitialized_ = SUCCEEDED(ole);
    try {
        RegisterHostTypeLibrary();
    } catch (const HostError&) {
        // Without the registered library only add-ins whose own library imports it suffer;
        // korvane-sim registers it itself and reports the failure.
    }
    core_->Start();
    core_->windows.Create(options.title, options.width, options.height, options.paneWidth, options.showWindow);
}

Host::~Host() {
    try {
        ReleaseAddIns();
    } catch (...) {
    }
    core_->Shutdown();
    core_.reset();
    if (oleInitialized_) OleUninitialize();
}

namespace {

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
    if (core_->addIns[0]->instance) throw HostError(E_UNEXPECTED, L"an add-in is loaded already");
    CreateByProgId(*core_->addIns[0], progId);
}

size_t Host::LoadNextAddInByProgId(const std::wstring& progId) {
    if (!core_->addIns[0]->instance) {
        LoadAddInByProgId(progId);
        return 0;
    }
    AddInSlot& slot = core_->AddSlot(progId);
    CreateByProgId(slot, progId);
    return slot.index;
}

void Host::LoadAddInFromPath(const std::wstring& dllPath, const CLSID* clsid) {
    AddInSlot& slot = *core_->addIns[0];
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
IUnknown* Host::AddIn() const noexcept { return core_->addIns[0]->instance.Get(); }
HMODULE Host::AddInModule() const noexcept { return core_->addIns[0]->module; }
size_t Host::AddInCount() const noexcept { return core_->addIns.size(); }

bool Host::AddInLoaded(size_t index) const noexcept {
    return index < core_->addIns.size() && core_->addIns[index]->instance;
}

bool Host::Connected(size_t index) const noexcept {
    return index < core_->addIns.size() && core_->addIns[index]->connected;
}

HRESULT Host::Connect(LONG connectMode) { return ConnectAddIn(0, connectMode); }

HRESULT Host::ConnectAddIn(size_t index, LONG connectMode) {
    AddInSlot& slot = Loaded(*core_, index);
    ComPtr<IKorvaneAddIn> addIn = slot.instance;
    const HRESULT hr = addIn->OnConnection(core_->app->Disp(), connectMode, slot.object->Disp());
    if (FAILED(hr)) return hr;
    slot.connected = true;
    rud::Bstr category(kEnvironmentCategory);
    addIn->OnConnectToEnvironment(category.get(), core_->environment->Disp(), VARIANT_TRUE);
    return hr;
}

HRESULT Host::ConnectToEnvironment(const std::wstring& category, bool firstTime) {
    ComPtr<IKorvaneAddIn> addIn = Loaded(*core_, 0).instance;
    rud::Bstr cat(category);
    return addIn->OnConnectToEnvironment(cat.get(), core_->environment->Disp(),
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
    for (size_t i = core_->addIns.size(); i-- > 0;) {
        AddInSlot& slot = *core_->addIns[i];
        if (slot.instance && slot.connected) DisconnectAddIn(i, disconnectMode);
        if (slot.instance || slot.module) UnloadAddIn(i);
    }
}

IDispatch* Host::Application() const noexcept { return core_->app ? core_->app->Disp() : nullptr; }
IDispatch* Host::AddInObject() const noexcept { return AddInObject(0); }
IDispatch* Host::AddInEvents() const noexcept { return AddInEvents(0); }

IDispatch* Host::AddInObject(size_t index) const noexcept {
    if (index >= core_->addIns.size() || !core_->addIns[index]->object) return nullptr;
    return core_->addIns[index]->object->Disp();
}

IDispatch* Host::AddInEvents(size_t index) const noexcept {
    if (index >= core_->addIns.size() || !core_->addIns[index]->events) return nullptr;
    return core_->addIns[index]->events->Disp();
}

size_t Host::CommandSinkCount(size_t index) const noexcept {
    if (index >= core_->addIns.size() || !core_->addIns[index]->events) return 0;
    return core_->addIns[index]->events->Events().SinkCount();
}

namespace {
void ShowActive(Core& core) {
    core.windows.ShowPagesOf(core.activeDoc);
    const Core::OpenDoc* d = core.Find(core.activeDoc);
    core.windows.SetDocumentText(d ? d->state->fullName : std::wstring());
}

DocId AddDocument(Core& core, std::shared_ptr<DocState> state) {
    state->id = core.nextDocId++;
    Core::OpenDoc d{state, std::make_unique<Held<DocumentObject>>(new DocumentObject(core.shared_from_this(), state))};
    core.docs.push_back(std::move(d));
    core.activeDoc = state->id;
    ShowActive(core);
    return state->id;
}
} // namespace

DocId Host::OpenDocument(const std::wstring& path) {
    wchar_t full[MAX_PATH * 2] = {};
    if (!GetFullPathNameW(path.c_str(), MAX_PATH * 2, full, nullptr))
        throw HostError(HRESULT_FROM_WIN32(GetLastError()), L"bad document path " + path);
    auto state = std::make_shared<DocState>();
    state->path = full;
    state->fullName = full;
    if (IsCompoundFile(full)) state->compound = CompoundDocument::Open(full, state->live);
    else state->live = LoadDocumentFile(full);
    state->saved = state->live;
    rud::Variant name = rud::Variant::fromString(state->fullName);
    core_->Fire(true, 10, L"BeforeDocumentOpen", {name});
    const DocId id = AddDocument(*core_, state);
    core_->FireDoc(3, L"AfterDocumentOpen", id);
    core_->FireDoc(1, L"AfterActiveDocumentChange", id);
    return id;
}

DocId Host::NewDocument(const std::wstring& fullName) {
    auto state = std::make_shared<DocState>();
    state->fullName = fullName.empty() ? L"Document" + std::to_wstring(++core_->untitled) : fullName;
    if (fullName.find_first_of(L"\\/") != std::wstring::npos) state->path = fullName;
    state->live = NewDocumentTemplate();
    state->saved = state->live;
    const DocId id = AddDocument(*core_, state);
    core_->FireDoc(7, L"AfterNewDocumentOpen", id);
    core_->FireDoc(1, L"AfterActiveDocumentChange", id);
    return id;
}

DocId Host::NewDocumentWith(const std::wstring& fullName, const std::string& json) {
    auto state = std::make_shared<DocState>();
    state->fullName = fullName;
    state->live = ParseDocument(json);
    state->saved = state->live;
    const DocId id = AddDocument(*core_, state);
    core_->FireDoc(7, L"AfterNewDocumentOpen", id);
    core_->FireDoc(1, L"AfterActiveDocumentChange", id);
    return id;
}

namespace {
// The open document with this id, or the host's error for an id it does not know.
Core::OpenDoc& KnownDocument(Core& core, DocId doc) {
    Core::OpenDoc* d = core.Find(doc);
    if (!d) throw HostError(E_INVALIDARG, L"no such document");
    return *d;
}

// The text of a property's value in one state of a document's content.
std::wstring PropertyTextIn(const DocumentContent& content, const std::wstring& set, const std::wstring& prop) {
    const PropertyData* p = FindProperty(content, set, prop);
    if (!p) throw HostError(E_INVALIDARG, L"no property " + set + L"|" + prop);
    return ValueText(p->value);
}
} // namespace

void Host::ActivateDocument(DocId doc) {
    KnownDocument(*core_, doc);
    core_->activeDoc = doc;
    ShowActive(*core_);
    core_->FireDoc(1, L"AfterActiveDocumentChange", doc);
}

void Host::SaveDocument(DocId doc) {
    std::shared_ptr<DocState> state = KnownDocument(*core_, doc).state;
    core_->FireDoc(16, L"BeforeDocumentSave", doc);
    state->SaveAll();
    core_->FireDoc(4, L"AfterDocumentSave", doc);
}

void Host::CloseDocument(DocId doc) {
    KnownDocument(*core_, doc);
    core_->FireDoc(11, L"BeforeDocumentClose", doc);
    auto it = std::find_if(core_->docs.begin(), core_->docs.end(),
                           [&](const Core::OpenDoc& d) { return d.state->id == doc; });
    if (it == core_->docs.end()) return;  // closed by a sink meanwhile
    it->state->open = false;
    core_->docs.erase(it);
    if (core_->activeDoc == doc) {
        core_->activeDoc = core_->docs.empty() ? 0 : core_->docs.back().state->id;
        ShowActive(*core_);
        if (core_->activeDoc) core_->FireDoc(1, L"AfterActiveDocumentChange", core_->activeDoc);
    }
}

void Host::Quit() {
    core_->Fire(true, 13, L"BeforeQuit", {});
    while (!core_->docs.empty()) CloseDocument(core_->docs.back().state->id);
}

std::vector<DocId> Host::Documents() const {
    std::vector<DocId> out;
    for (const auto& d : core_->docs) out.push_back(d.state->id);
    return out;
}

DocId Host::ActiveDocument() const noexcept { return core_->activeDoc; }

DocId Host::FindDocument(const std::wstring& fullName) const {
    for (const auto& d : core_->docs)
        if (SameName(d.state->fullName, fullName)) return d.state->id;
    return 0;
}

IDispatch* Host::Document(DocId doc) const {
    DocumentObject* d = core_->DocObject(doc);
    return d ? d->Disp() : nullptr;
}

std::wstring Host::FullName(DocId doc) const {
    return KnownDocument(*core_, doc).state->fullName;
}

void Host::SetFullName(DocId doc, const std::wstring& fullName) {
    Core::OpenDoc& d = KnownDocument(*core_, doc);
    d.state->fullName = fullName;
    d.state->nextNames.clear();
    d.object->get()->Ledger().instance = fullName;
}

void Host::QueueFullNames(DocId doc, const std::vector<std::wstring>& names) {
    KnownDocument(*core_, doc).state->nextNames.assign(names.begin(), names.end());
}

const DocumentContent& Host::Content(DocId doc) const {
    return KnownDocument(*core_, doc).state->live;
}

std::wstring Host::PropertyText(DocId doc, const std::wstring& set, const std::wstring& prop) const {
    return PropertyTextIn(KnownDocument(*core_, doc).state->live, set, prop);
}

std::wstring Host::SavedPropertyText(DocId doc, const std::wstring& set, const std::wstring& prop) const {
    return PropertyTextIn(KnownDocument(*core_, doc).state->saved, set, prop);
}

void Host::FireCommand(LONG cmdId) {
    rud::Variant a = rud::Variant::fromLong(cmdId);
    core_->Fire(false, korvane::DISPID_EV_ONCOMMAND, L"OnCommand", {a});
}

void Host::FireCommandHelp(LONG frameWnd, LONG helpCommand, LONG cmdId) {
    rud::Variant a = rud::Variant::fromLong(frameWnd), b = rud::Variant::fromLong(helpCommand),
                 c = rud::Variant::fromLong(cmdId);
    core_->Fire(false, korvane::DISPID_EV_ONCOMMANDHELP, L"OnCommandHelp", {a, b, c});
}

UpdateUI Host::FireCommandUpdateUI(LONG cmdId, const UpdateUI& in) {
    LONG flags = in.flags, bitmap = in.bitmap;
    rud::Bstr text(in.text);
    BSTR raw = text.release();
    VARIANT id, f, t, b;
    VariantInit(&id);
    V_VT(&id) = VT_I4;
    V_I4(&id) = cmdId;
    V_VT(&f) = VT_BYREF | VT_I4;
    V_I4REF(&f) = &flags;
    V_VT(&t) = VT_BYREF | VT_BSTR;
    V_BSTRREF(&t) = &raw;
    V_VT(&b) = VT_BYREF | VT_I4;
    V_I4REF(&b) = &bitmap;
    try {
        core_->Fire(false, korvane::DISPID_EV_ONCOMMANDUPDATEUI, L"OnCommandUpdateUI", {id, f, t, b});
    } catch (...) {
        SysFreeString(raw);
        throw;
    }
    rud::Bstr out = rud::Bstr::attach(raw);  // a sink may have replaced the text
    return UpdateUI{flags, out.str(), bitmap};
}

FiredEvent Host::FireCommandEventWith(DISPID id, const std::vector<VARIANT>& args) {
    static const wchar_t* const kNames[] = {L"?", L"OnCommand", L"OnCommandHelp", L"OnCommandUpdateUI"};
    return core_->Fire(false, id, id >= 1 && id <= 3 ? kNames[id] : kNames[0], args);
}

void Host::FireDocumentEvent(DISPID id, DocId doc) { core_->FireDoc(id, ApplicationEventName(id), doc); }

const std::vector<FiredEvent>& Host::Events() const noexcept { return core_->events; }
void Host::ClearEvents() noexcept { core_->events.clear(); }

size_t Host::SinkCount(bool applicationEvents) const noexcept {
    if (applicationEvents) return core_->app ? core_->app->Events().SinkCount() : 0;
    return CommandSinkCount(0);
}

std::wstring Host::Description() const { return core_->addIns[0]->description; }
LONG Host::NumberSetting() const noexcept { return core_->addIns[0]->numberSetting; }
bool Host::FlagSetting() const noexcept { return core_->addIns[0]->flagSetting; }
bool Host::DescriptionWasSet() const noexcept { return core_->addIns[0]->descriptionSet; }
size_t Host::ButtonCount() const noexcept { return core_->addIns[0]->buttons.size(); }
void Host::SetApplicationFlag(const VARIANT& value) { core_->applicationFlag = rud::Variant(value); }

HWND Host::MainWindow() const noexcept { return core_->windows.Main(); }
HWND Host::Pane() const noexcept { return core_->windows.Pane(); }
std::vector<PageInfo> Host::Pages() const { return core_->windows.Pages(); }
void Host::ResizePane(int width) { core_->windows.ResizePane(width); }
void Host::ResizeMainWindow(int width, int height) { core_->windows.ResizeMain(width, height); }
void Host::CreatePageReturnsZero(bool on) noexcept { core_->createPageReturnsZero = on; }
void Host::AddInEventsUndispatchable(bool on) noexcept { core_->addInEventsUndispatchable = on; }
void Host::AddInEventsGives(const VARIANT& value) {
    if (V_VT(&value) == VT_ERROR && V_ERROR(&value) == DISP_E_PARAMNOTFOUND) core_->addInEventsValue.reset();
    else core_->addInEventsValue = rud::Variant(value);
}

void Host::PumpMessages(DWORD ms) {
    const DWORD start = GetTickCount();
    for (;;) {
        MSG m;
        while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) {
            if (m.message == WM_QUIT) {
                PostQuitMessage(static_cast<int>(m.wParam));  // left for the caller's loop
                return;
            }
            TranslateMessage(&m);
            DispatchMessageW(&m);
        }
        if (GetTickCount() - start >= ms) return;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    }
}

const std::vector<CallEntry>& Host::Calls() const noexcept { return core_->rec.Calls(); }
std::vector<std::wstring> Host::CallTexts() const { return core_->rec.CallTexts(); }
void Host::ClearCalls() noexcept { core_->rec.ClearCalls(); }

void Host::Fail(const std::wstring& key, HRESULT hr, const std::wstring& description, int times) {
    core_->rec.Fail(key, hr, description, times);
}
void Host::ClearFaults() noexcept { core_->rec.ClearFaults(); }

void Host::FailCallAt(size_t at, FaultKind kind, HRESULT hr, const std::wstring& description) {
    core_->rec.FailCallAt(at, Fault{hr, description, 1, kind});
}

void Host::FailNextCalls(int count, FaultKind kind, HRESULT hr, const std::wstring& description) {
    core_->rec.FailNextCalls(count, Fault{hr, description, count, kind});
}

void Host::SetDetailedLog(bool on) noexcept { core_->rec.SetDetailed(on); }
void Host::SetDispatchErrorInfo(bool on) noexcept { core_->dispatchErrorInfo = on; }

void Host::HoldSinksWhileFiring(bool on) noexcept { core_->holdSinksWhileFiring = on; }

void Host::DropEventSinks() noexcept {
    if (core_->app) core_->app->Events().DropSinks();
    for (auto& slot : core_->addIns)
        if (slot->events) slot->events->Events().DropSinks();
}

void Host::WatchCalls(std::function<void(const CallEntry&)> watcher) { core_->rec.Watch(std::move(watcher)); }

std::vector<LedgerEntry> Host::Ledger() const {
    std::vector<LedgerEntry> out;
    for (const auto& e : core_->rec.Ledger()) out.push_back(*e);
    return out;
}
std::vector<LedgerEntry> Host::Outstanding() const { return core_->rec.Outstanding(); }
bool Host::AllReleased() const { return core_->rec.AllReleased(); }

std::wstring Host::OutstandingText() const {
    std::wstring t;
    for (const auto& e : Outstanding()) t += e.Text() + L"\n";
    return t;
}

Recorder& Host::GetRecorder() noexcept { return core_->rec; }

} // namespace kvhost
