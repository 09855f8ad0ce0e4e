// CStringRegister: text view of a register whose length may come from a node.
#include "nodeapi/SimpleString.h"

#include <cinttypes>

#include "nodeapi/PropertyValue.h"

namespace NodeApi {

int64_t CStringRegister::LengthFromNode() {
    const int64_t n = m_pLength->GetValue();
    if (n < 0 || n > kMaxStringLength)
        NODEAPI_RAISE(OutOfRangeException,
                      "%s : string length %" PRId64 " is not between 0 and %" PRId64,
                      m_Name.c_str(), n, kMaxStringLength);
    return n;
}

std::string CStringRegister::GetValue() {
    NodeMapLock lock(LockTarget());
    const int64_t n = m_pLength ? LengthFromNode() : m_Length;
    if (n > m_Length) {
        // The register grows with its length node; it never shrinks.
        m_Length = n;
        EnsureBuffer();
    }
    if (n == 0 || m_Length == 0)
        return std::string();
    std::string text(static_cast<size_t>(m_Length), '\0');
    Get(reinterpret_cast<uint8_t*>(&text[0]), m_Length);
    return text;
}

void CStringRegister::SetValue(const std::string& value) {
    NodeMapLock lock(LockTarget());
    Set(reinterpret_cast<const uint8_t*>(value.data()), static_cast<int64_t>(value.size()));
}

bool CStringRegister::SetProperty(const std::string& name, const std::string& value) {
    CheckNotInitialized();
    if (name == "pLength") {
        AddChild(SetLinkProperty(m_pLength, name, value, "IInteger"));
        return true;
    }
    if (CRegister::SetProperty(name, value))
        return true;
    return WarnUnhandledProperty(name, value);
}

void CStringRegister::FinalConstruct() {
    NodeMapLock lock(LockTarget());
    if (m_Initialized)
        NODEAPI_RAISE(LogicalErrorException, "Node already initialized");
    const EAccessMode mode = GetAccessMode();
    if (mode == NP || mode == NE || m_pLength == nullptr)
        return;
    auto* lengthNode = dynamic_cast<CNodeImpl*>(m_pLength);
    if (lengthNode == nullptr)
        NODEAPI_RAISE(LogicalErrorException, "Unexpected type in dynamic cast");
    const EAccessMode lengthMode = lengthNode->GetAccessMode();
    if (lengthMode != RO && lengthMode != RW)
        return;
    m_Length = LengthFromNode();
    CRegister::FinalConstruct();
}

std::string CStringRegister::GetInfo() {
    NodeMapLock lock(LockTarget());
    if (GetAccessMode() == NP)
        return "CStringRegister : not present";
    std::string info = "CStringRegister:";
    if (m_pLength != nullptr)
        info += FormatLimited(", m_pLength_by=%" PRIxPTR, reinterpret_cast<uintptr_t>(m_pLength));
    return info;
}

} // namespace NodeApi
