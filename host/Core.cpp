#include "Core.h"
#include <algorithm>

namespace kvhost {

void Core::Start() {
    auto self = shared_from_this();
    app_.reset(new Application(self));
    AddSlot(L"");
    environment_.reset(new EnvironmentObject(self));
}

void Core::Shutdown() {
    for (auto it = addIns_.rbegin(); it != addIns_.rend(); ++it) (*it)->instance.Reset();
    for (auto& d : docs_) d.state->open = false;
    docs_.clear();
    for (auto it = addIns_.rbegin(); it != addIns_.rend(); ++it) (*it)->buttons.clear();
    environment_.reset();
    for (auto it = addIns_.rbegin(); it != addIns_.rend(); ++it) {
        (*it)->object.reset();
        (*it)->events.reset();
    }
    app_.reset();
    windows_.Destroy();
}

// ---- the record

std::optional<Fault> Core::LogCall(CallEntry call) {
    const std::wstring object = call.object, member = call.member;
    const Access access = call.access;
    recorder_.Log(std::move(call));
    std::optional<Fault> fault = recorder_.TakeFault(object, member, access);
    if (fault) recorder_.SetLastResult(fault->hr);
    return fault;
}

std::shared_ptr<LedgerEntry> Core::Register(std::wstring kind, std::wstring instance) {
    return recorder_.Register(std::move(kind), std::move(instance));
}

void Core::DropEventSinks() noexcept {
    if (app_) app_->Events().DropSinks();
    for (auto& slot : addIns_)
        if (slot->events) slot->events->Events().DropSinks();
}

// ---- add-ins

AddInSlot& Core::AddSlot(const std::wstring& name) {
    auto slot = std::make_unique<AddInSlot>();
    slot->index = addIns_.size();
    slot->events.reset(new AddInEventsSource(shared_from_this()));
    slot->object.reset(new AddInObject(shared_from_this(), *slot, name));
    addIns_.push_back(std::move(slot));
    return *addIns_.back();
}

AddInSlot& Core::Slot(size_t index) const {
    if (index >= addIns_.size()) throw HostError(E_INVALIDARG, L"there is no add-in " + std::to_wstring(index));
    return *addIns_[index];
}

AddInSlot* Core::FindSlot(size_t index) const noexcept {
    return index < addIns_.size() ? addIns_[index].get() : nullptr;
}

// ---- documents

void Core::ShowActive() {
    windows_.ShowPagesOf(activeDoc_);
    const OpenDoc* d = Find(activeDoc_);
    windows_.SetDocumentText(d ? d->state->fullName : std::wstring());
}

int Core::AddDocument(std::shared_ptr<DocState> state) {
    state->id = nextDocId_++;
    OpenDoc d{state, std::make_unique<Held<DocumentObject>>(new DocumentObject(shared_from_this(), state))};
    docs_.push_back(std::move(d));
    activeDoc_ = state->id;
    ShowActive();
    return state->id;
}

bool Core::RemoveDocument(int id) {
    auto it = std::find_if(docs_.begin(), docs_.end(), [&](const OpenDoc& d) { return d.state->id == id; });
    if (it == docs_.end()) return false;
    it->state->open = false;
    docs_.erase(it);
    if (activeDoc_ != id) return false;
    activeDoc_ = docs_.empty() ? 0 : docs_.back().state->id;
    ShowActive();
    return true;
}

void Core::Activate(int id) {
    activeDoc_ = id;
    ShowActive();
}

int Core::LastDocument() const noexcept { return docs_.empty() ? 0 : docs_.back().state->id; }

std::vector<int> Core::DocumentIds() const {
    std::vector<int> out;
    for (const auto& d : docs_) out.push_back(d.state->id);
    return out;
}

int Core::FindDocument(const std::wstring& fullName) const {
    for (const auto& d : docs_)
        if (SameName(d.state->fullName, fullName)) return d.state->id;
    return 0;
}

Core::OpenDoc* Core::Find(int id) {
    for (auto& d : docs_)
        if (d.state->id == id) return &d;
    return nullptr;
}

const Core::OpenDoc* Core::Find(int id) const {
    for (const auto& d : docs_)
        if (d.state->id == id) return &d;
    return nullptr;
}

Core::OpenDoc& Core::KnownDocument(int id) {
    OpenDoc* d = Find(id);
    if (!d) throw HostError(E_INVALIDARG, L"no such document");
    return *d;
}

int Core::DocIdOf(IDispatch* p) const {
    if (!p) return 0;
    ComPtr<IUnknown> unk;
    if (FAILED(p->QueryInterface(IID_PPV_ARGS(&unk)))) return 0;
    for (const auto& d : docs_) {
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

std::wstring Core::NextUntitledName() { return L"Document" + std::to_wstring(++untitled_); }

// ---- events

FiredEvent Core::Fire(bool application, DISPID id, const wchar_t* name, std::vector<VARIANT> args) {
    FiredEvent e{application ? L"Application" : L"AddInEvents", name, id, {}, {}};
    const Held<AddInEventsSource>& commands = addIns_.front()->events;
    ConnectionPoint* point = application ? (app_ ? &app_->Events() : nullptr)
                                         : (commands ? &commands->Events() : nullptr);
    e.firstCall = recorder_.Calls().size();
    if (point) {
        std::reverse(args.begin(), args.end());
        DISPPARAMS dp{args.empty() ? nullptr : args.data(), nullptr, static_cast<UINT>(args.size()), 0};
        for (auto& r : point->Fire(id, dp)) {
            e.results.push_back(r.hr);
            e.descriptions.push_back(r.description);
        }
    }
    e.endCall = recorder_.Calls().size();
    events_.push_back(e);
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

} // namespace kvhost
