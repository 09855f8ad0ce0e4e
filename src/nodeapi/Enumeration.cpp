// CEnumerationBase: enumeration feature.
#include "nodeapi/Enumeration.h"

#include "nodeapi/PropertyValue.h"

namespace NodeApi {

CEnumerationBase::CEnumerationBase() : m_EnumDelegate(this) {}

void CEnumerationBase::GetSymbolics(StringList_t& symbolics) {
    NodeMapLock lock(LockTarget());
    m_EnumDelegate.GetSymbolics(symbolics);
}

void CEnumerationBase::GetEntries(NodeList_t& entries) {
    NodeMapLock lock(LockTarget());
    m_EnumDelegate.GetEntries(entries);
}

EAccessMode CEnumerationBase::GetAccessMode() {
    NodeMapLock lock(LockTarget());
    const EAccessMode mode = CNodeImpl::GetAccessMode();
    if (mode == NP || mode == NE || m_pValue == nullptr)
        return mode;
    auto* node = dynamic_cast<INode*>(m_pValue);
    if (node == nullptr)
        NODEAPI_RAISE(LogicalErrorException, "Unexpected type in dynamic cast");
    return node->GetAccessMode();
}

bool CEnumerationBase::SetProperty(const std::string& name, const std::string& value) {
    CheckNotInitialized();
    if (name == "pEnumEntry") {
        INodeConstruct* node = FindLinkedNode(name, value);
        if (dynamic_cast<IEnumEntry*>(node) == nullptr)
            NODEAPI_RAISE(PropertyException,
                          "%s : property enum entry '%s' : node '%s' is not of class IEnumEntry ",
                          m_Name.c_str(), name.c_str(), value.c_str());
        m_EnumDelegate.AddEntry(node);
        return true;
    }
    if (name == "pValue") {
        AddChild(SetLinkProperty(m_pValue, name, value, "IInteger"));
        return true;
    }
    if (name == "Value") {
        m_Value = ConvertProperty(name, value, ParseInt32);
        return true;
    }
    if (CNodeImpl::SetProperty(name, value))
        return true;
    return WarnUnhandledProperty(name, value);
}

std::string CEnumerationBase::GetInfo() {
    NodeMapLock lock(LockTarget());
    if (GetAccessMode() == NP)
        return "Enumeration : not present";
    const std::string value = ToString();
    const std::string entries = m_EnumDelegate.ListEntries();
    return FormatLimited("Enumeration : Value = %s : EnumerationMap = %s", value.c_str(),
                         entries.c_str());
}

void CEnumerationBase::SetStoredOrLinkedValue(int32_t value) {
    if (m_pValue != nullptr) {
        m_pValue->SetValue(static_cast<int64_t>(value));
        return;
    }
    {
        NodeMapLock lock(LockTarget());
        m_Value = value;
    }
    SetChanged(true);
}

int32_t CEnumerationBase::GetStoredOrLinkedValue() {
    if (m_pValue != nullptr)
        return static_cast<int32_t>(static_cast<uint32_t>(m_pValue->GetValue()));
    NodeMapLock lock(LockTarget());
    return m_Value;
}

} // namespace NodeApi
