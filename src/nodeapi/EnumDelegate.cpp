// CEnumDelegate: entry table of an enumeration.
#include "nodeapi/EnumDelegate.h"

#include <optional>

#include "nodeapi/Exceptions.h"
#include "nodeapi/Node.h"

namespace NodeApi {

// Map lock (when the owner is in a map), then the table's own lock.
class CEnumDelegate::Guard {
public:
    explicit Guard(const CEnumDelegate& table) {
        CNodeMap* map = table.m_pOwner != nullptr ? table.m_pOwner->GetNodeMap() : nullptr;
        if (map != nullptr)
            m_MapLock.emplace(*map);
        m_TableLock.emplace(table);
    }

private:
    std::optional<NodeMapLock> m_MapLock;
    std::optional<CEnumDelegate::AutoLock> m_TableLock;
};

IEnumEntry& CEnumDelegate::AsEntry(INode* node) {
    auto* entry = dynamic_cast<IEnumEntry*>(node);
    if (entry == nullptr)
        NODEAPI_RAISE(LogicalErrorException, "Unexpected type in dynamic cast");
    return *entry;
}

void CEnumDelegate::ValueToSymbolic(std::string& symbolic, int64_t value) {
    Guard guard(*this);
    for (INode* node : m_Entries) {
        IEnumEntry& entry = AsEntry(node);
        if (entry.GetValue() == value) {
            symbolic = entry.GetSymbolic();
            return;
        }
    }
    NODEAPI_RAISE(InvalidArgumentException, " invalid enum value '%d'",
                  static_cast<int32_t>(static_cast<uint32_t>(value)));
}

bool CEnumDelegate::SymbolicToValue(const std::string& symbolic, int64_t& value) {
    Guard guard(*this);
    for (INode* node : m_Entries) {
        IEnumEntry& entry = AsEntry(node);
        if (entry.GetSymbolic() == symbolic) {
            value = entry.GetValue();
            return true;
        }
    }
    return false;
}

void CEnumDelegate::AddEntry(INode* entry) {
    if (entry == nullptr)
        NODEAPI_RAISE(InvalidArgumentException, "AddEntry : no entry node given");
    Guard guard(*this);
    m_Entries.push_back(entry);
}

void CEnumDelegate::GetSymbolics(StringList_t& symbolics) {
    Guard guard(*this);
    symbolics.clear();
    for (INode* node : m_Entries) {
        IEnumEntry& entry = AsEntry(node);
        const EAccessMode mode = node->GetAccessMode();
        if (mode != NP && mode != NE)
            symbolics.push_back(entry.GetSymbolic());
    }
}

void CEnumDelegate::GetEntries(NodeList_t& entries) {
    Guard guard(*this);
    entries = m_Entries;
}

std::string CEnumDelegate::ListEntries() {
    Guard guard(*this);
    std::string list;
    bool first = true;
    for (INode* node : m_Entries) {
        IEnumEntry& entry = AsEntry(node);
        if (!first)
            list += ',';
        first = false;
        list += entry.GetSymbolic() + "=" + std::to_string(entry.GetValue());
    }
    return list;
}

std::string CEnumDelegate::GetInfo() {
    return "EnumDelegate defines following enums:" + ListEntries();
}

} // namespace NodeApi
