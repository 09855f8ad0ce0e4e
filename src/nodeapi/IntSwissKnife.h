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
class CIntSwissKnife : public IInteger, public FormulaNode::CFormulaNodeImpl {
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
    // The value in decimal.
    std::string ToString() override;

    // INodeConstruct
    // Appends the variable nodes to the children, in name order.
    void FinalConstruct() override;

    // INodeDebug
    std::string GetInfo() override;

protected:
    CIntFormulaParser m_Parser;

private:
    // The variable table of the read in progress; emptied on every way out
    // (a member so that its storage is reused from read to read).
    CNameTable m_Table{sizeof(int64_t)};
    // Refuse a formula that reaches itself through its variables.
    bool m_Evaluating = false;
};

} // namespace NodeApi
