#include "Recorder.h"
#include <algorithm>

namespace kvhost {

std::wstring CallEntry::Text() const {
    std::wstring t = object + L"." + member;
    if (access == Access::Put) {
        t += L"=";
        for (size_t i = 0; i < args.size(); ++i) t += (i ? L", " : L"") + args[i];
        return t;
    }
    t += L"(";
    for (size_t i = 0; i < args.size(); ++i) t += (i ? L", " : L"") + args[i];
    return t + L")";
}

std::wstring LedgerEntry::Text() const {
    std::wstring t = object;
    if (!instance.empty()) t += L"[" + instance + L"]";
    t += L" refs=" + std::to_wstring(refs) + L" host=" + std::to_wstring(hostRefs);
    return t;
}

void Recorder::Log(CallEntry e) {
    calls_.push_back(std::move(e));
    if (watcher_) {
        // A copy: the watcher may make calls of its own that grow the log.
        const std::function<void(const CallEntry&)> watcher = watcher_;
        const CallEntry entry = calls_.back();
        watcher(entry);
    }
}

std::vector<std::wstring> Recorder::CallTexts() const {
    std::vector<std::wstring> out;
    out.reserve(calls_.size());
    for (const auto& c : calls_) out.push_back(c.Text());
    return out;
}

void Recorder::Fail(const std::wstring& key, HRESULT hr, std::wstring description, int times,
                    std::optional<FaultKind> kind) {
    std::erase_if(faults_, [&](const KeyedFault& f) { return f.key == key; });
    if (times == 0) return;
    faults_.push_back({key, Fault{hr, std::move(description), times, kind}});
}

void Recorder::FailCallAt(size_t at, FaultKind kind, HRESULT hr, std::wstring description) {
    at_.emplace(at, Fault{hr, std::move(description), 1, kind});
}

void Recorder::FailNextCalls(int count, FaultKind kind, HRESULT hr, std::wstring description) {
    if (count > 0) nextCalls_ = Fault{hr, std::move(description), count, kind};
    else nextCalls_.reset();
}

std::optional<Fault> Recorder::TakeFault(const std::wstring& object, const std::wstring& member,
                                         Access access) {
    // Every call is logged before it asks: the call asking now is the last one in the log.
    const size_t index = calls_.empty() ? 0 : calls_.size() - 1;
    if (at_ && at_->first == index) {
        Fault f = std::move(at_->second);
        at_.reset();
        return f;
    }
    if (nextCalls_) {
        Fault f = *nextCalls_;
        if (--nextCalls_->remaining <= 0) nextCalls_.reset();
        return f;
    }
    const std::wstring any = object + L"." + member;
    for (auto it = faults_.begin(); it != faults_.end(); ++it) {
        const bool hit = it->key == any || (access == Access::Put && it->key == any + L"=");
        if (!hit) continue;
        Fault f = it->fault;
        if (it->fault.remaining > 0 && --it->fault.remaining == 0) faults_.erase(it);
        return f;
    }
    return std::nullopt;
}

std::shared_ptr<LedgerEntry> Recorder::Register(std::wstring object, std::wstring instance) {
    auto e = std::make_shared<LedgerEntry>();
    e->id = nextId_++;
    e->object = std::move(object);
    e->instance = std::move(instance);
    ledger_.push_back(e);
    return e;
}

void Recorder::PruneLedger() {
    std::erase_if(ledger_, [](const std::shared_ptr<LedgerEntry>& e) { return e->destroyed; });
}

std::vector<LedgerEntry> Recorder::Ledger() const {
    std::vector<LedgerEntry> out;
    for (const auto& e : ledger_) out.push_back(*e);
    return out;
}

std::wstring Recorder::OutstandingText() const {
    std::wstring t;
    for (const auto& e : Outstanding()) t += e.Text() + L"\n";
    return t;
}

std::vector<LedgerEntry> Recorder::Outstanding() const {
    std::vector<LedgerEntry> out;
    for (const auto& e : ledger_)
        if (!e->destroyed && e->Outstanding() != 0) out.push_back(*e);
    return out;
}

} // namespace kvhost
