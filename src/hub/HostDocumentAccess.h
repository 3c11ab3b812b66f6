#pragma once
// HostDocumentAccess: the pane's access to a Korvane document, made of late-bound calls on the
// host's objects by the names and dispatch ids the host declares.
#include "DocumentAccess.h"

namespace rud::hub {

class HostDocumentAccess final : public pane::DocumentAccess {
public:
    std::wstring FullName(IDispatch* document) override;
    Microsoft::WRL::ComPtr<IDispatch> PropertySets(IDispatch* document) override;
    Microsoft::WRL::ComPtr<IEnumVARIANT> Items(IDispatch* collection) override;
    std::wstring SetName(IDispatch* set) override;
    std::wstring PropertyName(IDispatch* property) override;
    Variant PropertyValue(IDispatch* property) override;
    Microsoft::WRL::ComPtr<IDispatch> PropertySet(IDispatch* document, const std::wstring& setName) override;
    Microsoft::WRL::ComPtr<IDispatch> Property(IDispatch* set, const std::wstring& propertyName) override;
    void WriteValue(IDispatch* property, const VARIANT& value) override;
    void Save(IDispatch* set) override;
};

} // namespace rud::hub
