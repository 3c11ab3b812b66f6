#include "DocumentObject.h"
#include "Collection.h"
#include "PropertyObjects.h"

namespace kvhost {

namespace {
constexpr MemberInfo kDocumentMembers[] = {
    {korvane::DISPID_DOC_FULLNAME, L"FullName", kGet},
    {korvane::DISPID_DOC_PROPERTIES, L"Properties", kGet},
    {3, L"Name", kGet},
};
} // namespace

DocumentObject::DocumentObject(std::shared_ptr<Core> core, std::shared_ptr<DocState> state)
    : DispObject(std::move(core), L"Document", state->fullName, DIID_IKorvaneDocument, kDocumentMembers),
      state_(std::move(state)) {}

void DocumentObject::Do(DISPID id, Call& call) {
    switch (id) {
    case korvane::DISPID_DOC_FULLNAME:
        call.Expect(0, 0);
        if (!state_->nextNames.empty()) {
            state_->fullName = state_->nextNames.front();
            state_->nextNames.pop_front();
            entry_->instance = state_->fullName;
        }
        call.Return(rud::Variant::fromString(state_->fullName));
        break;
    case korvane::DISPID_DOC_PROPERTIES:
        call.Expect(0, 1);
        state_->RequireOpen();
        if (call.Missing(0)) {
            ReturnNew(call, new PropertySetsObject(core_, state_));
        } else {
            size_t i = ItemIndex(call, state_->live.sets, [](const SetData& s) { return s.name; }, L"Property set");
            ReturnNew(call, new PropertySetObject(core_, state_, i));
        }
        break;
    case 3: {
        call.Expect(0, 0);
        const std::wstring& f = state_->fullName;
        const size_t slash = f.find_last_of(L"\\/");
        call.Return(rud::Variant::fromString(slash == std::wstring::npos ? f : f.substr(slash + 1)));
        break;
    }
    }
}

} // namespace kvhost
