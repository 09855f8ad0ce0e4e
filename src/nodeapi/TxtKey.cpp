// CTxtKey: text of one configuration ROM key.
#include "nodeapi/TxtKey.h"

#include "nodeapi/PropertyValue.h"

namespace NodeApi {

void CTxtKey::SetValue(const std::string& value) {
    NODEAPI_RAISE(LogicalErrorException, "TxtKey : %s SetValue to %s failed. TxtKey is read only",
                  m_Name.c_str(), value.c_str());
}

std::string CTxtKey::GetValue() {
    NodeMapLock lock(LockTarget());
    // A node finished without parser has nothing to ask.
    if (m_pParser == nullptr)
        NODEAPI_RAISE(RuntimeException, "pParser not specified");
    std::string text;
    if (!m_pParser->GetTextByKey(static_cast<uint8_t>(m_Key & 0xFF), text))
        NODEAPI_RAISE(RuntimeException, "Key 0x%x, not found", static_cast<unsigned>(m_Key));
    m_Value = text;
    return text;
}

bool CTxtKey::SetProperty(const std::string& name, const std::string& value) {
    CheckNotInitialized();
    if (name == "p1212Parser") {
        // The parser is what the text is read from: it is a child, so the key
        // follows the parser's (and its port's) presence.
        AddChild(SetLinkProperty(m_pParser, name, value, "CIEEE1212Parser"));
        return true;
    }
    if (name == "Key") {
        m_Key = ConvertProperty(name, value, ParseUInt16);
        return true;
    }
    if (CNodeImpl::SetProperty(name, value))
        return true;
    return WarnUnhandledProperty(name, value);
}

void CTxtKey::FinalConstruct() {
    NodeMapLock lock(LockTarget());
    if (m_Initialized)
        NODEAPI_RAISE(LogicalErrorException, "Node already initialized");
    CNodeImpl::FinalConstruct();
    if (m_pParser == nullptr)
        NODEAPI_RAISE(RuntimeException, "pParser not specified");
}

std::string CTxtKey::GetInfo() {
    NodeMapLock lock(LockTarget());
    return FormatLimited("TxtKey : Key = 0x%x, Value = %s", static_cast<unsigned>(m_Key),
                         m_Value.c_str());
}

} // namespace NodeApi
