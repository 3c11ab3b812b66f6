#pragma once
// The random driver: seeded random sessions of host actions against an add-in (random documents
// with odd names and every kind of value, opening, renaming, saving, closing, resizing, clicking,
// typing, Modify, open-folder, injected faults, disconnecting and reconnecting). After every step
// the generic invariants are checked, and an add-in's own checks get a look at the step; the first
// failure is shrunk to a short script that korvane-sim can replay.
#include "DocumentModel.h"
#include "Session.h"
#include "UiDriver.h"
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace kvhost {

struct DocumentSnapshot {
    DocId id = 0;
    std::wstring fullName;
    std::vector<std::vector<std::string>> values;  // ValueJson of each property, by set
    std::vector<std::vector<rud::Variant>> raw;    // the values themselves
};

// One step as the add-in's own checks see it.
struct FuzzStep {
    Host& host;
    size_t index;
    const ScriptAction& action;
    DocId active;                             // the active document before the step
    ui::TreeSelection selected;               // of the visible page before the step
    std::wstring valueBox;                    // the visible page's value box before the step
    std::vector<DocumentSnapshot> before, after;
    size_t firstCall;                         // this step's calls: host.Recorder().Calls()[firstCall, ...)
    bool faultArmed;                          // a fail-next was pending when the step began
};

// "" when the step is right, else what is wrong.
using FuzzCheck = std::function<std::wstring(const FuzzStep&)>;

struct FuzzOptions {
    uint32_t seed = 1;
    size_t steps = 200;
    std::wstring samples;        // folder with sample documents (copied, never written)
    std::wstring workFolder;     // where the copies go (default: a folder under %TEMP%)
    size_t shrinkRuns = 150;     // sessions the shrinking may spend
};

struct FuzzResult {
    size_t stepsRun = 0;
    size_t stepsNotDone = 0;   // actions that did not apply (no such node, no page, ...)
    size_t boxes = 0;          // message boxes the add-in showed
    std::vector<std::wstring> notDone;  // why, for each action that did not apply
    std::wstring problem;                  // empty: no failure
    std::vector<ScriptAction> script;      // what was run
    std::vector<ScriptAction> reproducer;  // shrunk; replays the problem
};

// The generated actions for a seed (the same seed, the same actions).
std::vector<ScriptAction> GenerateFuzzScript(uint32_t seed, size_t steps, const std::wstring& sampleCopies);

// Runs a script as the driver does; the first problem found (empty when none) and the number
// of steps run.
std::wstring RunFuzzScript(const SessionOptions& session, const std::vector<ScriptAction>& script,
                           const FuzzCheck& check, size_t* stepsRun = nullptr, FuzzResult* stats = nullptr);

FuzzResult RunFuzz(const SessionOptions& session, const FuzzOptions& options, const FuzzCheck& check = {});

// A script as korvane-sim reads it.
std::wstring ScriptText(const std::vector<ScriptAction>& script);

} // namespace kvhost
