// CSwissKnife: a read-only float feature computed by a formula over other
// nodes, and the pieces both formula node classes share.
#pragma once

#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "nodeapi/FormulaParser.h"
#include "nodeapi/NameTable.h"
#include "nodeapi/Node.h"
#include "nodeapi/PhysicalConversion.h"
#include "nodeapi/VariableDelegate.h"

namespace NodeApi {

// Shared by CSwissKnife and CIntSwissKnife.
namespace FormulaNode {

// One variable with its node's value interfaces, looked up once when the
// binding is made rather than on every read. name points at the delegate's key.
struct Binding {
    const std::string* name;
    IInteger* integer; // null when the node has no integer interface
    IFloat* real;      // null when the node has no float interface
};
using Bindings_t = std::vector<Binding>;

// The delegate's variables in name order with their interfaces.
Bindings_t ResolveBindings(const CVariableDelegate& variables);

// The node's mode from the base rule and the variables' combined mode: NP
// when either says NP, else NE when either says NE, else RO.
EAccessMode CombineAccessModes(EAccessMode base, EAccessMode variables);

// Marks a node busy for the duration of one operation; raises
// LogicalErrorException when the node is already busy (a formula that reaches
// itself through its variables). The map lock is held, so only the same
// thread can come back.
class ReentryGuard {
public:
    ReentryGuard(bool& busy, const std::string& nodeName);
    ~ReentryGuard() { m_Busy = false; }
    ReentryGuard(const ReentryGuard&) = delete;
    ReentryGuard& operator=(const ReentryGuard&) = delete;

private:
    bool& m_Busy;
};

// Empties a name table and detaches it from an evaluator when a read ends,
// also when an exception passes.
template <class Parser>
class TableScope {
public:
    TableScope(Parser& parser, CNameTable& table) : m_Parser(parser), m_Table(table) {
        m_Table.Clear();
        m_Parser.SetVariables(&m_Table);
    }
    ~TableScope() {
        m_Parser.SetVariables(nullptr);
        m_Table.Clear();
    }
    TableScope(const TableScope&) = delete;
    TableScope& operator=(const TableScope&) = delete;

private:
    Parser& m_Parser;
    CNameTable& m_Table;
};

// The node side both formula node classes share: the formula, the bound
// variables and the construction steps and access rule that use them.
class CFormulaNodeImpl : public CNodeImpl {
public:
    // INode
    // RO, NE or NP; never writable.
    EAccessMode GetAccessMode() override;

    // INodeConstruct: "Formula", "pVariable" and "Representation", then the
    // base's properties.
    bool SetProperty(const std::string& name, const std::string& value) override;

    const std::string& GetFormula() const { return m_Formula; }

protected:
    // The base's walk, then the variables.
    void CollectChildDependants(NodeList_t& path) override;
    // The base's final construction, then the variable nodes are appended to
    // the children in name order, so that a change of one of them reaches
    // this node through the dependants mechanism. Caller holds the map lock
    // and has refused a second construction.
    void ConstructWithVariables();

    std::string m_Formula;
    CVariableDelegate m_Variables;
    // m_Variables with their interfaces, rebuilt whenever a variable is bound.
    Bindings_t m_Bindings;
    ERepresentation m_Representation = Linear;

private:
    // Set while the access mode is computed: a formula that reaches itself
    // through its variables is refused instead of recursing without end.
    bool m_ComputingAccess = false;
};

} // namespace FormulaNode

// Every read fetches the variables' current values (which may read the
// camera) and evaluates the formula again; nothing is cached. Variables may be
// integer or float nodes. With an "Input" name the formula also needs a value
// from the caller and is read through GetValueWithInput only.
class CSwissKnife : public ISwissKnife, public FormulaNode::CFormulaNodeImpl {
public:
    static constexpr const char* kClassName = "CSwissKnife";
    // Fixed limits: the smallest positive normal double (not the most
    // negative one) and the largest finite double.
    static constexpr double kMinimum = std::numeric_limits<double>::min();
    static constexpr double kMaximum = std::numeric_limits<double>::max();

    CSwissKnife() = default;
    using IFloat::operator=;

    // IFloat
    // Always raises: a formula node is read-only.
    void SetValue(double value) override;
    double GetValue() override;
    double GetMin() override { return kMinimum; }
    double GetMax() override { return kMaximum; }
    ERepresentation GetRepresentation() override { return m_Representation; }

    // ISwissKnife: the input variable is set to input (it comes before the
    // bound variables, so it hides a bound variable of the same name).
    double GetValueWithInput(double input) override;

    // INode
    // "NEVAL" when the formula needs an input; else the value, six
    // significant digits in general notation.
    std::string ToString() override;

    // INodeConstruct: "Input", then the shared formula properties.
    bool SetProperty(const std::string& name, const std::string& value) override;
    // Appends the variable nodes to the children, in name order.
    void FinalConstruct() override;

    // INodeDebug
    std::string GetInfo() override;

    const std::string& GetInputName() const { return m_InputName; }

protected:
    // The formula over the bound variables; with hasInput the input record
    // comes first. Caller holds the map lock.
    double Evaluate(bool hasInput, double input);

    std::string m_InputName;
    CFormulaParser m_Parser;

private:
    // The variable table of the read in progress; emptied on every way out
    // (kept as a member so that its storage is reused from read to read).
    CNameTable m_Table{sizeof(double)};
    // Set while a read runs: a formula that reaches itself through its
    // variables is refused instead of recursing without end.
    bool m_Evaluating = false;
};

} // namespace NodeApi
