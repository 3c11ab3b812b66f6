// Random sessions of RuDerizIRA in the host simulator. The driver (korvane_host's Fuzz) checks
// what every add-in owes its host; this file adds what RuDerizIRA's Modify must have written:
// the typed text, into the property the user saw selected, and nothing else anywhere.
// RUD_FUZZ_STEPS / RUD_FUZZ_SEED / RUD_FUZZ_SEEDS make it a long run (scripts/fuzz.sh).
#include "Fuzz.h"
#include <gtest/gtest.h>
#include <cstdlib>

namespace {

unsigned long Setting(const char* name, unsigned long fallback) {
    const char* v = std::getenv(name);
    return v && *v ? std::strtoul(v, nullptr, 10) : fallback;
}

// Whether a value the host holds after Modify keeps what the user typed: the text itself, or a
// value of the type the property held before (also by reference) that the host shows as exactly
// that text (its own conversion to text, in the user's locale, Booleans as True/False).
bool KeepsTheTypedText(const VARIANT& before, const VARIANT& after, const std::wstring& typed) {
    if (V_VT(&after) == VT_BSTR) return std::wstring(V_BSTR(&after), SysStringLen(V_BSTR(&after))) == typed;
    const VARIANT* held = &before;
    if (V_VT(held) == (VT_BYREF | VT_VARIANT)) held = V_VARIANTREF(held);
    if (V_VT(&after) != (V_VT(held) & ~VT_BYREF)) return false;
    rud::Variant shown;
    if (FAILED(VariantChangeTypeEx(&shown, const_cast<VARIANT*>(&after), LOCALE_USER_DEFAULT, VARIANT_ALPHABOOL, VT_BSTR)))
        return false;
    return std::wstring(V_BSTR(&shown), SysStringLen(V_BSTR(&shown))) == typed;
}

std::wstring ModifyCheck(const kvhost::FuzzStep& s) {
    bool accepted = false;
    const auto& calls = s.host.Recorder().Calls();
    for (size_t i = s.firstCall; i < calls.size(); ++i)
        accepted |= calls[i].member == L"Value" && calls[i].access == kvhost::Access::Put && calls[i].result == S_OK;
    // Every property whose value changed in the step, as (document, set, property).
    struct Change { kvhost::DocId doc; size_t set, prop; std::string after; };
    std::vector<Change> changes;
    for (const auto& b : s.before)
        for (const auto& a : s.after)
            if (a.id == b.id)
                for (size_t set = 0; set < b.values.size() && set < a.values.size(); ++set)
                    for (size_t p = 0; p < b.values[set].size() && p < a.values[set].size(); ++p)
                        if (a.values[set][p] != b.values[set][p]) changes.push_back({a.id, set, p, a.values[set][p]});
    const bool modify = s.action.verb == L"click-button" && !s.action.args.empty() && s.action.args[0] == L"Modify";
    if (!modify || !accepted) {
        if (changes.empty()) return {};
        return L"changed: a property changed without an accepted Modify";
    }
    const size_t dot = s.selected.path.find(L'.');
    if (dot == std::wstring::npos) return L"wrong target: Modify wrote while no property node was selected (" + s.selected.text + L")";
    const size_t set = std::wcstoul(s.selected.path.c_str(), nullptr, 10) - 1;
    const size_t prop = std::wcstoul(s.selected.path.c_str() + dot + 1, nullptr, 10) - 1;
    if (changes.size() > 1) return L"changed: Modify changed more than one property";
    for (const auto& b : s.before) {
        if (b.id != s.active) continue;
        if (set >= b.raw.size() || prop >= b.raw[set].size()) return L"wrong target: the selected node has no property";
        if (changes.empty())
            return KeepsTheTypedText(b.raw[set][prop], b.raw[set][prop], s.valueBox)
                       ? std::wstring()
                       : L"not written: the selected property kept its value";
        const Change& c = changes.front();
        if (c.doc != s.active || c.set != set || c.prop != prop)
            return L"wrong target: Modify wrote another property than the one selected (" + s.selected.text + L")";
        for (const auto& a : s.after)
            if (a.id == c.doc && !KeepsTheTypedText(b.raw[set][prop], a.raw[set][prop], s.valueBox))
                return L"wrong value: " + kvhost::Utf8ToWide(c.after) + L" for the typed \"" + s.valueBox + L"\"";
        return {};
    }
    return L"wrong target: no active document";
}

kvhost::SessionOptions Session() {
    kvhost::SessionOptions o;
    o.dll = RUD_TEST_DLL;
    return o;
}

void RunSeeds(unsigned long firstSeed, unsigned long seeds, unsigned long steps) {
    kvhost::RegisterHostTypeLibrary();
    size_t total = 0;
    for (unsigned long seed = firstSeed; seed < firstSeed + seeds; ++seed) {
        kvhost::FuzzOptions o;
        o.seed = static_cast<uint32_t>(seed);
        o.steps = steps;
        o.samples = RUD_TEST_SAMPLES;
        const kvhost::FuzzResult r = kvhost::RunFuzz(Session(), o, &ModifyCheck);
        total += r.stepsRun;
        EXPECT_TRUE(r.problem.empty()) << "seed " << seed << ": " << kvhost::WideToUtf8(r.problem)
                                       << "\nreproducer:\n" << kvhost::WideToUtf8(kvhost::ScriptText(r.reproducer));
        // A run where hardly anything applied would prove nothing.
        EXPECT_LT(r.stepsNotDone, r.stepsRun * 3 / 4) << "seed " << seed;
        if (seeds > 4) std::printf("seed %lu: %zu steps, %zu not applicable, %zu boxes%s\n", seed, r.stepsRun,
                                   r.stepsNotDone, r.boxes, r.problem.empty() ? "" : ", FAILED");
    }
    std::printf("random sessions: %zu steps over %lu seeds from %lu\n", total, seeds, firstSeed);
}

} // namespace

// Shrunk scripts of failures the random sessions found, kept as they were printed.
TEST(RandomSessions, FoundFailuresStayFixed) {
    kvhost::RegisterHostTypeLibrary();
    const wchar_t* const kReproducers[] = {
        // A property after another of the same name in other letter case: Modify wrote the first.
        LR"(new-with C:\x\a.kvd "{""propertySets"":[{""name"":""S"",""properties"":[{""name"":""Title"",""value"":""one""},{""name"":""TITLE"",""value"":""two""}]}]}"
click-node 1.2
set-text 2 typed
click-button Modify)",
        // The second of two sets of one name: the write went to the first set.
        LR"(new-with C:\x\b.kvd "{""propertySets"":[{""name"":""A"",""properties"":[{""name"":""p"",""value"":1}]},{""name"":""a"",""properties"":[{""name"":""p"",""value"":2}]}]}"
click-node 2.1
set-text 2 typed
click-button Modify)",
        // A number given by reference: Modify wrote the text instead of the number.
        LR"(new-with C:\x\r.kvd "{""propertySets"":[{""name"":""S"",""properties"":[{""name"":""n"",""type"":""byref"",""value"":{""type"":""i4"",""value"":""7""}}]}]}"
click-node 1.1
set-text 2 42
click-button Modify)",
        // A number overwritten with text, then a number typed: Modify converted the second to the
        // type the value had before the first.
        LR"(new-with C:\x\t.kvd "{""propertySets"":[{""name"":""S"",""properties"":[{""name"":""n"",""value"":10595.5}]}]}"
click-node 1.1
set-text 2 x
click-button Modify
set-text 2 42
click-button Modify)",
        // A text that reads as an integer only by rounding or dropping separators and blanks: the
        // number stored lost what was typed.
        LR"(new-with C:\x\n.kvd "{""propertySets"":[{""name"":""S"",""properties"":[{""name"":""n"",""value"":12},{""name"":""m"",""value"":12}]}]}"
click-node 1.1
set-text 2 3.7
click-button Modify
click-node 1.2
set-text 2 " 5"
click-button Modify)"};
    for (const wchar_t* text : kReproducers) {
        const std::wstring problem = kvhost::RunFuzzScript(Session(), kvhost::ParseScript(text), &ModifyCheck);
        EXPECT_TRUE(problem.empty()) << kvhost::WideToUtf8(problem) << "\n" << kvhost::WideToUtf8(text);
    }
}

// Replays a script (a reproducer) with the same checks: RUD_FUZZ_SCRIPT=FILE.
TEST(RandomSessions, ReplayedScriptKeepsEveryInvariant) {
    const char* file = std::getenv("RUD_FUZZ_SCRIPT");
    if (!file || !*file) GTEST_SKIP() << "no RUD_FUZZ_SCRIPT";
    kvhost::RegisterHostTypeLibrary();
    const auto script = kvhost::ParseScript(kvhost::Utf8ToWide(kvhost::ReadFileBytes(kvhost::Utf8ToWide(file))));
    const std::wstring problem = kvhost::RunFuzzScript(Session(), script, &ModifyCheck);
    EXPECT_TRUE(problem.empty()) << kvhost::WideToUtf8(problem);
}

TEST(RandomSessions, FixedSeedsKeepEveryInvariant) {
    RunSeeds(Setting("RUD_FUZZ_SEED", 1), Setting("RUD_FUZZ_SEEDS", 4), Setting("RUD_FUZZ_STEPS", 400));
}
