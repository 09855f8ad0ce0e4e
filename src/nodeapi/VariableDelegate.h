// CVariableDelegate: the named variables of a formula node, each bound to a
// node of the same map.
#pragma once

#include <cstdint>
#include <map>
#include <string>

#include "nodeapi/Interfaces.h"

namespace NodeApi {

// Variables are kept in byte-wise name order; the nodes are not owned. No
// lock of its own: its owner calls it under the node map's lock.
class CVariableDelegate {
public:
    using VariableMap_t = std::map<std::string, INode*>;

    CVariableDelegate() = default;
    virtual ~CVariableDelegate() = default;
    CVariableDelegate(const CVariableDelegate&) = delete;
    CVariableDelegate& operator=(const CVariableDelegate&) = delete;

    // "NAME=value" items joined by ","; LogicalErrorException "invalid type"
    // for a node that is neither integer nor float.
    virtual std::string ListVariables();
    virtual std::string GetInfo();
    // RO; NP when any variable is NP, else NE when any is NE; a WO variable
    // raises RuntimeException "Invalid access mode WO of variable %s".
    virtual EAccessMode GetAccessMode();
    // False for a node without a usable interface; an unknown name raises
    // InvalidArgumentException " invalid enum value '%s'".
    virtual bool GetFloatValue(const std::string& name, double& value);
    virtual bool GetIntValue(const std::string& name, int64_t& value);
    // Binds "NAME=NodeName"; false without "=" or with nothing after it. An
    // absent node raises PropertyException "%s : property '%s' : node '%s'
    // does not exist" (owner, variable, node). The first binding of a name stays.
    virtual bool AddVariable(const std::string& binding, const std::string& ownerName,
                             CNodeMap* nodeMap);

    // The bindings, in name order.
    const VariableMap_t& GetVariables() const { return m_Variables; }

private:
    // The node bound to name, or InvalidArgumentException.
    INode* Find(const std::string& name) const;

    VariableMap_t m_Variables;
};

} // namespace NodeApi
