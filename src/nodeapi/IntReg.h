// CIntReg: a register of 1 to 8 bytes read and written as a signed 64-bit integer.
#pragma once

#include <cstdint>

#include "nodeapi/Register.h"

namespace NodeApi {

// Values are signed 64-bit numbers; an unsigned 8-byte register therefore
// holds 0 to 2^63 - 1, and a read of a larger raw value is refused rather
// than returned as a negative number.
class CIntReg : public IInteger, public CRegister {
public:
    static constexpr const char* kClassName = "CIntReg";

    CIntReg() = default;

    // IInteger
    using IInteger::operator=;
    void SetValue(int64_t value) override;
    int64_t GetValue() override;
    int64_t GetMin() override;
    int64_t GetMax() override;
    int64_t GetInc() override { return 1; }
    ERepresentation GetRepresentation() override;

    // INode
    std::string ToString() override;
    void FromString(const std::string& text) override;

    // INodeConstruct
    bool SetProperty(const std::string& name, const std::string& value) override;
    void FinalConstruct() override;

    // INodeDebug
    std::string GetInfo() override;

protected:
    // Raises PropertyException unless the length is 1 to 8 bytes.
    void CheckIntegerLength() const;
    // The register's bytes as an unsigned number after byte-order conversion.
    uint64_t ReadRaw();
    // Writes the low bytes of raw in the register's byte order.
    void WriteRaw(uint64_t raw);
    // OutOfRangeException when value lies outside [minimum, maximum].
    void CheckRange(int64_t value, int64_t minimum, int64_t maximum) const;
    // Applies the sign extension of a value whose sign bit is signBit; for an
    // unsigned 64-bit quantity refuses raw values above 2^63 - 1.
    int64_t ToSigned(uint64_t raw, uint64_t signBit, uint64_t extension, bool allBits) const;
    bool IsSigned() const { return m_Sign == Signed; }

    int64_t m_Min = 0;
    int64_t m_Max = 0;
    ESign m_Sign = _UndefinedSign;
    ERepresentation m_Representation = _UndefinedRepresentation;
    EEndianess m_Endianess = _UndefinedEndian;
    uint64_t m_SignBitMask = 0;
    uint64_t m_ExtensionMask = 0;
};

} // namespace NodeApi
