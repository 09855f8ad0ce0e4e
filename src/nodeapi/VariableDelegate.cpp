// CVariableDelegate: variable table of the formula nodes.
#include "nodeapi/VariableDelegate.h"

#include <cinttypes>

#include "nodeapi/Exceptions.h"
#include "nodeapi/NodeMap.h"

namespace NodeApi {

INode* CVariableDelegate::Find(const std::string& name) const {
    auto it = m_Variables.find(name);
    if (it == m_Variables.end())
        NODEAPI_RAISE(InvalidArgumentException, " invalid enum value '%s'", name.c_str());
    return it->second;
}

bool CVariableDelegate::AddVariable(const std::string& binding, const std::string& ownerName,
                                    CNodeMap* nodeMap) {
    const size_t sign = binding.find('=');
    if (sign == std::string::npos || sign + 1 == binding.size())
        return false;
    const std::string variable = binding.substr(0, sign);
    const std::string nodeName = binding.substr(sign + 1);
    INode* node = nodeMap != nullptr ? nodeMap->GetNode(nodeName) : nullptr;
    if (node == nullptr)
        NODEAPI_RAISE(PropertyException, "%s : property '%s' : node '%s' does not exist",
                      ownerName.c_str(), variable.c_str(), nodeName.c_str());
    m_Variables.emplace(variable, node); // keeps an earlier binding of the name
    return true;
}

bool CVariableDelegate::GetIntValue(const std::string& name, int64_t& value) {
    INode* node = Find(name);
    if (auto* integer = dynamic_cast<IInteger*>(node)) {
        value = integer->GetValue();
        return true;
    }
    return false;
}

bool CVariableDelegate::GetFloatValue(const std::string& name, double& value) {
    INode* node = Find(name);
    if (auto* integer = dynamic_cast<IInteger*>(node)) {
        value = static_cast<double>(integer->GetValue());
        return true;
    }
    if (auto* real = dynamic_cast<IFloat*>(node)) {
        value = real->GetValue();
        return true;
    }
    return false;
}

EAccessMode CVariableDelegate::GetAccessMode() {
    EAccessMode result = RO;
    for (const auto& variable : m_Variables) {
        const EAccessMode mode = variable.second->GetAccessMode();
        if (mode == WO)
            NODEAPI_RAISE(RuntimeException, "Invalid access mode WO of variable %s",
                          variable.first.c_str());
        if (mode == NP)
            result = NP;
        else if (mode == NE && result != NP)
            result = NE;
    }
    return result;
}

std::string CVariableDelegate::ListVariables() {
    std::string list;
    bool first = true;
    for (const auto& variable : m_Variables) {
        std::string item;
        if (auto* integer = dynamic_cast<IInteger*>(variable.second))
            item = FormatLimited("%s=%" PRId64, variable.first.c_str(), integer->GetValue());
        else if (auto* real = dynamic_cast<IFloat*>(variable.second))
            item = FormatLimited("%s=%lf", variable.first.c_str(), real->GetValue());
        else
            NODEAPI_RAISE(LogicalErrorException, "invalid type");
        if (!first)
            list += ',';
        first = false;
        list += item;
    }
    return list;
}

std::string CVariableDelegate::GetInfo() {
    return "VariableDelegate defines following enums:" + ListVariables();
}

} // namespace NodeApi
