// CIntSwissKnife: a read-only integer feature computed by a formula over
// integer nodes.
#pragma once

#include <cstdint>
#include <limits>
#include <string>

#include "nodeapi/FormulaParser.h"
#include "nodeapi/NameTable.h"
#include "nodeapi/Node.h"
#include "nodeapi/SwissKnife.h"
#include "nodeapi/VariableDelegate.h"

namespace NodeApi {

// Every read fetches the variables' current values (which may read the
// camera) and evaluates the formula again in signed 64-bit arithmetic;
// nothing is cached. Variables must be integer nodes.
class CIntSwissKnife : public IInteger, public CNodeImpl {
public:
    static constexpr const char* kClassName = "CIntSwissKnife";
    static constexpr int64_t kMinimum = std::numeric_limits<int64_t>::min();
    static constexpr int64_t kMaximum = std::numeric_limits<int64_t>::max();

    CIntSwissKnife() = default;
    using IInteger::operator=;

    // IInteger
    // Always raises: a formula node is read-only.
    void SetValue(int64_t value) override;
    int64_t GetValue() override;
    int64_t GetMin() override { return kMinimum; }
    int64_t GetMax() override { return kMaximum; }
    int64_t GetInc() override { return 1; }
    ERepresentation GetRepresentation() override { return m_Representation; }

    // INode
    // RO, NE or NP; never writable.
    EAccessMode GetAccessMode() override;
    // The value in decimal.
    std::string ToString() override;

    // INodeConstruct
    bool SetProperty(const std::string& name, const std::string& value) override;
    // Appends the variable nodes to the children, in name order.
    void FinalConstruct() override;
    bool CollectDependants(NodeList_t& path) override;

    // INodeDebug
    std::string GetInfo() override;

    const std::string& GetFormula() const { return m_Formula; }

protected:
    std::string m_Formula;
    CVariableDelegate m_Variables;
    // m_Variables with their interfaces, rebuilt whenever a variable is bound.
    FormulaNode::Bindings_t m_Bindings;
    CIntFormulaParser m_Parser;
    ERepresentation m_Representation = Linear;

private:
    // The variable table of the read in progress; emptied on every way out
    // (a member so that its storage is reused from read to read).
    CNameTable m_Table{sizeof(int64_t)};
    // Refuse a formula that reaches itself through its variables.
    bool m_Evaluating = false;
    bool m_ComputingAccess = false;
};

} // namespace NodeApi
