#include "Fuzz.h"
#include <algorithm>
#include <random>

namespace kvhost {

namespace {

// ---- random documents

using Rng = std::mt19937;

size_t Pick(Rng& rng, size_t n) { return std::uniform_int_distribution<size_t>(0, n - 1)(rng); }
bool Chance(Rng& rng, int percent) { return static_cast<int>(Pick(rng, 100)) < percent; }

const std::vector<std::wstring>& NamePool() {
    static const std::vector<std::wstring> pool = {
        L"Title", L"TITLE", L"title", L"Author", L"Comments", L"a=b", L"=", L"x|y", L"|", L"||",
        L"line\r\nbreak", L"", L" ", L"Überprüfung", L"Müller", L"日本語", L"Ελληνικά", L"A", L"a",
        L"B", L"SummaryInformation", L"Custom", L"tab\there", L"quote\"d", std::wstring(1000, L'N'),
        L"x=1|y=2", L"[set]"};
    return pool;
}

const std::vector<std::wstring>& TextPool() {
    static const std::vector<std::wstring> pool = {
        L"", L" ", L"x", L" padded ", L"a=b", L"p|q", L"42", L"-7", L"3.5", L"1e400", L"True", L"false",
        L"2024-05-31", L"31/05/2024 17:30", L"Müller", L"日本", L"tab\tin", std::wstring(300, L'v'),
        L"12345678901234567890", L"0x10", L"=x="};
    return pool;
}

std::string Quote(const std::wstring& s) {
    std::string out = "\"";
    for (wchar_t c : s) {
        if (c == L'"') out += "\\\"";
        else if (c == L'\\') out += "\\\\";
        else if (c == L'\r') out += "\\r";
        else if (c == L'\n') out += "\\n";
        else if (c == L'\t') out += "\\t";
        else if (c == 0) out += "\\u0000";
        else out += WideToUtf8(std::wstring(1, c));
    }
    return out + "\"";
}

std::string RandomValue(Rng& rng, bool inArray = false) {
    switch (Pick(rng, inArray ? 16 : 19)) {
    case 0: return Quote(TextPool()[Pick(rng, TextPool().size())]);
    case 1: return std::to_string(static_cast<int>(Pick(rng, 2000000)) - 1000000);
    case 2: return std::to_string(Pick(rng, 100000) / 7.0);
    case 3: return Chance(rng, 50) ? "true" : "false";
    case 4: return "null";
    case 5: return R"({"type":"null"})";
    case 6: return R"({"type":"date","value":"2024-05-31T17:30:00"})";
    case 7: return R"({"type":"i8","value":"-9007199254740993"})";
    case 8: return R"({"type":"ui8","value":"18446744073709551615"})";
    case 9: return R"({"type":"decimal","value":"7922816251426.4337593543950335"})";
    case 10: return R"({"type":"cy","value":"-12345.6789"})";
    case 11: return R"({"type":"error","value":-2147352572})";
    case 12: return R"({"type":"i1","value":"-128"})";
    case 13: return R"({"type":"r4","value":"1.5"})";
    case 14: return "\"embedded\\u0000nul\"";
    case 15: return R"({"type":"ui2","value":"65535"})";
    case 16: return std::string(R"({"type":"array","value":[)") + RandomValue(rng, true) + "," + RandomValue(rng, true) + "]}";
    case 17: return R"({"type":"byref","value":{"type":"i4","value":"7"}})";
    default: return std::string(R"({"type":"byref","value":)") + (Chance(rng, 50) ? R"({"type":"bstr","value":"by ref"}})" : R"({"type":"date","value":"2001-02-03"}})");
    }
}

std::string PropertyJson(Rng& rng) {
    const std::string v = RandomValue(rng);
    std::string p = "{\"name\":" + Quote(NamePool()[Pick(rng, NamePool().size())]);
    if (!v.empty() && v[0] == '{') return p + "," + v.substr(1);
    return p + ",\"value\":" + v + "}";
}

std::string RandomDocument(Rng& rng) {
    const size_t sets = Chance(rng, 70) ? Pick(rng, 6) : Pick(rng, 51);
    std::string j = "{\"propertySets\":[";
    for (size_t s = 0; s < sets; ++s) {
        j += (s ? "," : "") + std::string("{\"name\":") + Quote(NamePool()[Pick(rng, NamePool().size())]) + ",\"properties\":[";
        const size_t props = Pick(rng, sets > 10 ? 3 : 7);
        for (size_t p = 0; p < props; ++p) j += (p ? "," : "") + PropertyJson(rng);
        j += "]}";
    }
    return j + "]}";
}

std::wstring DocumentName(Rng& rng, int n) {
    static const wchar_t* const kNames[] = {L"C:\\fuzz\\doc", L"C:\\fuzz\\Doc", L"C:\\Fuzz Folder\\Überprüfung ",
                                            L"C:\\fuzz\\no dot ", L"", L"D:\\x=y|z\\doc"};
    const std::wstring base = kNames[Pick(rng, std::size(kNames))];
    if (base.empty()) return Chance(rng, 50) ? L"" : L"Untitled";
    return base + std::to_wstring(n % 7) + (Chance(rng, 80) ? L".kvd" : L"");
}

ScriptAction Action(std::wstring verb, std::vector<std::wstring> args = {}) {
    return ScriptAction{0, std::move(verb), std::move(args)};
}

// Sample documents copied where the driver may save them.
std::vector<std::wstring> CopySamples(const std::wstring& from, const std::wstring& to) {
    std::vector<std::wstring> out;
    if (from.empty()) return out;
    CreateDirectoryW(to.c_str(), nullptr);
    const wchar_t* const kSamples[] = {L"Drawing A-1001.json", L"Überprüfung Müller.json",
                                       L"Project Files\\Quarterly Report Q3.json"};
    for (const wchar_t* s : kSamples) {
        std::wstring name = s;
        std::replace(name.begin(), name.end(), L'\\', L'_');
        const std::wstring target = to + L"\\" + name;
        if (CopyFileW((from + L"\\" + s).c_str(), target.c_str(), FALSE)) {
            SetFileAttributesW(target.c_str(), FILE_ATTRIBUTE_NORMAL);
            out.push_back(target);
        }
    }
    return out;
}

std::wstring DefaultWorkFolder() {
    wchar_t tmp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, tmp);
    return std::wstring(tmp) + L"kvfuzz-" + std::to_wstring(GetCurrentProcessId());
}

std::vector<DocumentSnapshot> Snapshot(const Host& host) {
    std::vector<DocumentSnapshot> out;
    for (DocId d : host.Documents()) {
        DocumentSnapshot s{d, host.FullName(d), {}, {}};
        for (const auto& set : host.Content(d).sets) {
            s.values.emplace_back();
            s.raw.emplace_back();
            for (const auto& p : set.properties) {
                s.raw.back().push_back(p.value);
                try {
                    s.values.back().push_back(ValueJson(p.value));
                } catch (const HostError&) {
                    s.values.back().push_back("?");
                }
            }
        }
        out.push_back(std::move(s));
    }
    return out;
}

HWND VisiblePageOf(const Host& host) {
    for (const auto& p : host.Pages())
        if (GetWindowLongW(p.hwnd, GWL_STYLE) & WS_VISIBLE) return p.hwnd;
    return nullptr;
}

std::wstring ValueBoxText(HWND page) {
    auto edits = ui::ByClass(page, L"Edit");
    return edits.size() >= 2 ? ui::TextOf(edits[1]) : std::wstring();
}

// The kind of a problem ("what:" before the details): shrinking keeps a candidate only when it
// fails the same way.
std::wstring Kind(const std::wstring& problem) { return problem.substr(0, problem.find(L':')); }

} // namespace

std::vector<ScriptAction> GenerateFuzzScript(uint32_t seed, size_t steps, const std::wstring& sampleCopies) {
    Rng rng(seed);
    std::vector<std::wstring> samples;
    for (const wchar_t* s : {L"Drawing A-1001.json", L"Überprüfung Müller.json", L"Project Files_Quarterly Report Q3.json"})
        if (!sampleCopies.empty()) samples.push_back(sampleCopies + L"\\" + s);
    std::vector<ScriptAction> script;
    int docs = 0;  // documents the script believes open (a guess: faults and closes vary it)
    int made = 0;
    for (size_t i = 0; i < steps; ++i) {
        const size_t roll = Pick(rng, 100);
        const std::wstring anyDoc = std::to_wstring(1 + Pick(rng, static_cast<size_t>(std::max(docs, 1))));
        if (roll < 12 || docs == 0) {
            if (!samples.empty() && Chance(rng, 25)) script.push_back(Action(L"open", {samples[Pick(rng, samples.size())]}));
            else if (Chance(rng, 15)) script.push_back(Action(L"new"));
            else script.push_back(Action(L"new-with", {DocumentName(rng, made), Utf8ToWide(RandomDocument(rng))}));
            ++docs;
            ++made;
        } else if (roll < 16) {
            script.push_back(Action(L"activate", {anyDoc}));
        } else if (roll < 19) {
            script.push_back(Action(L"rename", {anyDoc, DocumentName(rng, made++)}));
        } else if (roll < 22) {
            script.push_back(Action(L"save", {anyDoc}));
        } else if (roll < 26) {
            script.push_back(Action(L"close", {anyDoc}));
            --docs;
        } else if (roll < 30) {
            static const int kSizes[] = {0, 1, 40, 200, 320, 800, 3000};
            if (Chance(rng, 50)) script.push_back(Action(L"resize-pane", {std::to_wstring(kSizes[Pick(rng, 7)])}));
            else script.push_back(Action(L"resize-window", {std::to_wstring(kSizes[Pick(rng, 7)]), std::to_wstring(kSizes[Pick(rng, 7)])}));
        } else if (roll < 50) {
            const size_t child = Pick(rng, 5);
            script.push_back(Action(L"click-node", {std::to_wstring(1 + Pick(rng, 4)) + (child ? L"." + std::to_wstring(child) : L"")}));
            if (Chance(rng, 40)) {  // often a whole edit: pick, type, Modify
                script.push_back(Action(L"set-text", {L"2", TextPool()[Pick(rng, TextPool().size())]}));
                script.push_back(Action(L"click-button", {L"Modify"}));
                i += 2;
            }
        } else if (roll < 56) {
            static const wchar_t* const kKeys[] = {L"down", L"up", L"right", L"left", L"home", L"end", L"space"};
            script.push_back(Action(L"key", {kKeys[Pick(rng, 7)]}));
        } else if (roll < 70) {
            script.push_back(Action(L"set-text", {L"2", TextPool()[Pick(rng, TextPool().size())]}));
        } else if (roll < 86) {
            script.push_back(Action(L"click-button", {L"Modify"}));
        } else if (roll < 89) {
            script.push_back(Action(L"click-button", {L""}));  // the open-folder button has no caption
        } else if (roll < 94) {
            script.push_back(Action(L"fail-next", {std::to_wstring(1 + Pick(rng, 3)), Chance(rng, 50) ? L"exception" : L"errorinfo"}));
        } else if (roll < 96) {
            script.push_back(Action(L"disconnect"));
            script.push_back(Action(L"connect"));
            ++i;
        } else if (roll < 98) {
            script.push_back(Action(L"command", {std::to_wstring(Pick(rng, 10))}));
        } else {
            script.push_back(Action(L"wait", {L"0"}));
        }
        if (docs < 0) docs = 0;
    }
    for (size_t i = 0; i < script.size(); ++i) script[i].line = static_cast<int>(i + 1);
    return script;
}

std::wstring ScriptText(const std::vector<ScriptAction>& script) {
    std::wstring t;
    for (const auto& a : script) t += ActionText(a) + L"\n";
    return t;
}

std::wstring RunFuzzScript(const SessionOptions& session, const std::vector<ScriptAction>& script,
                           const FuzzCheck& check, size_t* stepsRun, FuzzResult* stats) {
    std::wstring problem;
    size_t ran = 0;
    DocId active = 0;
    ui::TreeSelection selected;
    std::wstring valueBox;
    std::vector<DocumentSnapshot> before;
    size_t firstCall = 0;
    bool faultArmed = false;
    auto beforeStep = [&](Host& host, size_t, const ScriptAction&) {
        active = host.ActiveDocument();
        HWND page = VisiblePageOf(host);
        selected = page ? ui::SelectedTreeNode(page) : ui::TreeSelection{};
        valueBox = page ? ValueBoxText(page) : std::wstring();
        before = Snapshot(host);
        firstCall = host.Recorder().Calls().size();
        faultArmed = host.Recorder().NextCallsArmed();
    };
    auto afterStep = [&](Host& host, size_t i, const ScriptAction& a) {
        ran = i + 1;
        std::wstring p;
        if (a.verb == L"disconnect" && !host.Connected()) {
            if (!host.Recorder().AllReleased())
                p += L"references after disconnection: " + host.Recorder().OutstandingText();
            for (const auto& page : host.Pages())
                if (GetWindow(page.hwnd, GW_CHILD)) p += L"window left: a page still holds a window of the add-in; ";
        }
        if (p.empty() && check) {
            FuzzStep step{host, i, a, active, selected, valueBox, before, Snapshot(host), firstCall, faultArmed};
            p = check(step);
        }
        if (!p.empty()) {
            problem = p + L" (at step " + std::to_wstring(i + 1) + L": " + ActionText(a) + L")";
            throw StopSession{};
        }
    };
    SessionResult r = RunSession(session, script, {}, afterStep, beforeStep);
    if (problem.empty()) {
        const std::wstring p = r.Problems();
        if (!p.empty()) problem = L"end of session: " + p;
    }
    if (stepsRun) *stepsRun = ran;
    if (stats) {
        stats->boxes = r.boxes.size();
        stats->stepsNotDone = 0;
        stats->notDone.clear();
        for (const auto& st : r.steps)
            if (!st.error.empty()) stats->notDone.push_back(st.text + L": " + st.error);
        stats->stepsNotDone = stats->notDone.size();
    }
    return problem;
}

FuzzResult RunFuzz(const SessionOptions& session, const FuzzOptions& options, const FuzzCheck& check) {
    FuzzResult result;
    const std::wstring work = options.workFolder.empty() ? DefaultWorkFolder() : options.workFolder;
    const auto copies = CopySamples(options.samples, work);
    result.script = GenerateFuzzScript(options.seed, options.steps, copies.empty() ? std::wstring() : work);
    result.problem = RunFuzzScript(session, result.script, check, &result.stepsRun, &result);
    if (result.problem.empty()) return result;

    // Shrink: drop chunks of actions while the script still fails the same way.
    std::vector<ScriptAction> best(result.script.begin(), result.script.begin() + static_cast<long>(result.stepsRun));
    const std::wstring kind = Kind(result.problem);
    size_t runs = 0;
    for (size_t chunk = std::max<size_t>(best.size() / 2, 1); chunk >= 1 && runs < options.shrinkRuns; chunk /= 2) {
        for (size_t at = 0; at < best.size() && runs < options.shrinkRuns;) {
            std::vector<ScriptAction> candidate = best;
            candidate.erase(candidate.begin() + static_cast<long>(at),
                            candidate.begin() + static_cast<long>(std::min(at + chunk, candidate.size())));
            ++runs;
            size_t ran = 0;
            const std::wstring p = RunFuzzScript(session, candidate, check, &ran);
            if (!p.empty() && Kind(p) == kind) {
                best.assign(candidate.begin(), candidate.begin() + static_cast<long>(std::min(ran, candidate.size())));
                result.problem = p;
            } else {
                at += chunk;
            }
        }
        if (chunk == 1) break;
    }
    for (size_t i = 0; i < best.size(); ++i) best[i].line = static_cast<int>(i + 1);
    result.reproducer = std::move(best);
    return result;
}

} // namespace kvhost
