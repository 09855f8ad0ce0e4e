// CMaskedIntReg: bit-field view of an integer register.
#include "nodeapi/MaskedIntReg.h"

#include <cinttypes>
#include <limits>

#include "nodeapi/PropertyValue.h"

namespace NodeApi {

void CMaskedIntReg::CheckInitialized() const {
    if (!m_Initialized)
        NODEAPI_RAISE(LogicalErrorException, "Node %s: not initialized", m_Name.c_str());
}

int64_t CMaskedIntReg::GetValue() {
    NodeMapLock lock(LockTarget());
    CheckInitialized();
    const uint64_t field = (ReadRaw() & m_FieldMask) >> m_LSB;
    return ToSigned(field, m_SignBitMask, m_ExtensionMask, m_MSB - m_LSB == 63);
}

void CMaskedIntReg::SetValue(int64_t value) {
    NodeMapLock lock(LockTarget());
    CheckInitialized();
    CheckRange(value, m_Min, m_Max);
    // Read-modify-write; the read is served by the cache when the entry is valid.
    uint64_t raw = ReadRaw();
    raw = (raw & ~m_FieldMask) | ((static_cast<uint64_t>(value) << m_LSB) & m_FieldMask);
    WriteRaw(raw);
}

bool CMaskedIntReg::SetProperty(const std::string& name, const std::string& value) {
    CheckNotInitialized();
    if (name == "LSB") {
        m_LSB = ConvertProperty(name, value, ParseUInt32);
        return true;
    }
    if (name == "MSB") {
        m_MSB = ConvertProperty(name, value, ParseUInt32);
        return true;
    }
    if (CIntReg::SetProperty(name, value))
        return true;
    return WarnUnhandledProperty(name, value);
}

void CMaskedIntReg::FinalConstruct() {
    NodeMapLock lock(LockTarget());
    if (m_Initialized)
        NODEAPI_RAISE(LogicalErrorException, "Node already initialized");
    CheckIntegerLength();
    if (m_MSB < m_LSB || m_MSB >= static_cast<uint64_t>(m_Length) * 8)
        NODEAPI_RAISE(PropertyException,
                      "%s : bit field LSB %u to MSB %u does not fit a register of %" PRId64
                      " bytes",
                      m_Name.c_str(), m_LSB, m_MSB, m_Length);
    CIntReg::FinalConstruct();
    const unsigned w = m_MSB - m_LSB; // field width - 1, 0 to 63
    const uint64_t low = w == 63 ? ~uint64_t(0) : (uint64_t(1) << (w + 1)) - 1;
    m_FieldMask = low << m_LSB;
    if (IsSigned()) {
        m_SignBitMask = uint64_t(1) << w;
        m_ExtensionMask = ~(m_SignBitMask - 1); // bits w to 63
        m_Min =
            w == 63 ? std::numeric_limits<int64_t>::min() : -static_cast<int64_t>(m_SignBitMask);
        m_Max = static_cast<int64_t>(m_SignBitMask - 1);
    } else {
        m_SignBitMask = 0;
        m_ExtensionMask = 0;
        m_Min = 0;
        m_Max = w == 63 ? std::numeric_limits<int64_t>::max() : static_cast<int64_t>(low);
    }
}

std::string CMaskedIntReg::GetInfo() {
    NodeMapLock lock(LockTarget());
    if (GetAccessMode() == NP)
        return "MaskedInt : not present";
    int64_t value = GetValue();
    return FormatLimited("MaskedInt : Value = %" PRId64
                         " : LSB = %u, MSB = %u %s %s Address = 0x%" PRIx64 ", Length = 0x%" PRIx64,
                         value, m_LSB, m_MSB, SignText(m_Sign), EndianessText(m_Endianess),
                         static_cast<uint64_t>(m_Address), static_cast<uint64_t>(m_Length));
}

} // namespace NodeApi
