// CDcamAccessCtrlReg: the camera's advanced-feature access control register.
#pragma once

#include <cstdint>

#include "nodeapi/Register.h"

namespace NodeApi {

// A read first writes the feature identifier and time-out (two 32-bit words)
// and then reads the register back; the value is 1 unless all 64 bits read
// back as one. It is read-only: writes are accepted and ignored.
class CDcamAccessCtrlReg : public CRegister, public IInteger {
public:
    static constexpr const char* kClassName = "CDcamAccessCtrlReg";

    CDcamAccessCtrlReg() = default;

    // IRegister
    void Get(uint8_t* destination, int64_t length) override;
    void Set(const uint8_t* source, int64_t length) override;

    // IInteger
    using IInteger::operator=;
    void SetValue(int64_t value) override;
    int64_t GetValue() override;
    int64_t GetMin() override { return 0; }
    int64_t GetMax() override { return 1; }
    int64_t GetInc() override { return 0; }
    ERepresentation GetRepresentation() override { return _UndefinedRepresentation; }

    // INode
    EAccessMode GetAccessMode() override;
    std::string ToString() override;
    void FromString(const std::string& text) override;

    // INodeConstruct
    bool SetProperty(const std::string& name, const std::string& value) override;
    // Refuses a length below 8 bytes.
    void FinalConstruct() override;

    // INodeDebug
    std::string GetInfo() override;

protected:
    uint64_t m_FeatureID = 0;
    uint16_t m_Timeout = 0;
};

} // namespace NodeApi
