// CIntReg: integer view of a register.
#include "nodeapi/IntReg.h"

#include <cinttypes>
#include <limits>

#include "nodeapi/PropertyValue.h"
#include "nodeapi/RegisterSetHelper.h"

namespace NodeApi {

void CIntReg::CheckIntegerLength() const {
    if (m_Length < 1 || m_Length > 8)
        NODEAPI_RAISE(PropertyException,
                      "%s : property 'Length' : an integer register is 1 to 8 bytes long, not "
                      "%" PRId64,
                      m_Name.c_str(), m_Length);
}

uint64_t CIntReg::ReadRaw() {
    CheckIntegerLength();
    const size_t n = static_cast<size_t>(m_Length);
    uint8_t bytes[8] = {};
    Get(bytes, m_Length);
    if (m_Endianess != LittleEndian)
        ReverseBytes(bytes, n);
    return LoadLittleEndian(bytes, n);
}

void CIntReg::WriteRaw(uint64_t raw) {
    CheckIntegerLength();
    const size_t n = static_cast<size_t>(m_Length);
    uint8_t bytes[8] = {};
    StoreLittleEndian(raw, bytes, n);
    if (m_Endianess != LittleEndian)
        ReverseBytes(bytes, n);
    Set(bytes, m_Length);
}

void CIntReg::CheckRange(int64_t value, int64_t minimum, int64_t maximum) const {
    if (value < minimum)
        NODEAPI_RAISE(OutOfRangeException,
                      "Value %" PRId64 " must be greater than or equal %" PRId64, value, minimum);
    if (value > maximum)
        NODEAPI_RAISE(OutOfRangeException,
                      "Value %" PRId64 " must be smaller than or equal %" PRId64, value, maximum);
}

int64_t CIntReg::ToSigned(uint64_t raw, uint64_t signBit, uint64_t extension, bool allBits) const {
    if (IsSigned()) {
        if (raw & signBit)
            raw |= extension;
        return static_cast<int64_t>(raw);
    }
    if (allBits && raw > static_cast<uint64_t>(std::numeric_limits<int64_t>::max()))
        NODEAPI_RAISE(OutOfRangeException,
                      "%s : unsigned value 0x%016" PRIx64 " does not fit a signed 64-bit number",
                      m_Name.c_str(), raw);
    return static_cast<int64_t>(raw);
}

int64_t CIntReg::GetValue() {
    NodeMapLock lock(LockTarget());
    return ToSigned(ReadRaw(), m_SignBitMask, m_ExtensionMask, m_Length == 8);
}

void CIntReg::SetValue(int64_t value) {
    NodeMapLock lock(LockTarget());
    CheckRange(value, m_Min, m_Max);
    WriteRaw(static_cast<uint64_t>(value));
}

int64_t CIntReg::GetMin() {
    NodeMapLock lock(LockTarget());
    return m_Min;
}

int64_t CIntReg::GetMax() {
    NodeMapLock lock(LockTarget());
    return m_Max;
}

ERepresentation CIntReg::GetRepresentation() {
    NodeMapLock lock(LockTarget());
    return m_Representation;
}

std::string CIntReg::ToString() {
    NodeMapLock lock(LockTarget());
    return std::to_string(GetValue());
}

void CIntReg::FromString(const std::string& text) {
    NodeMapLock lock(LockTarget());
    SetValue(ConvertProperty("Value", text, ParseInt64));
}

bool CIntReg::SetProperty(const std::string& name, const std::string& value) {
    CheckNotInitialized();
    if (name == "Sign") {
        m_Sign = ConvertProperty(name, value, ParseSign);
        return true;
    }
    if (name == "Endianess") {
        m_Endianess = ConvertProperty(name, value, ParseEndianess);
        return true;
    }
    if (name == "Representation") {
        m_Representation = ConvertProperty(name, value, ParseRepresentation);
        return true;
    }
    if (CRegister::SetProperty(name, value))
        return true;
    return WarnUnhandledProperty(name, value);
}

void CIntReg::FinalConstruct() {
    NodeMapLock lock(LockTarget());
    if (m_Initialized)
        NODEAPI_RAISE(LogicalErrorException, "Node already initialized");
    CheckIntegerLength();
    CRegister::FinalConstruct();
    const unsigned bits = static_cast<unsigned>(m_Length) * 8;
    if (bits == 64) {
        m_Min = IsSigned() ? std::numeric_limits<int64_t>::min() : 0;
        m_Max = std::numeric_limits<int64_t>::max();
        m_SignBitMask = uint64_t(1) << 63;
        m_ExtensionMask = IsSigned() ? m_SignBitMask : 0;
    } else if (IsSigned()) {
        m_SignBitMask = uint64_t(1) << (bits - 1);
        m_ExtensionMask = ~(m_SignBitMask - 1); // bits (bits - 1) to 63
        m_Min = -static_cast<int64_t>(m_SignBitMask);
        m_Max = static_cast<int64_t>(m_SignBitMask - 1);
    } else {
        m_Min = 0;
        m_Max = static_cast<int64_t>((uint64_t(1) << bits) - 1);
    }
}

std::string CIntReg::GetInfo() {
    NodeMapLock lock(LockTarget());
    if (GetAccessMode() == NP)
        return "IntReg : not present";
    int64_t value = GetValue();
    return FormatLimited(
        "IntReg : Value = %" PRId64 " :  %s, %s Address = 0x%" PRIx64 ", Length = %" PRId64, value,
        SignText(m_Sign), EndianessText(m_Endianess), static_cast<uint64_t>(m_Address), m_Length);
}

} // namespace NodeApi
