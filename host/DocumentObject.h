#pragma once
// The document object an add-in reaches: its names, and its property sets (Properties).
#include "ComBase.h"
#include "DocState.h"
#include "KorvaneFramework.h"

namespace kvhost {

class DocumentObject : public DispObject {
public:
    DocumentObject(std::shared_ptr<Core> core, std::shared_ptr<DocState> state);
    const std::shared_ptr<DocState>& State() const noexcept { return state_; }

protected:
    void Do(DISPID id, Call& call) override;
    std::wstring Instance() const override { return state_->fullName; }

private:
    std::shared_ptr<DocState> state_;
};

} // namespace kvhost
