// CSwissKnife: float formula node; the helpers both formula nodes share.
#include "nodeapi/SwissKnife.h"

#include <cstdio>

#include "nodeapi/ClassicLocale.h"
#include "nodeapi/Exceptions.h"
#include "nodeapi/PropertyValue.h"

namespace NodeApi {

// ---------------------------------------------------------------------------
// Shared helpers

namespace FormulaNode {

EAccessMode CombineAccessModes(EAccessMode base, EAccessMode variables) {
    if (base == NP || variables == NP)
        return NP;
    if (base == NE || variables == NE)
        return NE;
    return RO;
}

Bindings_t ResolveBindings(const CVariableDelegate& variables) {
    Bindings_t bindings;
    bindings.reserve(variables.GetVariables().size());
    for (const auto& variable : variables.GetVariables()) {
        bindings.push_back(Binding{&variable.first, dynamic_cast<IInteger*>(variable.second),
                                   dynamic_cast<IFloat*>(variable.second)});
    }
    return bindings;
}

ReentryGuard::ReentryGuard(bool& busy, const std::string& nodeName) : m_Busy(busy) {
    if (m_Busy)
        NODEAPI_RAISE(LogicalErrorException, "%s : formula depends on its own value",
                      nodeName.c_str());
    m_Busy = true;
}

EAccessMode CFormulaNodeImpl::GetAccessMode() {
    NodeMapLock lock(LockTarget());
    ReentryGuard busy(m_ComputingAccess, m_Name);
    const EAccessMode base = CNodeImpl::GetAccessMode();
    return CombineAccessModes(base, m_Variables.GetAccessMode());
}

bool CFormulaNodeImpl::SetProperty(const std::string& name, const std::string& value) {
    CheckNotInitialized();
    if (name == "Formula") {
        m_Formula = value;
        return true;
    }
    if (name == "pVariable") {
        // "NAME=NodeName"; the node must already be in the map.
        if (!m_Variables.AddVariable(value, m_Name, m_pNodeMap))
            RaiseConvertError(name, value);
        m_Bindings = ResolveBindings(m_Variables);
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

void CFormulaNodeImpl::ConstructWithVariables() {
    CNodeImpl::FinalConstruct();
    for (const auto& variable : m_Variables.GetVariables())
        AddChild(variable.second);
}

void CFormulaNodeImpl::CollectChildDependants(NodeList_t& path) {
    CNodeImpl::CollectChildDependants(path);
    for (const auto& variable : m_Variables.GetVariables())
        CollectLinkedDependants(variable.second, path);
}

} // namespace FormulaNode

// ---------------------------------------------------------------------------
// CSwissKnife

void CSwissKnife::SetValue(double) {
    NodeMapLock lock(LockTarget());
    NODEAPI_RAISE(LogicalErrorException, "SwissKnife : %s SetValue failed. SwissKnife is read only",
                  m_Name.c_str());
}

double CSwissKnife::Evaluate(bool hasInput, double input) {
    FormulaNode::ReentryGuard busy(m_Evaluating, m_Name);
    FormulaNode::TableScope<CFormulaParser> scope(m_Parser, m_Table);
    if (hasInput && !m_Table.AddValue<double>(m_InputName, input))
        NODEAPI_RAISE(RuntimeException, "SwissKnife cannot store the variable : %s ",
                      m_InputName.c_str());
    for (const FormulaNode::Binding& variable : m_Bindings) {
        const std::string& name = *variable.name;
        // An integer node's value converted, a float node's taken as is.
        // Reading the node may read the camera; its errors pass unchanged.
        double value = 0.0;
        if (variable.integer != nullptr)
            value = static_cast<double>(variable.integer->GetValue());
        else if (variable.real != nullptr)
            value = variable.real->GetValue();
        else
            NODEAPI_RAISE(RuntimeException, "SwissKnife failed to get the value of : %s ",
                          name.c_str());
        if (!m_Table.AddValue<double>(name, value))
            NODEAPI_RAISE(RuntimeException, "SwissKnife cannot store the variable : %s ",
                          name.c_str());
    }
    double result = 0.0;
    // The message lives in the evaluator; it is formatted into the exception
    // before the evaluator runs again.
    if (const char* message = m_Parser.Evaluate(m_Formula.c_str(), result))
        NODEAPI_RAISE(LogicalErrorException,
                      "%s : failed to parse formula '%s' : error message is '%s'", m_Name.c_str(),
                      m_Formula.c_str(), message);
    return result;
}

double CSwissKnife::GetValue() {
    NodeMapLock lock(LockTarget());
    if (!m_InputName.empty())
        NODEAPI_RAISE(LogicalErrorException, "SwissKnife undefined external variable");
    return Evaluate(false, 0.0);
}

double CSwissKnife::GetValueWithInput(double input) {
    NodeMapLock lock(LockTarget());
    if (m_InputName.empty())
        NODEAPI_RAISE(LogicalErrorException, "SwissKnife has no external variable");
    return Evaluate(true, input);
}

std::string CSwissKnife::ToString() {
    NodeMapLock lock(LockTarget());
    if (!m_InputName.empty())
        return "NEVAL";
    // "%g" is the stream's default notation: six significant digits, fixed
    // or exponent form; always with a decimal point, whatever the host's
    // locale.
    char text[32];
    const CClassicLocale classic;
    std::snprintf(text, sizeof text, "%g", GetValue());
    return text;
}

bool CSwissKnife::SetProperty(const std::string& name, const std::string& value) {
    if (name == "Input") {
        CheckNotInitialized();
        m_InputName = value;
        return true;
    }
    return CFormulaNodeImpl::SetProperty(name, value);
}

void CSwissKnife::FinalConstruct() {
    NodeMapLock lock(LockTarget());
    if (m_Initialized)
        NODEAPI_RAISE(LogicalErrorException, "Node already initialized");
    ConstructWithVariables();
}

std::string CSwissKnife::GetInfo() {
    NodeMapLock lock(LockTarget());
    return "SwissKnife : Value = " + ToString() + " VariableMap = " + m_Variables.ListVariables() +
           " Formula " + m_Formula;
}

} // namespace NodeApi
