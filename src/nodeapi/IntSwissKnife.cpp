// CIntSwissKnife: integer formula node.
#include "nodeapi/IntSwissKnife.h"

#include "nodeapi/Exceptions.h"
#include "nodeapi/PropertyValue.h"

namespace NodeApi {

void CIntSwissKnife::SetValue(int64_t) {
    NodeMapLock lock(LockTarget());
    NODEAPI_RAISE(LogicalErrorException,
                  "IntSwissKnife : %s SetValue failed. IntSwissKnife is read only", m_Name.c_str());
}

int64_t CIntSwissKnife::GetValue() {
    NodeMapLock lock(LockTarget());
    FormulaNode::ReentryGuard busy(m_Evaluating, m_Name);
    FormulaNode::TableScope<CIntFormulaParser> scope(m_Parser, m_Table);
    for (const FormulaNode::Binding& variable : m_Bindings) {
        const std::string& name = *variable.name;
        // Integer nodes only. Reading the node may read the camera; its
        // errors pass unchanged.
        if (variable.integer == nullptr)
            NODEAPI_RAISE(RuntimeException, "IntSwissKnife failed to get the value of : %s ",
                          name.c_str());
        const int64_t value = variable.integer->GetValue();
        if (!m_Table.AddValue<int64_t>(name, value))
            NODEAPI_RAISE(RuntimeException, "IntSwissKnife cannot store the variable : %s ",
                          name.c_str());
    }
    int64_t result = 0;
    // The message lives in the evaluator; it is formatted into the exception
    // before the evaluator runs again.
    if (const char* message = m_Parser.Evaluate(m_Formula.c_str(), result))
        NODEAPI_RAISE(LogicalErrorException,
                      "%s : failed to parse formula '%s' : error message is '%s'", m_Name.c_str(),
                      m_Formula.c_str(), message);
    return result;
}

EAccessMode CIntSwissKnife::GetAccessMode() {
    NodeMapLock lock(LockTarget());
    FormulaNode::ReentryGuard busy(m_ComputingAccess, m_Name);
    const EAccessMode base = CNodeImpl::GetAccessMode();
    return FormulaNode::CombineAccessModes(base, m_Variables.GetAccessMode());
}

std::string CIntSwissKnife::ToString() {
    NodeMapLock lock(LockTarget());
    return std::to_string(GetValue());
}

bool CIntSwissKnife::SetProperty(const std::string& name, const std::string& value) {
    CheckNotInitialized();
    if (name == "Formula") {
        m_Formula = value;
        return true;
    }
    if (name == "pVariable") {
        // "NAME=NodeName"; the node must already be in the map.
        if (!m_Variables.AddVariable(value, m_Name, m_pNodeMap))
            RaiseConvertError(name, value);
        m_Bindings = FormulaNode::ResolveBindings(m_Variables);
        return true;
    }
    if (name == "Representation") {
        m_Representation = ConvertProperty(name, value, ParseRepresentation);
        return true;
    }
    if (CNodeImpl::SetProperty(name, value))
        return true;
    return WarnUnhandledProperty(name, value);
}

void CIntSwissKnife::FinalConstruct() {
    NodeMapLock lock(LockTarget());
    if (m_Initialized)
        NODEAPI_RAISE(LogicalErrorException, "Node already initialized");
    CNodeImpl::FinalConstruct();
    // The variables become children, so that a change of one of them reaches
    // this node through the dependants mechanism.
    for (const auto& variable : m_Variables.GetVariables())
        AddChild(variable.second);
}

bool CIntSwissKnife::CollectDependants(NodeList_t& path) {
    NodeMapLock lock(LockTarget());
    if (!CNodeImpl::CollectDependants(path))
        return false;
    path.push_back(this);
    FormulaNode::CollectVariableDependants(m_Variables, path);
    path.pop_back();
    return true;
}

std::string CIntSwissKnife::GetInfo() {
    NodeMapLock lock(LockTarget());
    return FormatLimited("IntSwissKnife : Value = %s : VariableMap = %s : Formula = %s",
                         ToString().c_str(), m_Variables.ListVariables().c_str(),
                         m_Formula.c_str());
}

} // namespace NodeApi
