#include "Script.h"
#include "UiDriver.h"
#include "DocumentModel.h"
#include <cwctype>

namespace kvhost {

namespace {

struct Verb {
    const wchar_t* name;
    size_t minArgs, maxArgs;
};
constexpr Verb kVerbs[] = {
    {L"open", 1, 1},        {L"new", 0, 1},         {L"activate", 1, 1},
    {L"save", 0, 1},        {L"close", 0, 1},       {L"resize-pane", 1, 1},
    {L"resize-window", 2, 2}, {L"wait", 1, 1},      {L"screenshot", 1, 1},
    {L"command", 1, 1},     {L"click-tree", 1, 1},  {L"set-text", 2, 2},
    {L"click-button", 1, 1}, {L"quit", 0, 0},  {L"fail", 2, 3},
    {L"no-fail", 0, 0},     {L"create-page-zero", 1, 1},
    {L"connect", 0, 0},     {L"disconnect", 0, 0},  {L"new-with", 2, 2},
    {L"rename", 2, 2},      {L"click-node", 1, 1},  {L"key", 1, 1},
    {L"fail-next", 2, 4},   {L"fail-write", 1, 1},
};

struct Key {
    const wchar_t* name;
    UINT vk;
};
constexpr Key kKeys[] = {{L"up", VK_UP},     {L"down", VK_DOWN}, {L"left", VK_LEFT}, {L"right", VK_RIGHT},
                         {L"home", VK_HOME}, {L"end", VK_END},   {L"space", VK_SPACE}};

const Key* FindKey(const std::wstring& name) {
    for (const auto& k : kKeys)
        if (name == k.name) return &k;
    return nullptr;
}

[[noreturn]] void Fail(int line, const std::wstring& what) {
    throw HostError(E_INVALIDARG, L"line " + std::to_wstring(line) + L": " + what);
}

long Number(const std::wstring& s, int line, long min, long max) {
    if (s.empty()) Fail(line, L"a number is missing");
    size_t i = s[0] == L'-' ? 1 : 0;
    if (i == s.size()) Fail(line, L"\"" + s + L"\" is not a number");
    for (size_t k = i; k < s.size(); ++k)
        if (!std::iswdigit(s[k]) || k - i > 8) Fail(line, L"\"" + s + L"\" is not a number");
    const long n = std::wcstol(s.c_str(), nullptr, 10);
    if (n < min || n > max)
        Fail(line, L"\"" + s + L"\" is out of range " + std::to_wstring(min) + L".." + std::to_wstring(max));
    return n;
}

// "0x80004005" or a decimal number.
HRESULT HResult(const std::wstring& s, int line) {
    wchar_t* end = nullptr;
    const bool hex = s.size() > 2 && s[0] == L'0' && (s[1] == L'x' || s[1] == L'X');
    const unsigned long v = std::wcstoul(s.c_str(), &end, hex ? 16 : 10);
    if (s.empty() || *end || (hex && s.size() > 10)) Fail(line, L"\"" + s + L"\" is not an HRESULT");
    return static_cast<HRESULT>(v);
}

std::vector<std::wstring> Split(std::wstring_view l, int line) {
    std::vector<std::wstring> words;
    size_t i = 0;
    while (i < l.size()) {
        while (i < l.size() && std::iswspace(l[i])) ++i;
        if (i >= l.size() || (words.empty() && l[i] == L'#')) break;
        std::wstring w;
        if (l[i] == L'"') {
            ++i;
            bool closed = false;
            while (i < l.size()) {
                if (l[i] == L'"') {
                    if (i + 1 < l.size() && l[i + 1] == L'"') { w += L'"'; i += 2; continue; }
                    closed = true;
                    ++i;
                    break;
                }
                w += l[i++];
            }
            if (!closed) Fail(line, L"a quote is not closed");
        } else {
            while (i < l.size() && !std::iswspace(l[i])) w += l[i++];
        }
        words.push_back(std::move(w));
    }
    return words;
}

} // namespace

std::vector<ScriptAction> ParseScript(std::wstring_view text) {
    std::vector<ScriptAction> out;
    int line = 0;
    size_t pos = 0;
    while (pos <= text.size()) {
        size_t end = text.find(L'\n', pos);
        if (end == std::wstring_view::npos) end = text.size();
        std::wstring_view l = text.substr(pos, end - pos);
        if (!l.empty() && l.back() == L'\r') l.remove_suffix(1);
        ++line;
        pos = end + 1;
        auto words = Split(l, line);
        if (words.empty()) continue;
        ScriptAction a{line, words[0], {words.begin() + 1, words.end()}};
        const Verb* verb = nullptr;
        for (const auto& v : kVerbs)
            if (a.verb == v.name) verb = &v;
        if (!verb) Fail(line, L"unknown action \"" + a.verb + L"\"");
        if (a.args.size() < verb->minArgs || a.args.size() > verb->maxArgs)
            Fail(line, L"wrong number of arguments for " + a.verb);
        if (a.verb == L"resize-pane") Number(a.args[0], line, 0, 10000);
        if (a.verb == L"resize-window") {
            Number(a.args[0], line, 0, 10000);
            Number(a.args[1], line, 0, 10000);
        }
        if (a.verb == L"key" && !FindKey(a.args[0])) Fail(line, L"unknown key \"" + a.args[0] + L"\"");
        if (a.verb == L"fail-write" && a.args[0] != L"off") Number(a.args[0], line, 0, 100000000);
        if (a.verb == L"fail-next") {
            Number(a.args[0], line, 1, 1000);
            if (a.args[1] != L"exception" && a.args[1] != L"errorinfo") Fail(line, L"fail-next takes exception or errorinfo");
            if (a.args.size() > 2) HResult(a.args[2], line);
        }
        if (a.verb == L"wait") Number(a.args[0], line, 0, 60000);
        if (a.verb == L"command") Number(a.args[0], line, -2147483647L, 2147483647L);
        if (a.verb == L"fail") HResult(a.args[1], line);
        if (a.verb == L"create-page-zero" && a.args[0] != L"on" && a.args[0] != L"off")
            Fail(line, L"create-page-zero takes on or off");
        out.push_back(std::move(a));
    }
    return out;
}

std::wstring QuoteArg(const std::wstring& arg) {
    const bool plain = !arg.empty() && arg.find_first_of(L" \t\"#\r\n") == std::wstring::npos;
    if (plain) return arg;
    std::wstring q = L"\"";
    for (wchar_t c : arg) q += c == L'"' ? std::wstring(L"\"\"") : std::wstring(1, c);
    return q + L"\"";
}

std::wstring ActionText(const ScriptAction& action) {
    std::wstring t = action.verb;
    for (const auto& a : action.args) t += L" " + QuoteArg(a);
    return t;
}

DocId ScriptRunner::ResolveDocument(const std::wstring& which, int line) const {
    const auto docs = host_.Documents();
    bool numeric = !which.empty();
    for (wchar_t c : which) numeric = numeric && std::iswdigit(c);
    if (numeric) {
        const long n = Number(which, line, 1, 100000);
        if (static_cast<size_t>(n) > docs.size()) Fail(line, L"there is no document " + which);
        return docs[static_cast<size_t>(n - 1)];
    }
    if (DocId d = host_.FindDocument(which)) return d;
    for (DocId d : docs) {
        const std::wstring full = host_.FullName(d);
        const size_t slash = full.find_last_of(L"\\/");
        if (SameName(slash == std::wstring::npos ? full : full.substr(slash + 1), which)) return d;
    }
    Fail(line, L"there is no document \"" + which + L"\"");
}

HWND ScriptRunner::VisiblePage(int line) const {
    // The page shown in the pane (also while the host's main window is hidden).
    for (const auto& p : host_.Pages())
        if (GetWindowLongW(p.hwnd, GWL_STYLE) & WS_VISIBLE) return p.hwnd;
    Fail(line, L"no VaneBar page is visible");
}

bool ScriptRunner::Run(const ScriptAction& a) {
    const int line = a.line;
    auto active = [&] {
        if (!host_.ActiveDocument()) Fail(line, L"there is no active document");
        return host_.ActiveDocument();
    };
    try {
        if (a.verb == L"open") host_.OpenDocument(a.args[0]);
        else if (a.verb == L"new") host_.NewDocument(a.args.empty() ? std::wstring() : a.args[0]);
        else if (a.verb == L"activate") host_.ActivateDocument(ResolveDocument(a.args[0], line));
        else if (a.verb == L"save") host_.SaveDocument(a.args.empty() ? active() : ResolveDocument(a.args[0], line));
        else if (a.verb == L"close") host_.CloseDocument(a.args.empty() ? active() : ResolveDocument(a.args[0], line));
        else if (a.verb == L"resize-pane") host_.ResizePane(static_cast<int>(Number(a.args[0], line, 0, 10000)));
        else if (a.verb == L"resize-window")
            host_.ResizeMainWindow(static_cast<int>(Number(a.args[0], line, 0, 10000)),
                                   static_cast<int>(Number(a.args[1], line, 0, 10000)));
        else if (a.verb == L"wait") host_.PumpMessages(static_cast<DWORD>(Number(a.args[0], line, 0, 60000)));
        else if (a.verb == L"screenshot") {
            host_.PumpMessages(50);
            SaveWindowPng(host_.MainWindow(), a.args[0]);
        } else if (a.verb == L"command") host_.FireCommand(Number(a.args[0], line, -2147483647L, 2147483647L));
        else if (a.verb == L"click-tree") {
            if (!ui::ClickTreeItem(VisiblePage(line), a.args[0])) Fail(line, L"no tree item \"" + a.args[0] + L"\"");
        } else if (a.verb == L"set-text") {
            if (!ui::SetEditText(VisiblePage(line), a.args[0], a.args[1])) Fail(line, L"no edit box " + a.args[0]);
        } else if (a.verb == L"click-button") {
            if (!ui::ClickButton(VisiblePage(line), a.args[0])) Fail(line, L"no enabled button \"" + a.args[0] + L"\"");
        } else if (a.verb == L"fail") {
            host_.Recorder().Fail(a.args[0], HResult(a.args[1], line), a.args.size() > 2 ? a.args[2] : std::wstring());
        } else if (a.verb == L"no-fail") {
            host_.Recorder().ClearFaults();
        } else if (a.verb == L"create-page-zero") {
            host_.CreatePageReturnsZero(a.args[0] == L"on");
        } else if (a.verb == L"quit") {
            return false;
        } else if (a.verb == L"connect") {
            const HRESULT hr = host_.Connect();
            if (FAILED(hr)) Fail(line, L"OnConnection failed with " + std::to_wstring(hr));
        } else if (a.verb == L"disconnect") {
            const HRESULT hr = host_.Disconnect();
            if (FAILED(hr)) Fail(line, L"OnDisconnection failed with " + std::to_wstring(hr));
        } else if (a.verb == L"new-with") {
            host_.NewDocumentWith(a.args[0], WideToUtf8(a.args[1]));
        } else if (a.verb == L"rename") {
            host_.SetFullName(ResolveDocument(a.args[0], line), a.args[1]);
        } else if (a.verb == L"click-node") {
            if (!ui::ClickTreeNode(VisiblePage(line), a.args[0])) Fail(line, L"no tree node " + a.args[0]);
        } else if (a.verb == L"key") {
            if (!ui::PressTreeKey(VisiblePage(line), FindKey(a.args[0])->vk)) Fail(line, L"no tree");
        } else if (a.verb == L"fail-write") {
            if (a.args[0] == L"off") FailFileWritesAfter(std::nullopt);
            else FailFileWritesAfter(static_cast<size_t>(Number(a.args[0], line, 0, 100000000)));
        } else if (a.verb == L"fail-next") {
            host_.Recorder().FailNextCalls(static_cast<int>(Number(a.args[0], line, 1, 1000)),
                                           a.args[1] == L"errorinfo" ? FaultKind::ErrorInfo : FaultKind::Exception,
                                           a.args.size() > 2 ? HResult(a.args[2], line) : E_FAIL,
                                           a.args.size() > 3 ? a.args[3] : L"Injected failure");
        } else {
            Fail(line, L"unknown action \"" + a.verb + L"\"");
        }
    } catch (const HostError& e) {
        if (e.description().starts_with(L"line ")) throw;
        Fail(line, e.description());
    }
    return true;
}

} // namespace kvhost
