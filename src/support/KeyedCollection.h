#pragma once
// An ordered collection of items under text keys that compare without regard to letter case:
// items are added at the end, fetched and removed by key, and walked in insertion order.
#include "AddInError.h"
#include <list>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>

namespace rud {

// The key as it compares: upper case, culture-invariant.
std::wstring FoldKey(std::wstring_view key);

template <typename T>
class KeyedCollection {
public:
    using Entry = std::pair<std::wstring, T>;  // the key as added, the item

    // Adds at the end; error 457 when the key is there already.
    void Add(std::wstring_view key, T item) {
        std::wstring folded = FoldKey(key);
        if (index_.count(folded))
            throw AddInError(vberr::DuplicateKey, L"This key is already associated with an element of this collection");
        items_.emplace_back(std::wstring(key), std::move(item));
        try {
            index_.emplace(std::move(folded), std::prev(items_.end()));
        } catch (...) {
            items_.pop_back();  // an item the index cannot find must not stay behind
            throw;
        }
    }

    // The item under the key; error 5 when there is none.
    const T& Item(std::wstring_view key) const {
        auto it = index_.find(FoldKey(key));
        if (it == index_.end()) throw InvalidProcedureCallError();
        return it->second->second;
    }

    bool Contains(std::wstring_view key) const { return index_.count(FoldKey(key)) != 0; }

    // Removes the item under the key; error 5 when there is none.
    void Remove(std::wstring_view key) {
        auto it = index_.find(FoldKey(key));
        if (it == index_.end()) throw InvalidProcedureCallError();
        items_.erase(it->second);
        index_.erase(it);
    }

    void Clear() noexcept { index_.clear(); items_.clear(); }
    size_t Count() const noexcept { return items_.size(); }
    auto begin() const noexcept { return items_.begin(); }
    auto end() const noexcept { return items_.end(); }

private:
    std::list<Entry> items_;
    std::unordered_map<std::wstring, typename std::list<Entry>::iterator> index_;
};

// Whether the collection holds an item under the key (letter case ignored), found by the
// collection's own look-up. Never throws.
template <class T>
bool KeyExists(const KeyedCollection<T>& col, std::wstring_view key) noexcept {
    try {
        (void)col.Item(key);
        return true;
    } catch (...) {
        return false;
    }
}

} // namespace rud
