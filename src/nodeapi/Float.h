// CFloat: a float feature over a value node, or a software variable kept in
// single precision.
#pragma once

#include <limits>
#include <string>

#include "nodeapi/Interfaces.h"
#include "nodeapi/Node.h"

namespace NodeApi {

// Doubles at the interface; the stored value, the limits and the increment
// are single-precision numbers, narrowed on store.
class CFloat : public IFloat, public CNodeImpl {
public:
    static constexpr const char* kClassName = "CFloat";
    // A stored minimum equal to the smallest positive normalised number (bits
    // 0x00800000), or a stored maximum equal to the largest finite number
    // (bits 0x7F7FFFFF), counts as not set.
    static constexpr float kMinNotSet = std::numeric_limits<float>::min();
    static constexpr float kMaxNotSet = std::numeric_limits<float>::max();
    // 1.1920929e-07, bits 0x34000000.
    static constexpr float kDefaultInc = std::numeric_limits<float>::epsilon();

    CFloat() = default;
    using IFloat::operator=;

    // IFloat
    // The value is range-checked as it would be stored (in single precision)
    // so that a node accepts its own value. A limit that nobody set (still
    // the not-set number after the replacement rule) is not checked; a value
    // node checks its own range.
    void SetValue(double value) override;
    double GetValue() override;
    double GetMin() override;
    double GetMax() override;
    ERepresentation GetRepresentation() override;
    // Appended after the IFloat operations.
    virtual double GetInc();

    // INode
    EAccessMode GetAccessMode() override;
    std::string ToString() override;
    void FromString(const std::string& text) override;

    // INodeConstruct
    bool SetProperty(const std::string& name, const std::string& value) override;

    // INodeDebug
    std::string GetInfo() override;

protected:
    // The limits after the replacement rule; set tells whether anything
    // defined them (a limit node always does).
    double Minimum(bool& set);
    double Maximum(bool& set);

    float m_Value = 0.0f;
    IFloat* m_pValue = nullptr;
    IFloat* m_pMin = nullptr;
    float m_Min = kMinNotSet;
    IFloat* m_pMax = nullptr;
    float m_Max = kMaxNotSet;
    IFloat* m_pInc = nullptr;
    float m_Inc = kDefaultInc;
    ERepresentation m_Representation = _UndefinedRepresentation;
};

} // namespace NodeApi
