// CFltReg: a 4-byte register holding a single-precision number.
#pragma once

#include <limits>

#include "nodeapi/Register.h"

namespace NodeApi {

// The limits default to the full finite single-precision range, so zero and
// negative values are accepted and no value is narrowed beyond the range.
class CFltReg : public IFloat, public CRegister {
public:
    static constexpr const char* kClassName = "CFltReg";

    CFltReg() = default;

    // IFloat
    using IFloat::operator=;
    void SetValue(double value) override;
    double GetValue() override;
    double GetMin() override;
    double GetMax() override;
    ERepresentation GetRepresentation() override;

    // INode
    std::string ToString() override;
    void FromString(const std::string& text) override;

    // INodeConstruct
    bool SetProperty(const std::string& name, const std::string& value) override;
    // Refuses a length other than 4 bytes.
    void FinalConstruct() override;

    // INodeDebug
    std::string GetInfo() override;

protected:
    float m_Min = -std::numeric_limits<float>::max();
    float m_Max = std::numeric_limits<float>::max();
    ERepresentation m_Representation = _UndefinedRepresentation;
    EEndianess m_Endianess = _UndefinedEndian;
};

} // namespace NodeApi
