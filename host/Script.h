#pragma once
// korvane-sim's scripts of host actions, one per line (a line starting with "#" is a comment; arguments with
// blanks in double quotes, "" for a quote inside):
//   open PATH                 open a document file
//   new [NAME]                a new document
//   activate DOC              DOC: 1-based number in opening order, full name or file name
//   save [DOC] / close [DOC]  the active document when DOC is left out
//   resize-pane WIDTH         resize-window WIDTH HEIGHT
//   wait MS                   run the message loop for MS milliseconds (at most 60000)
//   screenshot PATH           a PNG of the main window
//   command ID                fire OnCommand(ID)
//   click-tree TEXT           click the tree item "TEXT" or "TEXT=..." in the visible page
//   set-text TARGET TEXT      TARGET: #<control id> or the n-th edit box of the visible page
//   click-button CAPTION      press the button with that caption in the visible page
//   fail KEY HRESULT [TEXT]   make a host member fail (KEY as Host::Fail: "VaneBar.CreatePage",
//                             "Property.Value=", ...); HRESULT in hex (0x...) or decimal
//   no-fail                   every member works again
//   create-page-zero on|off   CreatePage gives no page (0)
//   quit                      end the script (documents close, the add-in is disconnected)
//   connect / disconnect      OnConnection (with OnConnectToEnvironment) / OnDisconnection
//   new-with NAME JSON        a new document with that content (the document format, inline)
//   rename DOC NAME           the document's FullName becomes NAME
//   click-node PATH           click the tree node "R" (R-th root) or "R.C" (its C-th child)
//   key KEY                   a key to the tree: up, down, left, right, home, end, space
//   fail-next N KIND [HRESULT [TEXT]]  the next N host calls fail, whatever they are; KIND
//                             exception (EXCEPINFO / bare HRESULT) or errorinfo (IErrorInfo)
//   fail-write BYTES|off      the host's file writes fail (a full disk) after BYTES bytes
// click-button also takes "#N": the N-th button of the visible page.
#include "Host.h"
#include "HostError.h"
#include <string>
#include <string_view>
#include <vector>

namespace kvhost {

struct ScriptAction {
    int line = 0;
    std::wstring verb;
    std::vector<std::wstring> args;
};

// HostError (E_INVALIDARG) "line N: ..." for an unknown verb, a wrong number of arguments,
// a bad number or an unterminated quote.
std::vector<ScriptAction> ParseScript(std::wstring_view text);

// Quotes a script argument when it needs it (blanks, quotes, empty).
std::wstring QuoteArg(const std::wstring& arg);
// The script line of an action.
std::wstring ActionText(const ScriptAction& action);

// Runs actions against a host; false once "quit" has run. HostError "line N: ..." when an
// action fails (no such document, no such control, ...).
class ScriptRunner {
public:
    explicit ScriptRunner(Host& host) : host_(host) {}
    bool Run(const ScriptAction& action);
    DocId ResolveDocument(const std::wstring& which, int line) const;
    HWND VisiblePage(int line) const;  // HostError "line N: ..." when no page is visible

private:
    Host& host_;
};

} // namespace kvhost
