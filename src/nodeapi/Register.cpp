// CRegister: raw register access, address computation, caching, text forms.
#include "nodeapi/Register.h"

#include <algorithm>
#include <cinttypes>
#include <cstring>

#include "nodeapi/PropertyValue.h"
#include "nodeapi/ValueCache.h"

namespace NodeApi {

int64_t CRegister::GetLength() {
    NodeMapLock lock(LockTarget());
    return m_Length;
}

int64_t CRegister::GetAddress() {
    NodeMapLock lock(LockTarget());
    return ComputeAddress();
}

int64_t CRegister::ComputeAddress() {
    // Unsigned sums: a hostile address node must not overflow a signed number.
    uint64_t sum = 0;
    for (int64_t term : m_AddressTerms)
        sum += static_cast<uint64_t>(term);
    for (IInteger* node : m_AddressNodes)
        sum += static_cast<uint64_t>(node->GetValue());
    const bool first = m_Address == -1;
    m_Address = static_cast<int64_t>(sum);
    if (first && IsCachable())
        Cache().Invalidate(m_Address);
    return m_Address;
}

EAccessMode CRegister::RegisterAccessMode() {
    EAccessMode mode = CNodeImpl::GetAccessMode();
    if (mode == NP || mode == NE)
        return mode;
    return m_AccessMode;
}

EAccessMode CRegister::GetAccessMode() {
    NodeMapLock lock(LockTarget());
    return RegisterAccessMode();
}

IPort& CRegister::Port() {
    if (m_pPort == nullptr)
        NODEAPI_RAISE(LogicalErrorException, "Node %s: no port (pPort) given", m_Name.c_str());
    return *m_pPort;
}

CValueCache& CRegister::Cache() {
    if (m_pCache == nullptr)
        m_pCache = &LockTarget().GetValueCache();
    return *m_pCache;
}

void CRegister::EnsureBuffer() {
    if (m_Buffer.size() != static_cast<size_t>(m_Length))
        m_Buffer.resize(static_cast<size_t>(m_Length));
}

void CRegister::CheckCallerBuffer(const void* buffer, int64_t length) const {
    if (length < 0 || (length > 0 && buffer == nullptr))
        NODEAPI_RAISE(InvalidArgumentException, "Node %s: invalid buffer (length %" PRId64 ")",
                      m_Name.c_str(), length);
}

void CRegister::RaiseReadError(int64_t address, EAccessMode mode) const {
    NODEAPI_RAISE(RuntimeException, "Can't read from Register 0x%016" PRIx64 ". Access mode is %s",
                  static_cast<uint64_t>(address), AccessModeText(mode));
}

void CRegister::Get(uint8_t* destination, int64_t length) {
    NodeMapLock lock(LockTarget());
    CheckCallerBuffer(destination, length);
    const int64_t address = ComputeAddress();
    const EAccessMode mode = GetAccessMode();
    if (mode == NP || mode == WO)
        RaiseReadError(address, mode);
    const int64_t n = std::min(length, m_Length);
    const bool cachable = IsCachable();
    if (cachable && Cache().TryGetValue(address, n, destination))
        return;
    EnsureBuffer();
    Port().Read(m_Buffer.data(), address, m_Length);
    if (n > 0)
        std::memcpy(destination, m_Buffer.data(), static_cast<size_t>(n));
    if (cachable)
        Cache().SetValue(address, m_Length, m_Buffer.data());
}

void CRegister::Set(const uint8_t* source, int64_t length) {
    NodeMapLock lock(LockTarget());
    CheckCallerBuffer(source, length);
    const EAccessMode mode = GetAccessMode();
    const int64_t address = ComputeAddress();
    if (mode != RW && mode != WO)
        NODEAPI_RAISE(RuntimeException, "Can't write to Register %016" PRIx64 ". Access mode is %s",
                      static_cast<uint64_t>(address), AccessModeText(mode));
    Port().Write(source, address, length);
    if (IsCachable())
        Cache().SetValue(address, length, source);
    SetChanged(true);
}

void CRegister::InvalidateCache() {
    NodeMapLock lock(LockTarget());
    Cache().Invalidate(m_Address);
}

std::string CRegister::ToString() {
    NodeMapLock lock(LockTarget());
    std::vector<uint8_t> bytes(static_cast<size_t>(m_Length));
    Get(bytes.data(), m_Length);
    if (m_Length > 64)
        return "...";
    static const char kDigits[] = "0123456789abcdef";
    std::string text = "0x";
    for (uint8_t b : bytes) {
        text += kDigits[b >> 4];
        text += kDigits[b & 0x0F];
    }
    return text;
}

void CRegister::FromString(const std::string& text) {
    NodeMapLock lock(LockTarget());
    // Digits start after "&H" or "0x"; a text with neither is read from its start.
    size_t start = 0;
    for (const char* prefix : {"&H", "&h", "0x", "0X"}) {
        size_t pos = text.find(prefix);
        if (pos != std::string::npos) {
            start = pos + 2;
            break;
        }
    }
    EnsureBuffer();
    std::vector<uint8_t> bytes = m_Buffer; // bytes not given keep their last contents
    size_t index = 0;
    for (size_t pos = start; pos < text.size() && index < bytes.size(); pos += 2, ++index) {
        auto digit = [](char c) -> int {
            if (c >= '0' && c <= '9')
                return c - '0';
            if (c >= 'a' && c <= 'f')
                return c - 'a' + 10;
            if (c >= 'A' && c <= 'F')
                return c - 'A' + 10;
            return -1;
        };
        // A lone last digit is a whole byte ("0x1" gives 01).
        const bool lone = pos + 1 >= text.size();
        int high = digit(text[pos]);
        int low = lone ? 0 : digit(text[pos + 1]);
        if (high < 0 || low < 0)
            RaiseConvertError("Value", text);
        bytes[index] = static_cast<uint8_t>(lone ? high : (high << 4 | low));
    }
    m_Buffer = bytes;
    Set(m_Buffer.data(), m_Length);
}

bool CRegister::SetProperty(const std::string& name, const std::string& value) {
    CheckNotInitialized();
    if (name == "Address") {
        m_AddressTerms.push_back(ConvertProperty(name, value, ParseInt64));
        return true;
    }
    if (name == "Length") {
        m_Length = ConvertProperty(name, value, ParseInt64);
        return true;
    }
    if (name == "pPort") {
        AddChild(SetLinkProperty(m_pPort, name, value, "IPort"));
        return true;
    }
    if (name == "AccessMode") {
        m_AccessMode = ConvertProperty(name, value, ParseAccessMode);
        return true;
    }
    if (name == "pInvalidator") {
        m_Invalidators.push_back(FindLinkedNode(name, value));
        return true;
    }
    if (name == "pAddress") {
        INodeConstruct* node = FindLinkedNode(name, value);
        auto* integer = dynamic_cast<IInteger*>(node);
        if (integer == nullptr)
            NODEAPI_RAISE(PropertyException,
                          "%s : property list element '%s' : node '%s' has no interface "
                          "'IInteger'",
                          m_Name.c_str(), name.c_str(), value.c_str());
        m_AddressNodes.push_back(integer);
        AddChild(node);
        return true;
    }
    if (CNodeImpl::SetProperty(name, value))
        return true;
    return WarnUnhandledProperty(name, value);
}

void CRegister::FinalConstruct() {
    NodeMapLock lock(LockTarget());
    if (m_Initialized)
        NODEAPI_RAISE(LogicalErrorException, "Node already initialized");
    if (m_Length < 0 || m_Length > kMaxRegisterLength)
        NODEAPI_RAISE(PropertyException,
                      "%s : property 'Length' : length %" PRId64 " is not between 0 and %" PRId64,
                      m_Name.c_str(), m_Length, kMaxRegisterLength);
    CNodeImpl::FinalConstruct();
    m_Buffer.assign(static_cast<size_t>(m_Length), 0);
}

void CRegister::CollectChildDependants(NodeList_t& path) {
    CNodeImpl::CollectChildDependants(path);
    // An invalidator learns that this register, and all that depends on it,
    // must be refreshed when the invalidator changes.
    for (INode* invalidator : m_Invalidators)
        CollectLinkedDependants(invalidator, path);
}

std::string CRegister::GetInfo() {
    NodeMapLock lock(LockTarget());
    if (GetAccessMode() == NP)
        return "Register : not present";
    if (m_Address == -1)
        ComputeAddress();
    return FormatLimited("Register : Address = 0x%016" PRIx64 ", Length = 0x%" PRIx64,
                         static_cast<uint64_t>(m_Address), static_cast<uint64_t>(m_Length));
}

} // namespace NodeApi
