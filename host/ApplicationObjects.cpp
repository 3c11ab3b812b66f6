#include "ApplicationObjects.h"
#include "Core.h"

namespace kvhost {

namespace {
constexpr MemberInfo kApplicationMembers[] = {
    {korvane::DISPID_APP_APPLICATIONFLAG, L"ApplicationFlag", kGet},
    {60, L"ActiveDocument", kGet},
    {61, L"Name", kGet},
};
constexpr MemberInfo kEnvironmentMembers[] = {
    {0, L"Name", kGet},
};
} // namespace

Application::Application(std::shared_ptr<Core> core)
    : EventSourceObject(std::move(core), L"Application", DIID_IKorvaneApplication, kApplicationMembers,
                        DIID_IKorvaneApplicationEvents) {}

void Application::Do(DISPID id, Call& call) {
    call.Expect(0, 0);
    switch (id) {
    case korvane::DISPID_APP_APPLICATIONFLAG: call.Return(core_->Behaviour().applicationFlag); break;
    case 60: {
        DocumentObject* d = core_->DocObject(core_->ActiveDocument());
        call.ReturnObject(d ? d->Disp() : nullptr);
        break;
    }
    case 61: call.Return(rud::Variant::fromString(L"Korvane")); break;
    }
}

EnvironmentObject::EnvironmentObject(std::shared_ptr<Core> core)
    : DispObject(std::move(core), L"Environment", L"", IID_NULL, kEnvironmentMembers) {}

void EnvironmentObject::Do(DISPID, Call& call) {
    call.Expect(0, 0);
    call.Return(rud::Variant::fromString(L"Korvane Environment"));
}

} // namespace kvhost
