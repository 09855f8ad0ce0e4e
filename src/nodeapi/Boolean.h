// CBoolean: a flag feature over an integer value node, or a software variable.
#pragma once

#include <cstdint>
#include <string>

#include "nodeapi/Interfaces.h"
#include "nodeapi/Node.h"

namespace NodeApi {

// Over a value node the flag is true when the node holds the on value and
// false when it holds the off value; any other number is an error.
class CBoolean : public IBoolean, public CNodeImpl {
public:
    static constexpr const char* kClassName = "CBoolean";

    CBoolean() = default;
    using IBoolean::operator=;

    // IBoolean
    void SetValue(bool value) override;
    // LogicalErrorException "Value %I64d is neither true %I64d nor false
    // (%I64d)" when the value node holds neither number.
    bool GetValue() override;

    // INode
    EAccessMode GetAccessMode() override;
    std::string ToString() override;
    void FromString(const std::string& text) override;

    // INodeConstruct
    bool SetProperty(const std::string& name, const std::string& value) override;

    // INodeDebug
    std::string GetInfo() override;

protected:
    bool m_Value = true;
    int64_t m_OnValue = 1;
    int64_t m_OffValue = 0;
    IInteger* m_pValue = nullptr;
};

} // namespace NodeApi
