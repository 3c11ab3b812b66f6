#pragma once
// A document's property sets as an add-in reaches them: the collection of sets, one set (a
// collection of properties, saved on its own) and one property (its name and value).
#include "ComBase.h"
#include "DocState.h"
#include "KorvaneFramework.h"

namespace kvhost {

class PropertySetsObject : public DispObject {
public:
    PropertySetsObject(std::shared_ptr<Core> core, std::shared_ptr<DocState> state);

protected:
    void Do(DISPID id, Call& call) override;
    std::wstring Instance() const override { return state_->fullName; }

private:
    std::shared_ptr<DocState> state_;
};

class PropertySetObject : public DispObject {
public:
    PropertySetObject(std::shared_ptr<Core> core, std::shared_ptr<DocState> state, size_t set);

protected:
    void Do(DISPID id, Call& call) override;

private:
    std::shared_ptr<DocState> state_;
    size_t set_;
};

class PropertyObject : public DispObject {
public:
    PropertyObject(std::shared_ptr<Core> core, std::shared_ptr<DocState> state, size_t set,
                   size_t prop);

protected:
    void Do(DISPID id, Call& call) override;

private:
    std::shared_ptr<DocState> state_;
    size_t set_;
    size_t prop_;
};

} // namespace kvhost
