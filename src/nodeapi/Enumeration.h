// CEnumerationBase: an enumeration feature, its value node and entry table.
#pragma once

#include <cstdint>
#include <string>

#include "nodeapi/EnumDelegate.h"
#include "nodeapi/Interfaces.h"
#include "nodeapi/Node.h"

namespace NodeApi {

// The typed enumeration classes of the camera interface derive from it and
// add the typed value operations, built on the helpers below. Entries are not
// children: an entry's own links are reached only through the entry.
class CEnumerationBase : public CNodeImpl, public IEnumerationBase {
public:
    static constexpr const char* kClassName = "CEnumerationBase";

    CEnumerationBase();

    // IEnumerationBase, under the map lock.
    void GetSymbolics(StringList_t& symbolics) override;
    void GetEntries(NodeList_t& entries) override;

    // INode: NP or NE from the node base, else the value node's mode (RO
    // without one).
    EAccessMode GetAccessMode() override;

    // INodeConstruct
    bool SetProperty(const std::string& name, const std::string& value) override;

    // INodeDebug
    std::string GetInfo() override;

    // The entry table (value/symbolic conversions, listing).
    CEnumDelegate& GetEnumDelegate() { return m_EnumDelegate; }

protected:
    // Typed value helpers; they take no lock of their own (the value node
    // takes the map lock). Over a value node: its SetValue with the value
    // widened with its sign, and its GetValue cut to the low 32 bits.
    // Without one: the stored value, and a set marks this node changed.
    void SetStoredOrLinkedValue(int32_t value);
    int32_t GetStoredOrLinkedValue();

    IInteger* m_pValue = nullptr;
    CEnumDelegate m_EnumDelegate;
    // Used only without a value node; 0 unless "Value" says otherwise.
    int32_t m_Value = 0;
};

} // namespace NodeApi
