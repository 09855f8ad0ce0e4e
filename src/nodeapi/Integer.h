// CInteger: an integer feature over a value node, or a software variable.
#pragma once

#include <cstdint>
#include <limits>
#include <string>

#include "nodeapi/Interfaces.h"
#include "nodeapi/Node.h"
#include "nodeapi/PhysicalConversion.h"

namespace NodeApi {

// Limits come from the limit nodes ("pMin", "pMax", "pInc"), from the
// "Min"/"Max"/"Inc" properties, or, while a limit is not set, from the value
// node (or the stored value); such a replacement is kept from then on.
class CInteger : public IInteger, public IPhysicalValue, public CNodeImpl {
public:
    static constexpr const char* kClassName = "CInteger";
    // A stored minimum or maximum equal to these counts as not set.
    static constexpr int64_t kMinNotSet = std::numeric_limits<int64_t>::max();
    static constexpr int64_t kMaxNotSet = std::numeric_limits<int64_t>::min();

    CInteger() = default;
    using IInteger::operator=;

    // IInteger
    // Range-checked against GetMin/GetMax before anything is written; the
    // increment is not checked.
    void SetValue(int64_t value) override;
    int64_t GetValue() override;
    int64_t GetMin() override;
    int64_t GetMax() override;
    int64_t GetInc() override;
    ERepresentation GetRepresentation() override;

    // IPhysicalValue
    std::string GetUnit() override;
    // The physical value passes the from-physical formula (when linked) and
    // is then truncated toward zero.
    void SetPhysicalValue(double value) override;
    double GetPhysicalValue() override;
    double GetPhysicalMin() override;
    double GetPhysicalMax() override;

    // INode
    EAccessMode GetAccessMode() override;
    std::string ToString() override;
    void FromString(const std::string& text) override;

    // INodeConstruct
    bool SetProperty(const std::string& name, const std::string& value) override;

    // INodeDebug
    std::string GetInfo() override;

protected:
    // x through the to-physical formula, when one is linked.
    double ToPhysical(double x);

    int64_t m_Value = 0;
    IInteger* m_pValue = nullptr;
    IInteger* m_pMin = nullptr;
    int64_t m_Min = kMinNotSet;
    IInteger* m_pMax = nullptr;
    int64_t m_Max = kMaxNotSet;
    IInteger* m_pInc = nullptr;
    int64_t m_Inc = 1;
    ERepresentation m_Representation = _UndefinedRepresentation;
    ISwissKnife* m_pToPhysical = nullptr;
    ISwissKnife* m_pFromPhysical = nullptr;
    std::string m_Unit;
};

} // namespace NodeApi
