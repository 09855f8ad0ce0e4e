// CMaskedIntReg: a bit field LSB..MSB of an integer register.
#pragma once

#include <cstdint>

#include "nodeapi/IntReg.h"

namespace NodeApi {

// Bits are numbered from 0, the least significant bit of the register's
// integer value after byte-order conversion. The fields of one register share
// its cache entry, so reading several of them costs one port read and a
// field write costs one port write while the entry is valid.
class CMaskedIntReg : public CIntReg {
public:
    static constexpr const char* kClassName = "CMaskedIntReg";

    CMaskedIntReg() = default;

    // IInteger
    using CIntReg::operator=;
    void SetValue(int64_t value) override;
    int64_t GetValue() override;

    // INodeConstruct
    bool SetProperty(const std::string& name, const std::string& value) override;
    // Refuses MSB below LSB and MSB beyond the register's width.
    void FinalConstruct() override;

    // INodeDebug
    std::string GetInfo() override;

protected:
    // Field access needs the masks of FinalConstruct.
    void CheckInitialized() const;

    uint32_t m_LSB = 0;
    uint32_t m_MSB = 0;
    uint64_t m_FieldMask = 0;
};

} // namespace NodeApi
