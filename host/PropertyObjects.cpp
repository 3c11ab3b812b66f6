#include "PropertyObjects.h"
#include "Collection.h"

namespace kvhost {

namespace {
constexpr MemberInfo kSetsMembers[] = {
    {DISPID_VALUE, L"Item", kGet},
    {korvane::DISPID_PROPSETS_COUNT, L"Count", kGet},
    {DISPID_NEWENUM, L"_NewEnum", kGet},
};
constexpr MemberInfo kSetMembers[] = {
    {DISPID_VALUE, L"Item", kGet},
    {korvane::DISPID_PROPSET_NAME, L"Name", kGet},
    {korvane::DISPID_PROPSET_SAVE, L"Save", kCall},
    {korvane::DISPID_PROPSET_COUNT, L"Count", kGet},
    {DISPID_NEWENUM, L"_NewEnum", kGet},
};
constexpr MemberInfo kPropertyMembers[] = {
    {korvane::DISPID_PROP_NAME, L"Name", kGet},
    {korvane::DISPID_PROP_VALUE, L"Value", kGet | kPut},
};
} // namespace

PropertySetsObject::PropertySetsObject(std::shared_ptr<Core> core, std::shared_ptr<DocState> state)
    : DispObject(std::move(core), L"PropertySets", state->fullName, DIID_IKorvanePropertySets, kSetsMembers),
      state_(std::move(state)) {}

void PropertySetsObject::Do(DISPID id, Call& call) {
    state_->RequireOpen();
    switch (id) {
    case DISPID_VALUE: {
        size_t i = ItemIndex(call, state_->live.sets, [](const SetData& s) { return s.name; }, L"Property set");
        ReturnNew(call, new PropertySetObject(core_, state_, i));
        break;
    }
    case korvane::DISPID_PROPSETS_COUNT:
        call.Expect(0, 0);
        call.Return(rud::Variant::fromLong(static_cast<LONG>(state_->live.sets.size())));
        break;
    case DISPID_NEWENUM: {
        call.Expect(0, 0);
        std::shared_ptr<Core> core = core_;
        std::shared_ptr<DocState> state = state_;
        ReturnEnumerator(call, core_, L"PropertySets", state_->live.sets.size(),
                         [core, state](size_t i) { return new PropertySetObject(core, state, i); });
        break;
    }
    }
}

PropertySetObject::PropertySetObject(std::shared_ptr<Core> core, std::shared_ptr<DocState> state, size_t set)
    : DispObject(std::move(core), L"PropertySet", state->live.sets.at(set).name, DIID_IKorvanePropertySet, kSetMembers),
      state_(std::move(state)), set_(set) {}

void PropertySetObject::Do(DISPID id, Call& call) {
    state_->RequireOpen();
    SetData& set = state_->live.sets.at(set_);
    switch (id) {
    case DISPID_VALUE: {
        size_t i = ItemIndex(call, set.properties, [](const PropertyData& p) { return p.name; }, L"Property");
        ReturnNew(call, new PropertyObject(core_, state_, set_, i));
        break;
    }
    case korvane::DISPID_PROPSET_NAME:
        call.Expect(0, 0);
        call.Return(rud::Variant::fromString(set.name));
        break;
    case korvane::DISPID_PROPSET_SAVE:
        call.Expect(0, 0);
        state_->SaveSet(set_);
        break;
    case korvane::DISPID_PROPSET_COUNT:
        call.Expect(0, 0);
        call.Return(rud::Variant::fromLong(static_cast<LONG>(set.properties.size())));
        break;
    case DISPID_NEWENUM: {
        call.Expect(0, 0);
        std::shared_ptr<Core> core = core_;
        std::shared_ptr<DocState> state = state_;
        const size_t setIndex = set_;
        ReturnEnumerator(call, core_, set.name, set.properties.size(),
                         [core, state, setIndex](size_t i) { return new PropertyObject(core, state, setIndex, i); });
        break;
    }
    }
}

PropertyObject::PropertyObject(std::shared_ptr<Core> core, std::shared_ptr<DocState> state, size_t set, size_t prop)
    : DispObject(std::move(core), L"Property",
                 state->live.sets.at(set).name + L"|" + state->live.sets.at(set).properties.at(prop).name,
                 DIID_IKorvaneProperty, kPropertyMembers),
      state_(std::move(state)), set_(set), prop_(prop) {}

void PropertyObject::Do(DISPID id, Call& call) {
    state_->RequireOpen();
    PropertyData& p = state_->live.sets.at(set_).properties.at(prop_);
    switch (id) {
    case korvane::DISPID_PROP_NAME:
        call.Expect(0, 0);
        call.Return(rud::Variant::fromString(p.name));
        break;
    case korvane::DISPID_PROP_VALUE:
        if (call.access() == Access::Put) {
            rud::Variant v;
            if (FAILED(VariantCopyInd(&v, const_cast<VARIANT*>(&call.PutValue())))) throw InvokeFailure{DISP_E_TYPEMISMATCH};
            if (state_->compound) v = state_->compound->Accept(set_, prop_, v);
            p.value = std::move(v);
        } else {
            call.Expect(0, 0);
            call.Return(p.value);
        }
        break;
    }
}

} // namespace kvhost
