// CSmartFeature: GUID texts, the inquiry protocol and the cached feature address.
#include "nodeapi/SmartFeature.h"

#include <algorithm>
#include <cinttypes>
#include <cstring>

#include "nodeapi/RegisterSetHelper.h"

namespace NodeApi {

namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

} // namespace

bool ParseGuid(const std::string& text, Guid& guid) {
    // Digits per group; the groups are separated by "-" with optional blanks.
    static const size_t kDigits[5] = {8, 4, 4, 4, 12};
    uint64_t groups[5] = {};
    size_t pos = 0;
    for (size_t g = 0; g < 5; ++g) {
        while (pos < text.size() && IsBlank(text[pos]))
            ++pos;
        if (g > 0) {
            if (pos >= text.size() || text[pos] != '-')
                return false;
            ++pos;
            while (pos < text.size() && IsBlank(text[pos]))
                ++pos;
        }
        for (size_t i = 0; i < kDigits[g]; ++i, ++pos) {
            const int digit = pos < text.size() ? HexDigit(text[pos]) : -1;
            if (digit < 0)
                return false;
            groups[g] = groups[g] << 4 | static_cast<uint64_t>(digit);
        }
    }
    while (pos < text.size() && IsBlank(text[pos]))
        ++pos;
    if (pos != text.size())
        return false;
    guid.Data1 = static_cast<uint32_t>(groups[0]);
    guid.Data2 = static_cast<uint16_t>(groups[1]);
    guid.Data3 = static_cast<uint16_t>(groups[2]);
    // Data4: the fourth group's two bytes, then the fifth group's six, each
    // high byte first.
    guid.Data4[0] = static_cast<uint8_t>(groups[3] >> 8);
    guid.Data4[1] = static_cast<uint8_t>(groups[3]);
    for (int i = 0; i < 6; ++i)
        guid.Data4[2 + i] = static_cast<uint8_t>(groups[4] >> (8 * (5 - i)));
    return true;
}

std::string GuidText(const Guid& guid) {
    const uint8_t* d = guid.Data4;
    return FormatLimited("%08" PRIX32 "-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X", guid.Data1,
                         static_cast<unsigned>(guid.Data2), static_cast<unsigned>(guid.Data3), d[0],
                         d[1], d[2], d[3], d[4], d[5], d[6], d[7]);
}

void GuidInquiry(const Guid& guid, uint8_t inquiry[16]) {
    // The in-memory layout read as little-endian words: Data1; Data3 above
    // Data2; Data4 bytes 3..0; Data4 bytes 7..4.
    uint8_t bytes[16];
    StoreLittleEndian(guid.Data1, bytes, 4);
    StoreLittleEndian(guid.Data2, bytes + 4, 2);
    StoreLittleEndian(guid.Data3, bytes + 6, 2);
    std::memcpy(bytes + 8, guid.Data4, 8);
    for (int q = 0; q < 4; ++q) {
        const auto word = static_cast<uint32_t>(LoadLittleEndian(bytes + 4 * q, 4));
        StoreBigEndian32(word, inquiry + 4 * q);
    }
}

CSmartFeature::CSmartFeature() {
    m_Length = kReplyLength;
}

EAccessMode CSmartFeature::GetAccessMode() {
    NodeMapLock lock(LockTarget());
    const EAccessMode mode = RegisterAccessMode();
    return mode == NP || mode == NE ? mode : RW;
}

void CSmartFeature::Set(const uint8_t* source, int64_t length) {
    NodeMapLock lock(LockTarget());
    CheckCallerBuffer(source, length);
    // Computed on every write, not only the first: the address nodes (the
    // advanced feature base) may have changed since.
    const int64_t address = ComputeAddress();
    const EAccessMode mode = GetAccessMode();
    if (mode != RW && mode != WO)
        NODEAPI_RAISE(RuntimeException, "Can't write to Register %" PRId64 ". Access mode is %s",
                      address, AccessModeText(mode));
    Port().Write(source, address, length);
}

void CSmartFeature::Get(uint8_t* destination, int64_t length) {
    NodeMapLock lock(LockTarget());
    CheckCallerBuffer(destination, length);
    const int64_t address = ComputeAddress();
    const EAccessMode mode = GetAccessMode();
    if (mode == NP || mode == WO)
        NODEAPI_RAISE(RuntimeException, "Can't read from Register 0x%" PRIX64 ". Access mode is %s",
                      static_cast<uint64_t>(address), AccessModeText(mode));
    EnsureBuffer();
    Port().Read(m_Buffer.data(), address, m_Length);
    const int64_t n = std::min(length, m_Length);
    if (n > 0)
        std::memcpy(destination, m_Buffer.data(), static_cast<size_t>(n));
}

int64_t CSmartFeature::GetValue() {
    NodeMapLock lock(LockTarget());
    if (m_Valid)
        return static_cast<int64_t>(m_FeatureAddress);
    uint8_t inquiry[16];
    GuidInquiry(m_FeatureId, inquiry);
    Set(inquiry, sizeof inquiry);
    uint8_t reply[kReplyLength];
    Get(reply, kReplyLength);
    // Quadlet 5 is the high half, quadlet 4 the low half, both big-endian.
    m_FeatureAddress =
        static_cast<uint64_t>(LoadBigEndian32(reply + 20)) << 32 | LoadBigEndian32(reply + 16);
    m_Valid = true;
    return static_cast<int64_t>(m_FeatureAddress);
}

std::string CSmartFeature::ToString() {
    NodeMapLock lock(LockTarget());
    if (GetAccessMode() == NP)
        return CRegister::ToString();
    return m_Valid && m_FeatureAddress != 0 ? "1" : "0";
}

void CSmartFeature::InvalidateCache() {
    NodeMapLock lock(LockTarget());
    m_FeatureAddress = 0;
    m_Valid = false;
}

bool CSmartFeature::SetProperty(const std::string& name, const std::string& value) {
    CheckNotInitialized();
    if (name == "FeatureID") {
        if (!ParseGuid(value, m_FeatureId))
            RaiseConvertError(name, value);
        return true;
    }
    if (CRegister::SetProperty(name, value))
        return true;
    return WarnUnhandledProperty(name, value);
}

void CSmartFeature::FinalConstruct() {
    NodeMapLock lock(LockTarget());
    if (m_Initialized)
        NODEAPI_RAISE(LogicalErrorException, "Node already initialized");
    if (m_Length < kReplyLength)
        NODEAPI_RAISE(PropertyException,
                      "%s : property 'Length' : the smart feature reply is %" PRId64
                      " bytes long, not %" PRId64,
                      m_Name.c_str(), kReplyLength, m_Length);
    CRegister::FinalConstruct();
}

std::string CSmartFeature::GetInfo() {
    NodeMapLock lock(LockTarget());
    if (GetAccessMode() == NP)
        return "Register : not present";
    const std::string base = CRegister::GetInfo();
    return FormatLimited("SmartFeature: %s, FeatureID=%s, SFAdress=0x%" PRIx64 ", Valid=%d",
                         base.c_str(), GuidText(m_FeatureId).c_str(), m_FeatureAddress,
                         m_Valid ? 1 : 0);
}

} // namespace NodeApi
