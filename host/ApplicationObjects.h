#pragma once
// The application object (the source of the application events) and the environment object
// handed to OnConnectToEnvironment.
#include "EventSource.h"
#include "KorvaneFramework.h"

namespace kvhost {

class Application : public EventSourceObject {
public:
    explicit Application(std::shared_ptr<Core> core);

protected:
    void Do(DISPID id, Call& call) override;
};

// A plain object handed to OnConnectToEnvironment.
class EnvironmentObject : public DispObject {
public:
    explicit EnvironmentObject(std::shared_ptr<Core> core);

protected:
    void Do(DISPID id, Call& call) override;
};

} // namespace kvhost
