// The Host's documents: opening, making, activating, saving and closing them with the events a
// host fires around each, and what a test reads of them.
#include "Core.h"

namespace kvhost {

namespace {

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

// The text of a property's value in one state of a document's content.
std::wstring PropertyTextIn(const DocumentContent& content, const std::wstring& set, const std::wstring& prop) {
    const PropertyData* p = FindProperty(content, set, prop);
    if (!p) throw HostError(E_INVALIDARG, L"no property " + set + L"|" + prop);
    return ValueText(p->value);
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
    const DocId id = core_->AddDocument(state);
    core_->FireDoc(3, L"AfterDocumentOpen", id);
    core_->FireDoc(1, L"AfterActiveDocumentChange", id);
    return id;
}

DocId Host::NewDocument(const std::wstring& fullName) {
    auto state = std::make_shared<DocState>();
    state->fullName = fullName.empty() ? core_->NextUntitledName() : fullName;
    if (fullName.find_first_of(L"\\/") != std::wstring::npos) state->path = fullName;
    state->live = NewDocumentTemplate();
    state->saved = state->live;
    const DocId id = core_->AddDocument(state);
    core_->FireDoc(7, L"AfterNewDocumentOpen", id);
    core_->FireDoc(1, L"AfterActiveDocumentChange", id);
    return id;
}

DocId Host::NewDocumentWith(const std::wstring& fullName, const std::string& json) {
    auto state = std::make_shared<DocState>();
    state->fullName = fullName;
    state->live = ParseDocument(json);
    state->saved = state->live;
    const DocId id = core_->AddDocument(state);
    core_->FireDoc(7, L"AfterNewDocumentOpen", id);
    core_->FireDoc(1, L"AfterActiveDocumentChange", id);
    return id;
}

void Host::ActivateDocument(DocId doc) {
    core_->KnownDocument(doc);
    core_->Activate(doc);
    core_->FireDoc(1, L"AfterActiveDocumentChange", doc);
}

void Host::SaveDocument(DocId doc) {
    std::shared_ptr<DocState> state = core_->KnownDocument(doc).state;
    core_->FireDoc(16, L"BeforeDocumentSave", doc);
    state->SaveAll();
    core_->FireDoc(4, L"AfterDocumentSave", doc);
}

void Host::CloseDocument(DocId doc) {
    core_->KnownDocument(doc);
    core_->FireDoc(11, L"BeforeDocumentClose", doc);
    // A sink may have closed it meanwhile: then nothing is left to do.
    if (core_->RemoveDocument(doc) && core_->ActiveDocument())
        core_->FireDoc(1, L"AfterActiveDocumentChange", core_->ActiveDocument());
}

void Host::Quit() {
    core_->Fire(true, 13, L"BeforeQuit", {});
    while (const DocId last = core_->LastDocument()) CloseDocument(last);
}

std::vector<DocId> Host::Documents() const { return core_->DocumentIds(); }
DocId Host::ActiveDocument() const noexcept { return core_->ActiveDocument(); }
DocId Host::FindDocument(const std::wstring& fullName) const { return core_->FindDocument(fullName); }

IDispatch* Host::Document(DocId doc) const {
    DocumentObject* d = core_->DocObject(doc);
    return d ? d->Disp() : nullptr;
}

std::wstring Host::FullName(DocId doc) const { return core_->KnownDocument(doc).state->fullName; }

void Host::SetFullName(DocId doc, const std::wstring& fullName) {
    Core::OpenDoc& d = core_->KnownDocument(doc);
    d.state->fullName = fullName;
    d.state->nextNames.clear();
    d.object->get()->Ledger().instance = fullName;
}

void Host::QueueFullNames(DocId doc, const std::vector<std::wstring>& names) {
    core_->KnownDocument(doc).state->nextNames.assign(names.begin(), names.end());
}

const DocumentContent& Host::Content(DocId doc) const { return core_->KnownDocument(doc).state->live; }

std::wstring Host::PropertyText(DocId doc, const std::wstring& set, const std::wstring& prop) const {
    return PropertyTextIn(core_->KnownDocument(doc).state->live, set, prop);
}

std::wstring Host::SavedPropertyText(DocId doc, const std::wstring& set, const std::wstring& prop) const {
    return PropertyTextIn(core_->KnownDocument(doc).state->saved, set, prop);
}

} // namespace kvhost
