// CEnumEntry: one named value of an enumeration.
#pragma once

#include <cstdint>
#include <string>

#include "nodeapi/Interfaces.h"
#include "nodeapi/Node.h"

namespace NodeApi {

// Its presence and enabled state come from the node base ("pIsPresent",
// "pIsEnabled"); the enumeration lists only entries that are neither NP nor NE.
class CEnumEntry : public CNodeImpl, public IEnumEntry {
public:
    static constexpr const char* kClassName = "CEnumEntry";

    CEnumEntry() = default;

    // IEnumEntry
    int64_t GetValue() override;
    std::string GetSymbolic() override;

    // INode
    std::string ToString() override;

    // INodeConstruct
    bool SetProperty(const std::string& name, const std::string& value) override;

    // INodeDebug
    std::string GetInfo() override;

protected:
    int64_t m_Value = 0;
    std::string m_Symbolic;
};

} // namespace NodeApi
