#pragma once
// One unattended session of an add-in in a fresh host: load, connect, play a script, disconnect,
// unload, and check what every add-in owes its host afterwards. The fault matrix and the random
// driver are made of such sessions.
#include "Host.h"
#include "Script.h"
#include "Watchers.h"
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace kvhost {

struct SessionOptions {
    std::wstring dll;                 // the add-in's DLL, or
    std::wstring progId;              // its ProgID
    std::optional<CLSID> clsid;       // with dll: the class (default: found in its type library)
    Host::Options host = [] {
        Host::Options o;
        o.showWindow = false;
        return o;
    }();
    bool detailedLog = true;          // QueryInterface, GetIDsOfNames and Next logged too
    bool dispatchErrorInfo = true;    // host objects vouch for IErrorInfo on IDispatch
};

// What happened during one step: the connection, a script action or the disconnection.
struct StepRecord {
    std::wstring text;        // "connect", the script line, "disconnect"
    size_t firstCall = 0;     // its calls are calls[firstCall, endCall)
    size_t endCall = 0;
    size_t firstEvent = 0;    // its events are events[firstEvent, endEvent)
    size_t endEvent = 0;
    HRESULT result = S_OK;    // OnConnection's / OnDisconnection's HRESULT
    std::wstring error;       // the action could not be done (no such control, ...)
};

struct SessionResult {
    std::vector<CallEntry> calls;
    std::vector<FiredEvent> events;
    std::vector<StepRecord> steps;  // connect, each action, disconnect
    std::vector<SeenBox> boxes;
    std::vector<StartedProcess> started;
    // After disconnection and release of the add-in:
    std::wstring outstanding;       // host objects the add-in still holds (empty: none)
    HRESULT canUnloadNow = S_FALSE;
    size_t sinksLeft = 0;           // event sinks the host still held when it asked
    HRESULT canUnloadAfterDrop = S_FALSE;  // asked again once the host dropped those sinks
    std::vector<std::wstring> windowsLeft;  // classes of windows the session left behind
    bool disconnected = false;      // the session ended connected and OnDisconnection ran

    // The step a call or box belongs to.
    size_t StepOfCall(size_t call) const noexcept;
    // Generic failures: the add-in left references, windows or its DLL locked behind.
    std::wstring Problems() const;
};

// Thrown by a step hook to end the script there (the session still disconnects and checks).
struct StopSession {};

// Called after each step (not after connect and disconnect) with the host still running.
using StepHook = std::function<void(Host& host, size_t step, const ScriptAction& action)>;
// Called before connecting, to arm faults.
using ArmHook = std::function<void(Host& host)>;

SessionResult RunSession(const SessionOptions& options, const std::vector<ScriptAction>& script,
                         const ArmHook& arm = {}, const StepHook& afterStep = {},
                         const StepHook& beforeStep = {});

// Loads the session's add-in into a host (by path or ProgID). HostError when it cannot.
void LoadSessionAddIn(Host& host, const SessionOptions& options);

std::wstring HResultText(HRESULT hr);

} // namespace kvhost
