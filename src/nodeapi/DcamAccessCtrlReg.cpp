// CDcamAccessCtrlReg: access control register protocol.
#include "nodeapi/DcamAccessCtrlReg.h"

#include <algorithm>
#include <cinttypes>
#include <cstring>

#include "nodeapi/PropertyValue.h"
#include "nodeapi/RegisterSetHelper.h"

namespace NodeApi {

EAccessMode CDcamAccessCtrlReg::GetAccessMode() {
    NodeMapLock lock(LockTarget());
    EAccessMode mode = RegisterAccessMode();
    return mode == RW ? RO : mode;
}

void CDcamAccessCtrlReg::Get(uint8_t* destination, int64_t length) {
    NodeMapLock lock(LockTarget());
    CheckCallerBuffer(destination, length);
    const int64_t address = ComputeAddress();
    const EAccessMode mode = GetAccessMode();
    if (mode == NP || mode == WO)
        NODEAPI_RAISE(RuntimeException, "Can't read from Register 0x%" PRIX64 ". Access mode is %s",
                      static_cast<uint64_t>(address), AccessModeText(mode));
    // Feature identifier bits 16..47, then its low 16 bits with the time-out;
    // each word goes to the port as an ordinary quadlet, most significant
    // byte first (a camera answers all ones to a swapped identifier).
    const uint32_t first = static_cast<uint32_t>(m_FeatureID >> 16);
    const uint32_t second =
        static_cast<uint32_t>((m_FeatureID & 0xFFFF) << 16) | (m_Timeout & 0xFFFu);
    uint8_t word[4];
    StoreBigEndian32(first, word);
    Port().Write(word, address, 4);
    StoreBigEndian32(second, word);
    Port().Write(word, address + 4, 4);
    EnsureBuffer();
    Port().Read(m_Buffer.data(), address, m_Length);
    const int64_t n = std::min(length, m_Length);
    if (n > 0)
        std::memcpy(destination, m_Buffer.data(), static_cast<size_t>(n));
}

void CDcamAccessCtrlReg::Set(const uint8_t*, int64_t) {}

void CDcamAccessCtrlReg::SetValue(int64_t) {}

int64_t CDcamAccessCtrlReg::GetValue() {
    NodeMapLock lock(LockTarget());
    uint8_t bytes[8] = {};
    Get(bytes, 8);
    return LoadLittleEndian(bytes, 8) == ~uint64_t(0) ? 0 : 1;
}

std::string CDcamAccessCtrlReg::ToString() {
    NodeMapLock lock(LockTarget());
    if (GetAccessMode() == NP)
        return CRegister::ToString();
    if (m_Buffer.size() >= 8 && LoadLittleEndian(m_Buffer.data(), 8) == ~uint64_t(0))
        return "0";
    return "1";
}

void CDcamAccessCtrlReg::FromString(const std::string&) {}

bool CDcamAccessCtrlReg::SetProperty(const std::string& name, const std::string& value) {
    CheckNotInitialized();
    if (name == "FeatureID") {
        m_FeatureID = ConvertProperty(name, value, ParseUInt64);
        return true;
    }
    if (name == "Timeout") {
        m_Timeout = ConvertProperty(name, value, ParseUInt16);
        return true;
    }
    if (CRegister::SetProperty(name, value))
        return true;
    return WarnUnhandledProperty(name, value);
}

void CDcamAccessCtrlReg::FinalConstruct() {
    NodeMapLock lock(LockTarget());
    if (m_Initialized)
        NODEAPI_RAISE(LogicalErrorException, "Node already initialized");
    if (m_Length < 8)
        NODEAPI_RAISE(PropertyException,
                      "%s : property 'Length' : the access control register is 8 bytes long, "
                      "not %" PRId64,
                      m_Name.c_str(), m_Length);
    CRegister::FinalConstruct();
}

std::string CDcamAccessCtrlReg::GetInfo() {
    NodeMapLock lock(LockTarget());
    if (GetAccessMode() == NP)
        return "Register : not present";
    if (m_Address == -1)
        ComputeAddress();
    return FormatLimited(
        "DcamAccessCtrlReg : Address = 0x%" PRIx64 ", FeatureID=0x%" PRIx64 ", Timeout=%u",
        static_cast<uint64_t>(m_Address), m_FeatureID, static_cast<unsigned>(m_Timeout));
}

} // namespace NodeApi
