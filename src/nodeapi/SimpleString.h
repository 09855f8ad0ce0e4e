// CStringRegister: a register read and written as text.
#pragma once

#include <string>

#include "nodeapi/Register.h"

namespace NodeApi {

// Longest text a string register accepts from its length node, in bytes.
constexpr int64_t kMaxStringLength = 64 * 1024;

class CStringRegister : public CRegister, public IString {
public:
    static constexpr const char* kClassName = "CStringRegister";

    CStringRegister() = default;

    // IString: the register's bytes, zero bytes included; a write sends
    // exactly the text's bytes, no terminator and no padding.
    using IString::operator=;
    void SetValue(const std::string& value) override;
    std::string GetValue() override;

    // INodeConstruct
    bool SetProperty(const std::string& name, const std::string& value) override;
    // Stays unfinished while the register or its length node cannot be read.
    void FinalConstruct() override;

    // INodeDebug
    std::string GetInfo() override;

protected:
    // The length node's answer, refused when negative or above kMaxStringLength.
    int64_t LengthFromNode();

    IInteger* m_pLength = nullptr;
};

} // namespace NodeApi
