// CIntSwissKnife: integer formula node.
#include "nodeapi/IntSwissKnife.h"

#include "nodeapi/Exceptions.h"

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

std::string CIntSwissKnife::ToString() {
    NodeMapLock lock(LockTarget());
    return std::to_string(GetValue());
}

void CIntSwissKnife::FinalConstruct() {
    NodeMapLock lock(LockTarget());
    if (m_Initialized)
        NODEAPI_RAISE(LogicalErrorException, "Node already initialized");
    ConstructWithVariables();
}

std::string CIntSwissKnife::GetInfo() {
    NodeMapLock lock(LockTarget());
    return FormatLimited("IntSwissKnife : Value = %s : VariableMap = %s : Formula = %s",
                         ToString().c_str(), m_Variables.ListVariables().c_str(),
                         m_Formula.c_str());
}

} // namespace NodeApi
