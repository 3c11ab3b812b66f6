#include "DocState.h"
#include "HostError.h"

namespace kvhost {

void DocState::SaveSet(size_t set) {
    if (set >= live.sets.size()) throw HostError(E_INVALIDARG, L"No such property set");
    // The saved image changes only once the file holds it.
    DocumentContent next = saved.sets.size() != live.sets.size() ? live : saved;
    next.sets[set] = live.sets[set];
    if (compound) compound->Save(path, next);
    else if (!path.empty()) SaveDocumentFile(path, next);
    saved = std::move(next);
}

void DocState::SaveAll() {
    if (compound) compound->Save(path, live);
    else if (!path.empty()) SaveDocumentFile(path, live);
    saved = live;
}

void DocState::RequireOpen() const {
    if (!open) throw HostError(RPC_E_DISCONNECTED, L"The document " + fullName + L" is closed");
}

} // namespace kvhost
