// CEnumDelegate: the entry table of an enumeration, in insertion order.
#pragma once

#include <cstdint>
#include <string>

#include "nodeapi/Interfaces.h"
#include "nodeapi/Lock.h"

namespace NodeApi {

class CNodeImpl;

// Entries are nodes (not owned) offering IEnumEntry. Every operation takes
// the owner's node map lock first (when the table has an owner in a map) and
// then the table's own lock, so the two are always taken in the same order
// whether the table is reached through its enumeration or directly; walking
// the entries takes the map lock again (recursive, same thread).
class CEnumDelegate : public IEnumDelegate,
                      public LockableObject<CEnumDelegate, MultiThreadingModel> {
public:
    // owner: the enumeration whose map lock guards the entries (may be null).
    explicit CEnumDelegate(const CNodeImpl* owner = nullptr) : m_pOwner(owner) {}

    // IEnumDelegate
    // The first entry with the value gives its symbolic; none raises
    // InvalidArgumentException " invalid enum value '%ld'" (value printed as
    // a 32-bit number). Presence and enabled state are not consulted.
    void ValueToSymbolic(std::string& symbolic, int64_t value) override;
    // The first entry with exactly this symbolic; false when there is none.
    bool SymbolicToValue(const std::string& symbolic, int64_t& value) override;
    // Appends an entry; a null node is refused.
    void AddEntry(INode* entry) override;
    // The symbolics of the entries that are neither NP nor NE, in order.
    void GetSymbolics(StringList_t& symbolics) override;

    // "Symbolic=value" items joined by ",".
    virtual std::string ListEntries();
    virtual std::string GetInfo();
    // Every entry, whatever its state.
    virtual void GetEntries(NodeList_t& entries);

private:
    class Guard;
    // The entry as IEnumEntry; LogicalErrorException "Unexpected type in
    // dynamic cast" otherwise.
    static IEnumEntry& AsEntry(INode* node);

    const CNodeImpl* m_pOwner;
    NodeList_t m_Entries;
};

} // namespace NodeApi
