#pragma once
// The state of one open document, shared by its COM objects (they may outlive its closing): its
// names, its file, its property sets as the host holds them and as last saved.
#include "CompoundDocument.h"
#include "DocumentModel.h"
#include <deque>
#include <memory>
#include <string>

namespace kvhost {

struct DocState {
    int id = 0;
    std::wstring fullName;
    std::deque<std::wstring> nextNames;  // names that the coming FullName reads give, in turn
    std::wstring path;                   // file it came from and is saved to; empty for a new one
    DocumentContent live;                // values as the host holds them now
    DocumentContent saved;               // values as last written to the file
    std::shared_ptr<CompoundDocument> compound;  // a compound file's property sets; null for JSON
    bool open = true;

    // Writes the set (index) to the file: the saved image takes the live values of that set.
    void SaveSet(size_t set);
    // Writes every set.
    void SaveAll();
    // HostError (RPC_E_DISCONNECTED) once the document is closed: its objects serve nothing more.
    void RequireOpen() const;
};

} // namespace kvhost
